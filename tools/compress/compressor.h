// Compressor for the setup package's stream format: DEFLATE-like blocks with
// our own block header values, code-length order and stored-block framing.
// Each stream is padded so that its length is exactly the bytes the stub's
// decoder fetches for it; streams written back to back therefore line up.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

enum class CompressLevel {
  kFast,     // quick parse, for trial builds
  kDefault,  // near-optimal parse at a reasonable speed
  kBest,     // adds a much slower exhaustive parse; keeps whichever is smaller
};

struct CompressOptions {
  CompressLevel level = CompressLevel::kDefault;
  // Passes of the exhaustive parse at kBest; more passes, smaller and slower.
  int bestIterations = 15;
};

// Returns one complete stream; an empty input still gives a valid stream.
std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, const CompressOptions& options);
std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, CompressLevel level);
