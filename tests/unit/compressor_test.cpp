// Streams from the compressor, checked with the stub's own decoder: each must
// expand to its input and be exactly as long as the bytes the decoder fetches.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "common/memory.h"
#include "bit_writer.h"
#include "code_lengths.h"
#include "common/file_io.h"
#include "compressor.h"
#include "lookup_reach.h"
#include "tokens.h"
#include "package/expand.h"
#include "package/volumes.h"

// Every expansion here reads without a budget, so the source never moves on
// to another volume.
FileHandle OpenNextVolume() { return INVALID_FILE; }

namespace {

// Blocks the code under test allocates start out as 0xA5, never as zeros.
const bool kScribbled = (g_scribbleNewBlocks = true);

using Bytes = std::vector<uint8_t>;

const CompressLevel kAllLevels[] = {CompressLevel::kFast, CompressLevel::kDefault, CompressLevel::kBest};

const char* LevelName(CompressLevel level) {
  return level == CompressLevel::kFast ? "fast" : level == CompressLevel::kDefault ? "default" : "best";
}

// The exhaustive parse is slow; one pass is enough to exercise its streams.
Bytes Compress(const Bytes& data, CompressLevel level) {
  CompressOptions options;
  options.level = level;
  options.bestIterations = 1;
  return CompressStream(data.data(), data.size(), options);
}

// The process id keeps runs that go on at the same time (two build folders,
// two checkouts) out of each other's files.
std::string TempPath(const char* name) {
  return testing::TempDir() + "compressor_test_" + std::to_string(getpid()) + "_" + name;
}

void WriteFile(const std::string& path, const Bytes& bytes) {
  FileHandle file = CreateAlways(path.c_str());
  ASSERT_NE(file, INVALID_FILE) << path;
  ASSERT_EQ(WriteExact(file, bytes.data(), static_cast<uint32_t>(bytes.size())), kFileOk);
  CloseFile(file);
}

struct Expansion {
  bool ok = false;
  Bytes output;
  uint32_t endPosition = 0;  // where the decoder left the input
};

// Expands one stream at the file's current position.
Expansion ExpandAt(FileHandle file, size_t expandedSize) {
  Expansion e;
  e.output.assign(expandedSize + 1, 0xEE);  // room for a byte too many, never filled by a good stream
  e.ok = ExpandIntoMemory(e.output.data(), static_cast<uint32_t>(expandedSize), file, 0);
  e.endPosition = FilePosition(file);
  e.output.resize(expandedSize);
  return e;
}

// The stream is followed by bytes of all ones, so any byte fetched past its
// end would both move the end position and corrupt the look-ahead bits.
Expansion ExpandAlone(const Bytes& stream, size_t expandedSize) {
  Bytes file = stream;
  file.insert(file.end(), 64, 0xFF);
  std::string path = TempPath("alone.bin");
  WriteFile(path, file);
  FileHandle input = OpenExisting(path.c_str(), kOpenRead);
  Expansion e;
  if (input == INVALID_FILE) return e;
  e = ExpandAt(input, expandedSize);
  CloseFile(input);
  remove(path.c_str());
  return e;
}

Bytes Random(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(size);
  for (auto& v : b) v = static_cast<uint8_t>(rng());
  return b;
}

// Words with a skewed distribution, like prose: plenty of short matches.
Bytes Text(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"the ", "setup ", "file ", "of ", "and ", "folder ", "to ", "install ",
                                       "Windows ", "a ", "is ", "program ", "data ", "in ", "volume ", ".\r\n"};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < size) {
    const char* w = kWords[(rng() % 16) * (rng() % 16) / 16];
    b.insert(b.end(), w, w + strlen(w));
  }
  b.resize(size);
  return b;
}

