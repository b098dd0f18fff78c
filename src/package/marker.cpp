#include "package/marker.h"

#include "package/format.h"

const uint8_t* FindMarker(const uint8_t* buffer, size_t size, uint32_t tag) {
  if (size < 6) return nullptr;
  for (size_t i = 0; i + 6 <= size; ++i) {
    if (buffer[i] == format::kMarkerByte && buffer[i + 1] == format::kMarkerByte &&
        format::ReadU32(buffer + i + 2) == tag)
      return buffer + i;
  }
  return nullptr;
}
