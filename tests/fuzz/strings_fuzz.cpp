// The string-group lookup and the error message over arbitrary group bytes.
// Each group lies in memory of exactly its size (the loader gives one zero
// byte more), so any read past it is caught. Every text found must end inside
// its group; an error message must be the group 6 text with %% made % and
// its first %s made the error file name, cut to the capacity and to 1,024
// bytes, and end inside the capacity.
//
// Input: u16 error code, u16 capacity, a length byte and that many bytes of
// error file name, then up to nine groups, each a u16 size and its bytes.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <memory>
#include <string>
#include <vector>

#include "common/setup_state.h"
#include "package/format.h"
#include "package/strings.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

struct Reader {
  const uint8_t* at;
  const uint8_t* end;
  uint32_t Take(uint32_t n) {
    uint32_t v = 0;
    for (uint32_t i = 0; i < n && at < end; ++i) v |= static_cast<uint32_t>(*at++) << (8 * i);
    return v;
  }
};

std::string ExpectedMessage(const char* text, const char* fileName, uint32_t capacity) {
  std::string out;
  bool hasConversion = strstr(text, "%s") != nullptr;
  bool substituted = false;
  for (const char* p = text; *p; ++p) {
    if (hasConversion && p[0] == '%' && p[1] == '%') {
      out += '%';
      ++p;
    } else if (hasConversion && !substituted && p[0] == '%' && p[1] == 's') {
      out += fileName;
      substituted = true;
      ++p;
    } else {
      out += *p;
    }
  }
  uint32_t limit = hasConversion && capacity > 1024 ? 1024 : capacity;
  if (out.size() > limit - 1) out.resize(limit - 1);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  AllocatePathBuffers();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in = {data, data + size};
  int code = static_cast<int>(in.Take(2));
  uint32_t capacity = in.Take(2) % 2100;
  uint32_t nameLength = in.Take(1);
  char* fileName = g_setup.errorFileName;
  uint32_t n = 0;
  while (n < nameLength && n + 1 < format::kPathBufferSize && in.at < in.end) fileName[n++] = static_cast<char>(*in.at++);
  fileName[n] = 0;

  std::vector<std::unique_ptr<uint8_t[]>> groups;
  PackageData& pkg = g_setup.package;
  for (int g = 0; g < format::kStringGroupCount; ++g) {
    pkg.stringGroups[g] = nullptr;
    pkg.stringGroupSizes[g] = 0;
    if (in.at == in.end) continue;
    uint32_t groupSize = in.Take(2);
    if (groupSize > static_cast<uint32_t>(in.end - in.at)) groupSize = static_cast<uint32_t>(in.end - in.at);
    groups.emplace_back(new uint8_t[groupSize ? groupSize : 1]);
    memcpy(groups.back().get(), in.at, groupSize);
    in.at += groupSize;
    pkg.stringGroups[g] = groups.back().get();
    pkg.stringGroupSizes[g] = groupSize;
  }

  for (int g = -1; g <= format::kStringGroupCount; ++g) {
    bool present = g >= 0 && g < format::kStringGroupCount && pkg.stringGroups[g];
    uint32_t count = present && pkg.stringGroupSizes[g] >= 2 ? format::ReadU16(pkg.stringGroups[g]) : 0;
    for (int e : {-1, 0, 1, 2, static_cast<int>(count) - 1, static_cast<int>(count), 65535, code}) {
      const char* text = GetGroupString(g, e);
      Check(text != nullptr);
      if (!*text) continue;
      Check(present);
      const char* begin = reinterpret_cast<const char*>(pkg.stringGroups[g]);
      Check(text >= begin + 2 && memchr(text, 0, begin + pkg.stringGroupSizes[g] - text) != nullptr);
    }
  }

  std::unique_ptr<char[]> message(new char[capacity ? capacity : 1]);
  FormatErrorMessage(message.get(), capacity, code);
  if (capacity) {
    Check(memchr(message.get(), 0, capacity) != nullptr);
    Check(message.get() == ExpectedMessage(GetGroupString(6, code), fileName, capacity));
  }

  for (int g = 0; g < format::kStringGroupCount; ++g) pkg.stringGroups[g] = nullptr;
  return 0;
}
