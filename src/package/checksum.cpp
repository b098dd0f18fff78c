#include "package/checksum.h"

#include "package/format.h"

static inline uint32_t RotateLeft1(uint32_t v) { return (v << 1) | (v >> 31); }

uint32_t UpdateChecksum(uint32_t value, const void* data, size_t length) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  size_t words = length / 4;
  for (size_t i = 0; i < words; ++i, p += 4) value = RotateLeft1(value) + format::ReadU32(p);
  for (size_t i = 0; i < (length & 3); ++i) value = RotateLeft1(value) + p[i];
  return value;
}
