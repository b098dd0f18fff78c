#pragma once

#include <stddef.h>
#include <stdint.h>

// The first position holding 0x77 0x77 and the four bytes of tag (little-endian),
// all six inside the buffer; null when there is none.
const uint8_t* FindMarker(const uint8_t* buffer, size_t size, uint32_t tag);
