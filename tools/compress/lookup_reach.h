// How far ahead the stub's decoder looks when it decodes each symbol.
//
// The decoder resolves a code through lookup tables and fetches input bytes
// until it holds as many bits as the table level it is about to index asks
// for; a short code in a wide level therefore pulls in bits beyond its own.
// A stream's length counts those bytes too, so the encoder models the level
// layout the decoder builds from the same code lengths.
#pragma once

#include <stdint.h>

// Requested first-level widths of the decoder.
constexpr int kDynamicLitLenWidth = 9;
constexpr int kDynamicDistWidth = 6;
constexpr int kCodeLengthWidth = 7;
constexpr int kFixedLitLenWidth = 7;
constexpr int kFixedDistWidth = 5;

// For every symbol with a nonzero length, reach[symbol] = the number of bits,
// counted from the symbol's first bit, that the decoder holds once it has
// resolved the symbol. Codes with more than 256 symbols keep the end-of-block
// code (symbol 256) at a table boundary, as the decoder does.
void ComputeLookupReach(const uint8_t* lengths, int n, int requestedWidth, uint8_t* reach);
