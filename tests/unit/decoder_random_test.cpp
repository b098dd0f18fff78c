// The real decoder against the reference on many generated inputs: valid
// streams of every block kind, damaged copies of them, and random bytes. Both
// must agree on the result, every sink write and the bytes the stream took.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "common/memory.h"
#include "decoder_test_util.h"
#include "stream_encoder.h"

namespace {

// Blocks the code under test allocates start out as 0xA5, never as zeros.
const bool kScribbled = (g_scribbleNewBlocks = true);

typedef std::vector<uint8_t> Bytes;

size_t RandomSize(std::mt19937& rng) {
  switch (rng() % 4) {
    case 0: return rng() % 64;
    case 1: return rng() % 4000;
    case 2: return rng() % 40000;
    default: return rng() % 200000;
  }
}

TEST(DecoderRandom, ValidStreams) {
  std::mt19937 rng(20261208);
  for (int i = 0; i < 150; ++i) {
    SCOPED_TRACE(i);
    Bytes data = RandomData(rng, RandomSize(rng));
    Bytes stream = EncodeStream(rng, data);
    DecodeRun run = DecodeAndCompare(stream);
    ASSERT_EQ(run.result, kDecodeOk);
    ASSERT_TRUE(run.output == data);
    // The stream takes its own bytes, plus at most the look-ahead of one lookup.
    EXPECT_GE(run.position + 2, stream.size());
    EXPECT_LE(run.position, stream.size() + 2);
  }
}

TEST(DecoderRandom, ValidStreamsFollowedByOtherBytes) {
  // Bytes after the stream must not change how much of the file it takes.
  std::mt19937 rng(7);
  for (int i = 0; i < 60; ++i) {
    Bytes data = RandomData(rng, RandomSize(rng));
    Bytes stream = EncodeStream(rng, data);
    size_t length = ReferenceDecode(stream).fetched;
    stream.resize(length, 0);
    for (int k = 0; k < 5000; ++k) stream.push_back(static_cast<uint8_t>(rng()));
    DecodeRun run = DecodeAndCompare(stream);
    ASSERT_EQ(run.result, kDecodeOk);
    ASSERT_TRUE(run.output == data);
    EXPECT_EQ(run.position, length);
  }
}

TEST(DecoderRandom, DamagedStreams) {
  std::mt19937 rng(99);
  for (int i = 0; i < 400; ++i) {
    SCOPED_TRACE(i);
    Bytes data = RandomData(rng, rng() % 30000);
    Bytes stream = EncodeStream(rng, data);
    switch (rng() % 3) {
      case 0:  // flipped bits
        for (int k = 1 + rng() % 4; k > 0 && !stream.empty(); --k) stream[rng() % stream.size()] ^= 1 << (rng() % 8);
        break;
      case 1:  // cut short
        stream.resize(rng() % (stream.size() + 1));
        break;
      default:  // a run of bytes replaced
        if (!stream.empty()) {
          size_t at = rng() % stream.size();
          for (size_t k = at; k < stream.size() && k < at + 1 + rng() % 16; ++k) stream[k] = static_cast<uint8_t>(rng());
        }
    }
    DecodeAndCompare(stream);
  }
}

TEST(DecoderRandom, RandomBytes) {
  std::mt19937 rng(4242);
  for (int i = 0; i < 3000; ++i) {
    SCOPED_TRACE(i);
    Bytes bytes(1 + rng() % 3000);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(rng());
    // Most random headers are not block kinds; make every kind common.
    bytes[0] = static_cast<uint8_t>((bytes[0] & 0xF8) | (5 + rng() % 3));
    DecodeAndCompare(bytes);
  }
}

}  // namespace
