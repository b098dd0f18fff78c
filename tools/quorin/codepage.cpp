#include "codepage.h"

#include <errno.h>
#include <iconv.h>
#include <locale.h>
#include <stdio.h>
#include <wctype.h>

#include <string>

namespace {

// Windows numbers its UTF-8 code page 65001; iconv knows it by name.
std::string IconvName(uint32_t codepage) { return codepage == 65001 ? "UTF-8" : "CP" + std::to_string(codepage); }

struct Converter {
  iconv_t cd;
  Converter(const std::string& to, const std::string& from) : cd(iconv_open(to.c_str(), from.c_str())) {}
  ~Converter() {
    if (ok()) iconv_close(cd);
  }
  bool ok() const { return cd != reinterpret_cast<iconv_t>(-1); }
  // False at the first input byte it cannot convert, whose offset goes to *stoppedAt.
  bool Run(const std::string& in, std::string* out, size_t* stoppedAt) {
    out->assign(in.size() * 4 + 16, '\0');
    char* from = const_cast<char*>(in.data());
    size_t fromLeft = in.size();
    char* to = out->data();
    size_t toLeft = out->size();
    bool done = iconv(cd, &from, &fromLeft, &to, &toLeft) != static_cast<size_t>(-1);
    out->resize(out->size() - toLeft);
    if (stoppedAt) *stoppedAt = static_cast<size_t>(from - in.data());
    return done;
  }
};

// One converter to UTF-8, kept for the code page last asked for: a listing
// converts every text of one setup in the same code page.
iconv_t ToUtf8(uint32_t codepage) {
  static iconv_t cd = reinterpret_cast<iconv_t>(-1);
  static uint32_t open = 0;
  if (open != codepage) {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    cd = iconv_open("UTF-8", IconvName(codepage).c_str());
    open = codepage;
  }
  return cd;
}

}  // namespace

bool CodePageKnown(uint32_t codepage) { return ToUtf8(codepage) != reinterpret_cast<iconv_t>(-1); }

std::string FromAnsi(const std::string& text, uint32_t codepage, Undefined style) {
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80;
  if (ascii) return text;
  iconv_t cd = ToUtf8(codepage);
  bool known = cd != reinterpret_cast<iconv_t>(-1);
  std::string out;
  char converted[256];
  char* from = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char* to = converted;
    size_t toLeft = sizeof converted;
    if (!known && static_cast<unsigned char>(*from) < 0x80) {
      out += *from++;
      --inLeft;
      continue;
    }
    size_t result = known ? iconv(cd, &from, &inLeft, &to, &toLeft) : static_cast<size_t>(-1);
    out.append(converted, sizeof converted - toLeft);
    if (result != static_cast<size_t>(-1) || (known && errno == E2BIG)) continue;
    // An undefined byte, or a lead byte without its trail byte: show it, go on.
    char escaped[8];
    snprintf(escaped, sizeof escaped, style == Undefined::kPercentHex ? "%%%02X" : "\\x%02X",
             static_cast<unsigned char>(*from));
    out += escaped;
    ++from;
    --inLeft;
    if (known) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

size_t FindBadUtf8(const std::string& text) {
  for (size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    if (!length || i + length > text.size()) return i;
    for (size_t k = 1; k < length; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return i;
    i += length;
  }
  return std::string::npos;
}

bool ToCodePage(const std::string& utf8, uint32_t codepage, std::string* out, size_t* badAt) {
  bool ascii = true;
  for (unsigned char c : utf8) ascii = ascii && c < 0x80;
  if (ascii) return *out = utf8, true;
  Converter convert(IconvName(codepage), "UTF-8");
  if (!convert.ok()) return *badAt = 0, false;
  return convert.Run(utf8, out, badAt);
}

std::string CharacterAt(const std::string& utf8, size_t at) {
  size_t length = 1;
  while (at + length < utf8.size() && (static_cast<unsigned char>(utf8[at + length]) & 0xC0) == 0x80) ++length;
  return utf8.substr(at, length);
}

std::string CaseFoldedKey(const std::string& ansi, uint32_t codepage) {
  std::string wide;
  Converter convert("UTF-32LE", IconvName(codepage));
  if (!convert.ok() || !convert.Run(ansi, &wide, nullptr)) wide.clear();
  static locale_t utf8Locale = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
  std::string key;
  if (wide.empty() && !ansi.empty()) {
    for (char c : ansi) key += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return key;
  }
  for (size_t i = 0; i + 4 <= wide.size(); i += 4) {
    uint32_t c = static_cast<uint8_t>(wide[i]) | static_cast<uint8_t>(wide[i + 1]) << 8 |
                 static_cast<uint8_t>(wide[i + 2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(wide[i + 3])) << 24;
    if (utf8Locale) c = static_cast<uint32_t>(towupper_l(static_cast<wint_t>(c), utf8Locale));
    else if (c >= 'a' && c <= 'z') c -= 32;
    key.append(reinterpret_cast<const char*>(&c), 4);
  }
  return key;
}
