// A small encoder of our compressed stream format for the tests, the fuzz
// seeds and the benchmark: random block kinds, codes built from the symbol
// frequencies of each block, matches found by a hash of three bytes.
#pragma once

#include <stdint.h>

#include <random>
#include <vector>

// Data with runs, repeats and noise, so that all kinds of matches occur.
std::vector<uint8_t> RandomData(std::mt19937& rng, size_t size);

// Encodes data as a stream whose blocks are chosen at random. With
// zeroDistances, runs of zeros at the start may be coded as matches that reach
// before the first byte (which the format defines as zeros).
std::vector<uint8_t> EncodeStream(std::mt19937& rng, const std::vector<uint8_t>& data, bool zeroDistances = true);

// Huffman code lengths no longer than limit; a lone symbol gets length 1.
std::vector<int> LimitedCodeLengths(const std::vector<uint32_t>& freqs, int limit);
