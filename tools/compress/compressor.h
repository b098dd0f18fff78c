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

constexpr int kBestIterationsSmall = 15;
constexpr int kBestIterationsLarge = 5;
constexpr size_t kBestSmallInput = 64 * 1024;

struct CompressOptions {
  CompressLevel level = CompressLevel::kDefault;
  // Passes of the exhaustive parse at kBest; more passes, smaller and slower.
  // 0 chooses by size: kBestIterationsSmall up to kBestSmallInput bytes, else
  // kBestIterationsLarge, since on larger inputs the later passes cost far
  // more time and gain next to nothing.
  int bestIterations = 0;
  // False for a piece that further pieces of the same stream follow: no block
  // is marked last, and the piece ends on a byte boundary (with an empty
  // stored block), so pieces compressed apart join into one stream.
  bool finalPiece = true;
};

// Returns one complete stream; an empty input still gives a valid stream.
std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, const CompressOptions& options);
std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, CompressLevel level);
