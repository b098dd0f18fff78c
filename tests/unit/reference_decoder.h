// A slow decoder for the tests, written for clarity: one byte fetched at a
// time, codes decoded one bit at a time against the canonical code. It also
// works out how far each table lookup of the real decoder reaches, because
// that decides how many bytes a stream occupies.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

struct ReferenceResult {
  int result = 0;
  std::vector<uint8_t> output;   // everything handed to the sink
  std::vector<uint32_t> writes;  // the count of every sink write
  size_t produced = 0;           // output bytes made, handed to the sink or still pending
  size_t fetched = 0;            // bytes of input taken
  int fixedTableBuilds = 0;      // times the fixed codes were set up in this stream
};

ReferenceResult ReferenceDecode(const uint8_t* input, size_t size);
inline ReferenceResult ReferenceDecode(const std::vector<uint8_t>& input) {
  return ReferenceDecode(input.data(), input.size());
}