// Bytes with structure at many scales: runs, small-alphabet noise, repeats.
Bytes Mixed(size_t size, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < size) {
    switch (rng() % 4) {
      case 0: b.insert(b.end(), 1 + rng() % 300, static_cast<uint8_t>(rng())); break;
      case 1: for (int n = 1 + rng() % 200; n > 0; --n) b.push_back(static_cast<uint8_t>('a' + rng() % 6)); break;
      case 2:
        if (b.size() > 10) {
          size_t from = rng() % b.size(), n = 3 + rng() % 400;
          for (size_t i = 0; i < n; ++i) b.push_back(b[from + i]);
        }
        break;
      default: for (int n = 1 + rng() % 50; n > 0; --n) b.push_back(static_cast<uint8_t>(rng())); break;
    }
  }
  b.resize(size);
  return b;
}

// A random block, then copies of it from exactly 32,768 bytes back: only the
// largest distance can match.
Bytes FarMatches() {
  Bytes b = Random(32768, 7);
  for (size_t i = 0; i < 20000; ++i) b.push_back(b[b.size() - 32768]);
  return b;
}

Bytes ReadWholeFile(const char* path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<std::pair<std::string, Bytes>> Corpus() {
  std::vector<std::pair<std::string, Bytes>> c;
  c.emplace_back("empty", Bytes());
  c.emplace_back("one byte", Bytes{0x41});
  c.emplace_back("two equal bytes", Bytes{0, 0});
  c.emplace_back("zeros 1 MiB", Bytes(1 << 20, 0));
  c.emplace_back("random 200 KiB", Random(200000, 1));
  c.emplace_back("text 100 KiB", Text(100000, 2));
  c.emplace_back("runs", Mixed(150000, 3));
  c.emplace_back("matches at 32768", FarMatches());
  for (size_t size : {32767u, 32768u, 32769u, 65535u, 65536u, 65537u})
    c.emplace_back("mixed " + std::to_string(size), Mixed(size, static_cast<uint32_t>(size)));
  c.emplace_back("random 65536", Random(65536, 4));
  // This test program itself: a real executable, whatever the machine.
  Bytes self = ReadWholeFile("/proc/self/exe");
  if (self.size() > 400000) self.resize(400000);
  c.emplace_back("this executable", self);
  return c;
}

// The best level also tries the default parse and keeps the smaller stream.
TEST(CompressStream, RoundTripsEveryLevelWithExactLength) {
  for (const auto& item : Corpus()) {
    size_t defaultSize = 0;
    for (CompressLevel level : kAllLevels) {
      SCOPED_TRACE(item.first + ", " + LevelName(level));
      Bytes stream = Compress(item.second, level);
      Expansion e = ExpandAlone(stream, item.second.size());
      ASSERT_TRUE(e.ok);
      EXPECT_TRUE(e.output == item.second);
      EXPECT_EQ(e.endPosition, stream.size()) << "stream length differs from the decoder's fetch count";
      if (level == CompressLevel::kDefault) defaultSize = stream.size();
      if (level == CompressLevel::kBest) {
        EXPECT_LE(stream.size(), defaultSize);
      }
    }
  }
}

// Many small inputs put every kind of symbol last before the end-of-block
// code, where the decoder's look-ahead decides the stream's length.
TEST(CompressStream, SmallInputsEndExactlyWhereTheDecoderStops) {
  std::mt19937 rng(11);
  for (int i = 0; i < 300; ++i) {
    size_t size = rng() % 2000;
    Bytes data = (i % 3 == 0) ? Random(size, static_cast<uint32_t>(i)) : Mixed(size, static_cast<uint32_t>(i));
    if (i % 5 == 0)
      for (auto& v : data) v = static_cast<uint8_t>(v % (1 + i % 7));  // tiny alphabets: very short codes
    for (CompressLevel level : {CompressLevel::kFast, CompressLevel::kDefault}) {
      SCOPED_TRACE("input " + std::to_string(i) + ", " + LevelName(level));
      Bytes stream = Compress(data, level);
      Expansion e = ExpandAlone(stream, data.size());
      ASSERT_TRUE(e.ok);
      ASSERT_TRUE(e.output == data);
      ASSERT_EQ(e.endPosition, stream.size());
    }
  }
}

TEST(CompressStream, EmptyInputGivesATinyValidStream) {
  for (CompressLevel level : kAllLevels) {
    Bytes stream = Compress(Bytes(), level);
    ASSERT_FALSE(stream.empty());
    EXPECT_LE(stream.size(), 3u);  // a final fixed block with end-of-block, or a final empty stored block
    Expansion e = ExpandAlone(stream, 0);
    EXPECT_TRUE(e.ok);
    EXPECT_EQ(e.endPosition, stream.size());
  }
}

// Stored blocks carry at most 65,535 bytes each, with LEN and no complement.
// Random bytes cannot be coded smaller, so the stream is stored blocks alone.
TEST(CompressStream, IncompressibleInputGoesIntoStoredBlocks) {
  Bytes data = Random(200000, 9);
  Bytes stream = Compress(data, CompressLevel::kDefault);
  size_t at = 0, copied = 0, blocks = 0;
  bool last = false;
  while (!last) {
    ASSERT_LT(at + 3, stream.size() + 1);
    uint8_t header = stream[at] & 0x0F;  // each stored block starts on a byte
    ASSERT_TRUE(header == 7 || header == 15) << "block " << blocks << " header " << int(header);
    last = header == 15;
    size_t len = stream[at + 1] | (stream[at + 2] << 8);
    ASSERT_LE(at + 3 + len, stream.size());
    ASSERT_TRUE(memcmp(stream.data() + at + 3, data.data() + copied, len) == 0) << "block " << blocks;
    at += 3 + len;
    copied += len;
    ++blocks;
  }
  EXPECT_EQ(copied, data.size());
  EXPECT_EQ(at, stream.size());
  EXPECT_GE(blocks, 4u);
}

// Streams lie back to back in a setup file; each expansion must leave the
// file where the next stream begins.
TEST(CompressStream, StreamsBackToBackExpandInOrder) {
  std::vector<Bytes> inputs = {Text(5000, 1), Bytes(), Random(70000, 2), Bytes{0x5A}, Mixed(40000, 3),
                               Bytes(300, 0), Text(123, 4)};
  CompressLevel levels[] = {CompressLevel::kDefault, CompressLevel::kFast, CompressLevel::kDefault,
                            CompressLevel::kBest, CompressLevel::kFast, CompressLevel::kBest, CompressLevel::kDefault};
  Bytes file;
  std::vector<size_t> starts;
  for (size_t i = 0; i < inputs.size(); ++i) {
    starts.push_back(file.size());
    Bytes stream = Compress(inputs[i], levels[i]);
    file.insert(file.end(), stream.begin(), stream.end());
  }
  starts.push_back(file.size());
  file.insert(file.end(), 16, 0xFF);
  std::string path = TempPath("chain.bin");
  WriteFile(path, file);
  FileHandle input = OpenExisting(path.c_str(), kOpenRead);
  ASSERT_NE(input, INVALID_FILE);
  for (size_t i = 0; i < inputs.size(); ++i) {
    SCOPED_TRACE("stream " + std::to_string(i));
    EXPECT_EQ(FilePosition(input), starts[i]);
    Expansion e = ExpandAt(input, inputs[i].size());
    EXPECT_TRUE(e.ok);
    EXPECT_TRUE(e.output == inputs[i]);
    EXPECT_EQ(e.endPosition, starts[i + 1]);
  }
  CloseFile(input);
  remove(path.c_str());
}

// A long file is compressed in pieces on several threads: the pieces, each
// but the last ending on a byte, join into one stream of exact length.
TEST(CompressStream, PiecesCompressedApartJoinIntoOneStream) {
  Bytes data = Mixed(100000, 8);
  Bytes tail = Random(50000, 9);
  data.insert(data.end(), tail.begin(), tail.end());
  for (CompressLevel level : kAllLevels) {
    // The exhaustive parse costs most per call, so it gets few pieces.
    std::vector<size_t> pieces = {65536};
    if (level != CompressLevel::kBest) pieces = {4096, 65536, 100003};
    for (size_t piece : pieces) {
      SCOPED_TRACE(std::string(LevelName(level)) + ", pieces of " + std::to_string(piece));
      Bytes joined;
      for (size_t at = 0; at < data.size(); at += piece) {
        size_t n = std::min(piece, data.size() - at);
        CompressOptions options;
        options.level = level;
        options.bestIterations = 1;
        options.finalPiece = at + n == data.size();
        Bytes stream = CompressStream(data.data() + at, n, options);
        joined.insert(joined.end(), stream.begin(), stream.end());
      }
      Expansion e = ExpandAlone(joined, data.size());
      ASSERT_TRUE(e.ok);
      EXPECT_TRUE(e.output == data);
      EXPECT_EQ(e.endPosition, joined.size());
    }
  }
}

TEST(CompressStream, SameInputGivesSameBytes) {
  Bytes data = Mixed(100000, 5);
  for (CompressLevel level : kAllLevels) {
    SCOPED_TRACE(LevelName(level));
    EXPECT_TRUE(Compress(data, level) == Compress(data, level));
  }
}

// Whole streams rarely end where a lookup reaches past the final code, so
// the reach model is checked on hand-made final dynamic blocks with short
// end-of-block codes and wide distance tables, where it often does.
TEST(LookupReach, PredictsTheBytesTheDecoderFetches) {
  std::mt19937 rng(21);
  int paddedStreams = 0;
  for (int trial = 0; trial < 400; ++trial) {
    SCOPED_TRACE("trial " + std::to_string(trial));
    uint32_t litLenCounts[kLitLenSymbols] = {0}, distCounts[kDistSymbols] = {0};
    for (int n = 2 + rng() % 30; n > 0; --n) litLenCounts[rng() % kLitLenSymbols] += 1 + rng() % 50;
    litLenCounts[kEndOfBlock] += 1 + rng() % 200;  // often frequent, so its code is short
    litLenCounts[257 + rng() % 29] += 1;  // at least one length symbol
    for (int n = 1 + rng() % 12; n > 0; --n) distCounts[rng() % kDistSymbols] += 1 + (rng() % 4 == 0 ? rng() % 400 : rng() % 3);
    // Every other block ends with a match whose distance has a very short code
    // in a 6-bit table and no extra bits, followed by a 1-bit end-of-block:
    // the distance lookup then reaches a few bits past the stream's last bit.
    bool reachesPast = trial % 2 == 0;
    int lastLength = 257 + static_cast<int>(rng() % 8), lastDistance = static_cast<int>(rng() % 4);
    if (reachesPast) {
      litLenCounts[kEndOfBlock] += 100000;
      litLenCounts[lastLength] += 1;
      distCounts[lastDistance] += 100000;
      for (int n = 0; n < 8; ++n) distCounts[4 + rng() % 26] += 1;
    }
    uint8_t lengths[kLitLenSymbols + kDistSymbols];
    BuildCodeLengths(litLenCounts, kLitLenSymbols, 9 + rng() % 7, lengths);
    BuildCodeLengths(distCounts, kDistSymbols, 6 + rng() % 10, lengths + kLitLenSymbols);
    uint8_t* distLengths = lengths + kLitLenSymbols;

    int litLenCount = kLitLenSymbols, distCount = kDistSymbols;
    while (litLenCount > 257 && lengths[litLenCount - 1] == 0) --litLenCount;
    while (distCount > 1 && distLengths[distCount - 1] == 0) --distCount;
    uint8_t sent[kLitLenSymbols + kDistSymbols];
    memcpy(sent, lengths, litLenCount);
    memcpy(sent + litLenCount, distLengths, distCount);
    CodeLengthPlan plan;
    PlanCodeLengths(sent, litLenCount + distCount, &plan);

    uint8_t clReach[19] = {0}, litLenReach[kLitLenSymbols] = {0}, distReach[kDistSymbols] = {0};
    ComputeLookupReach(plan.clLengths, 19, kCodeLengthWidth, clReach);
    ComputeLookupReach(lengths, kLitLenSymbols, kDynamicLitLenWidth, litLenReach);
    ComputeLookupReach(distLengths, kDistSymbols, kDynamicDistWidth, distReach);
    std::vector<int> clLengths(plan.clLengths, plan.clLengths + 19), litLen(lengths, lengths + kLitLenSymbols),
        dist(distLengths, distLengths + kDistSymbols);
    std::vector<uint32_t> clCodes = CanonicalCodes(clLengths), litLenCodes = CanonicalCodes(litLen),
                          distCodes = CanonicalCodes(dist);

    BitWriter w;
    size_t reach = 0;
    auto code = [&](uint32_t c, int length, int lookup) {
      reach = std::max(reach, w.BitCount() + static_cast<size_t>(lookup));
      w.Code(c, length);
    };
    w.Bits(14, 4).Bits(litLenCount - 257, 5).Bits(distCount - 1, 5).Bits(plan.clCount - 4, 4);
    for (int i = 0; i < plan.clCount; ++i) w.Bits(plan.clLengths[kCodeLengthOrder[i]], 3);
    for (size_t i = 0; i < plan.items.size(); ++i) {
      int item = plan.items[i];
      code(clCodes[item], clLengths[item], clReach[item]);
      if (item >= 16) w.Bits(plan.extra[i], item == 16 ? 2 : item == 17 ? 3 : 7);
    }
    std::vector<int> literals, lengthSymbols, distSymbols;
    for (int s2 = 0; s2 < kLitLenSymbols; ++s2)
      if (lengths[s2] && s2 != kEndOfBlock) (s2 < 256 ? literals : lengthSymbols).push_back(s2);
    for (int s2 = 0; s2 < kDistSymbols; ++s2)
      if (distLengths[s2]) distSymbols.push_back(s2);
    for (int n = rng() % 6; n >= 0; --n) {
      if (literals.empty() || rng() % 2) {
        int ls = lengthSymbols[rng() % lengthSymbols.size()];
        int ds = distSymbols[rng() % distSymbols.size()];
        code(litLenCodes[ls], litLen[ls], litLenReach[ls]);
        w.Bits(rng() & ((1u << LengthExtraBits(ls)) - 1), LengthExtraBits(ls));
        code(distCodes[ds], dist[ds], distReach[ds]);
        w.Bits(rng() & ((1u << DistanceExtraBits(ds)) - 1), DistanceExtraBits(ds));
      } else {
        int lit = literals[rng() % literals.size()];
        code(litLenCodes[lit], litLen[lit], litLenReach[lit]);
      }
    }
    if (reachesPast) {
      code(litLenCodes[lastLength], litLen[lastLength], litLenReach[lastLength]);
      code(distCodes[lastDistance], dist[lastDistance], distReach[lastDistance]);
    }
    code(litLenCodes[kEndOfBlock], litLen[kEndOfBlock], litLenReach[kEndOfBlock]);

    Bytes stream = w.Bytes();
    size_t expected = (std::max(reach, w.BitCount()) + 7) / 8;
    if (expected > stream.size()) ++paddedStreams;
    Bytes file = stream;
    file.insert(file.end(), 16, 0xFF);
    std::string path = TempPath("reach.bin");
    WriteFile(path, file);
    FileHandle input = OpenExisting(path.c_str(), kOpenRead);
    ASSERT_NE(input, INVALID_FILE);
    EXPECT_TRUE(ExpandIntoFile(INVALID_FILE, input, 0));
    EXPECT_EQ(FilePosition(input), expected);
    CloseFile(input);
    remove(path.c_str());
  }
  EXPECT_GT(paddedStreams, 50) << "too few streams whose last lookup reached past their last bit";
}

}  // namespace
