# Writes the bytes of INPUT as a C++ array behind DefaultTemplatesRes().
file(READ ${INPUT} hex HEX)
string(LENGTH "${hex}" digits)
math(EXPR size "${digits} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
string(REGEX REPLACE "((0x..,){16})" "\\1\n  " bytes "${bytes}")
file(WRITE ${OUTPUT}
"// Generated from templates.rc when the tool is built; do not edit.
#include \"default_templates.h\"

namespace {
alignas(4) const uint8_t kRes[${size}] = {
  ${bytes}
};
}  // namespace

const uint8_t* DefaultTemplatesRes(size_t* size) {
  *size = sizeof(kRes);
  return kRes;
}
")
