// Builds bit streams by hand for the decoder tests: fields least significant
// bit first, Huffman codes most significant bit first.
#pragma once

#include <stdint.h>

#include <vector>

class BitWriter {
 public:
  // A fixed-width field (header, counts, extra bits, stored length).
  BitWriter& Bits(uint32_t value, int n) {
    for (int i = 0; i < n; ++i) PutBit((value >> i) & 1);
    return *this;
  }
  // A Huffman code as RFC-style canonical codes are written: first bit is the top bit.
  BitWriter& Code(uint32_t code, int length) {
    for (int i = length - 1; i >= 0; --i) PutBit((code >> i) & 1);
    return *this;
  }
  // Zero bits up to the next byte boundary.
  BitWriter& Align() {
    while (bitCount_ % 8) PutBit(0);
    return *this;
  }
  BitWriter& Byte(uint8_t b) { return Bits(b, 8); }
  size_t BitCount() const { return bitCount_; }
  // The bytes written so far; the last one padded with zero bits.
  std::vector<uint8_t> Bytes() const { return bytes_; }

 private:
  void PutBit(uint32_t bit) {
    if (bitCount_ % 8 == 0) bytes_.push_back(0);
    bytes_.back() |= static_cast<uint8_t>(bit << (bitCount_ % 8));
    ++bitCount_;
  }
  std::vector<uint8_t> bytes_;
  size_t bitCount_ = 0;
};

// Canonical codes from code lengths (shorter codes first, then lower symbols).
inline std::vector<uint32_t> CanonicalCodes(const std::vector<int>& lengths) {
  int count[17] = {};
  for (int len : lengths) ++count[len];
  count[0] = 0;
  uint32_t next[17] = {};
  uint32_t code = 0;
  for (int len = 1; len <= 16; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  std::vector<uint32_t> codes(lengths.size());
  for (size_t s = 0; s < lengths.size(); ++s)
    if (lengths[s]) codes[s] = next[lengths[s]]++;
  return codes;
}
