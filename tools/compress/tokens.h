// The LZ77 parse shared by the readers of foreign output and the block encoder.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// distance 0: a literal byte in `value`; otherwise a match of `value` bytes
// (3 to 258) starting `distance` bytes back (1 to 32,768).
struct Token {
  uint16_t value;
  uint16_t distance;
};

// Tokens of one whole input, cut into the blocks the parser chose.
struct ParsedStream {
  std::vector<Token> tokens;
  std::vector<size_t> blockEnds;  // index one past each block's last token
  // The code lengths the parser itself sent with each block, literal/length
  // then distance (kLitLenSymbols + kDistSymbols per block; all zero for a
  // block without its own codes). The parse was optimised against them.
  std::vector<uint8_t> blockLengths;
};

constexpr int kLitLenSymbols = 286;  // 0-255 literals, 256 end of block, 257-285 lengths
constexpr int kDistSymbols = 30;
constexpr int kEndOfBlock = 256;
constexpr int kMaxCodeLength = 15;
constexpr int kMaxCodeLengthCodeLength = 7;

// Symbol and extra bits of a match length (3..258) and of a distance (1..32,768).
int LengthSymbol(int length);
int LengthExtraBits(int symbol);
int LengthBase(int symbol);
int DistanceSymbol(int distance);
int DistanceExtraBits(int symbol);
int DistanceBase(int symbol);
