#include "package/loader.h"

#include "package/format.h"

using namespace format;

// A file list whose entries run outside its body would send the install loop
// reading beyond the buffer; such a package is refused as damaged.
bool FileListIsSound(const uint8_t* body, uint32_t size, uint32_t count) {
  uint32_t at = 4;
  for (uint32_t i = 0; i < count; ++i) {
    if (size - at < kEntryFixedSize) return false;
    const uint8_t* entry = body + at;
    uint32_t entrySize = ReadU32(entry + kEntrySize);
    if (entrySize < kEntryFixedSize || entrySize > size - at) return false;
    uint32_t fixed = kEntryFixedSize;
    uint8_t options = entry[kEntryOptions];
    if (options & (kOptionCheckVersion | kOptionCheckLanguage)) fixed += kEntryVersionBlockSize;
    if (options & kOptionFileTimes) fixed += kEntryFileTimesSize;
    if (fixed > entrySize) return false;
    int strings = 0;
    for (uint32_t k = fixed; k < entrySize && strings < kEntryStringCount; ++k)
      if (entry[k] == 0) ++strings;
    if (strings < kEntryStringCount) return false;
    at += entrySize;
  }
  return true;
}
