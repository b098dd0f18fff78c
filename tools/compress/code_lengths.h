// Huffman code lengths for our blocks and the run-length coding that sends
// them in a dynamic block header.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

// Optimal lengths limited to maxBits for the given symbol counts. Unused
// symbols get 0; a single used symbol gets 1 (the one incomplete code the
// decoder accepts); every other result is a complete code. When maxBits is
// too small for the used symbols, all lengths are 0.
void BuildCodeLengths(const uint32_t* counts, int n, int maxBits, uint8_t* lengths);

// Evens out neighbouring counts so that the resulting lengths form longer runs,
// which the code-length coding sends cheaply; used symbols stay used. Worth it
// when the header saving beats the data cost, so callers price both.
void SmoothCountsForRuns(uint32_t* counts, int n);

// Canonical codes, bit-reversed so they can be written first bit lowest.
void BuildCanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes);

// The code-length part of a dynamic block header: lengths of the code-length
// code and the run-length coded sequence of literal/length and distance lengths.
struct CodeLengthPlan {
  uint8_t clLengths[19];
  int clCount;                 // how many clLengths are sent, 4 to 19
  std::vector<uint8_t> items;  // code-length symbols 0 to 18
  std::vector<uint8_t> extra;  // the extra-bit value of each item
  uint64_t bits;               // everything after HCLEN: clLengths and the items
};

// The cheapest run-length coding found for lengths[0..total).
void PlanCodeLengths(const uint8_t* lengths, int total, CodeLengthPlan* plan);

// The order in which a dynamic block sends the code-length code's lengths.
extern const uint8_t kCodeLengthOrder[19];
