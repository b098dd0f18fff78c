// The font naming-table reader over arbitrary files from a package's author:
// nothing is read outside the file, and the full name and the registry value
// name always end inside their 260-byte buffers.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "install/font_name.h"

namespace {

struct Bytes {
  const uint8_t* data;
  size_t size;
};

bool Read(void* context, uint32_t offset, void* out, uint32_t n) {
  const Bytes* file = static_cast<const Bytes*>(context);
  if (offset > file->size || n > file->size - offset) return false;
  memcpy(out, file->data + offset, n);
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Bytes file = {data, size};
  FontBytes font = {Read, &file, static_cast<uint32_t>(size)};
  char name[260 + 16], value[260 + 16];
  memset(name, 'G', sizeof name);
  memset(value, 'G', sizeof value);
  bool found = ReadFontFullName(font, name);
  if (!memchr(name, 0, 260)) abort();
  if (found) {
    MakeFontValueName(value, name);
    if (!memchr(value, 0, 260)) abort();
  }
  for (size_t i = 260; i < sizeof name; ++i)
    if (name[i] != 'G' || value[i] != 'G') abort();
  return 0;
}
