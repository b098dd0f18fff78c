#pragma once

#include <stddef.h>
#include <stdint.h>

// The rotating checksum of installed files: each whole little-endian 32-bit
// word, then each tail byte, is added after rotating the sum left by one.
// Feeding chunks whose lengths are multiples of 4 gives the value of one pass.
uint32_t UpdateChecksum(uint32_t value, const void* data, size_t length);
