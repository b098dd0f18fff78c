#include "install/wininit.h"

#include <string.h>

bool MarkWininitDeletion(char* text, uint32_t size, const char* shortPath) {
  const uint32_t keyLength = sizeof(kWininitStandInKey) - 1;
  const uint32_t pathLength = static_cast<uint32_t>(strlen(shortPath));
  const uint32_t lineLength = keyLength + 1 + pathLength;
  for (uint32_t at = 0; size >= lineLength && at <= size - lineLength; ++at) {
    if (at > 0 && text[at - 1] != '\n') continue;
    if (memcmp(text + at, kWininitStandInKey, keyLength) != 0 || text[at + keyLength] != '=') continue;
    if (memcmp(text + at + keyLength + 1, shortPath, pathLength) != 0) continue;
    uint32_t after = at + lineLength;
    if (after < size && text[after] != '\r' && text[after] != '\n') continue;
    memcpy(text + at, "NUL", keyLength);
    return true;
  }
  return false;
}
