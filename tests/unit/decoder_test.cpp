// Hand-built streams, one field per writer call, each decoded by the real
// decoder from a file and checked against the reference decoder; then the
// file source, the sinks and the two expand operations.
#include <gtest/gtest.h>

#include <string.h>

#include <random>
#include <vector>

#include "common/memory.h"
#include "bit_writer.h"
#include "common/setup_state.h"
#include "decoder_fake_volumes.h"
#include "decoder_test_util.h"
#include "package/expand.h"
#include "stream_encoder.h"

namespace {

// Blocks the code under test allocates start out as 0xA5, never as zeros.
const bool kScribbled = (g_scribbleNewBlocks = true);

typedef std::vector<uint8_t> Bytes;

// Final stored block of length 0: header, padding to the byte, LEN.
void EmptyFinalStored(BitWriter& w) { w.Bits(15, 4).Align().Bits(0, 16); }

// Fixed literal/length code of symbol s.
void FixedSymbol(BitWriter& w, int s) {
  if (s < 144) w.Code(0x30 + s, 8);
  else if (s < 256) w.Code(0x190 + s - 144, 9);
  else if (s < 280) w.Code(s - 256, 7);
  else w.Code(0xC0 + s - 280, 8);
}
void FixedDistance(BitWriter& w, int d) { w.Code(d, 5); }

// A code-length code that holds all 19 symbols: 0 to 12 with 4 bits, 13 to 18
// with 5, so that every sequence can be written.
const std::vector<int> kAllCodeLengths = {4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 5, 5, 5, 5, 5, 5};
const int kOurOrder[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
const int kRfcOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct LengthSymbol {
  int sym;
  int extra;
};

// HLIT, HDIST, HCLEN, the code-length code lengths in the given order, and the
// sequence of code-length symbols with their extra bits.
void DynamicHeader(BitWriter& w, int nlit, int ndist, const std::vector<LengthSymbol>& seq,
                   const std::vector<int>& clen = kAllCodeLengths, const int* order = kOurOrder) {
  w.Bits(nlit - 257, 5).Bits(ndist - 1, 5).Bits(19 - 4, 4);
  for (int i = 0; i < 19; ++i) w.Bits(clen[order[i]], 3);
  std::vector<uint32_t> codes = CanonicalCodes(clen);
  for (const LengthSymbol& s : seq) {
    w.Code(codes[s.sym], clen[s.sym]);
    if (s.sym == 16) w.Bits(s.extra, 2);
    if (s.sym == 17) w.Bits(s.extra, 3);
    if (s.sym == 18) w.Bits(s.extra, 7);
  }
}

// Every length sent as itself.
std::vector<LengthSymbol> Plain(const std::vector<int>& lengths) {
  std::vector<LengthSymbol> seq;
  for (int len : lengths) seq.push_back({len, 0});
  return seq;
}

// Literal/length lengths with the given symbols set, nlit long.
std::vector<int> Lengths(int n, std::vector<std::pair<int, int>> set) {
  std::vector<int> lengths(n, 0);
  for (auto& p : set) lengths[p.first] = p.second;
  return lengths;
}

std::vector<int> Concat(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// ---- block headers and stored blocks ------------------------------------------

TEST(DecoderVectors, EveryHeaderValue) {
  for (int header = 0; header < 16; ++header) {
    SCOPED_TRACE(header);
    BitWriter w;
    w.Bits(header, 4);  // block header: kind in bits 0-2, last in bit 3
    int kind = header & 7;
    if (kind == 5) {
      FixedSymbol(w, 256);  // end of block
    } else if (kind == 6) {
      // 257 literal/length lengths, only 256 has one (a single 1-bit code), 1 distance length of 0
      DynamicHeader(w, 257, 1, Plain(Concat(Lengths(257, {{256, 1}}), {0})));
      w.Code(0, 1);  // end of block
    } else if (kind == 7) {
      w.Align().Bits(0, 16);  // padding, LEN 0
    }
    bool valid = kind >= 5;
    if (valid && !(header & 8)) EmptyFinalStored(w);
    DecodeRun run = DecodeAndCompare(w.Bytes());
    if (valid) {
      EXPECT_EQ(run.result, kDecodeOk);
      EXPECT_EQ(run.writes, std::vector<uint32_t>{0});
    } else {
      EXPECT_EQ(run.result, kDecodeBadBlock);
      EXPECT_TRUE(run.writes.empty());
    }
  }
}

TEST(DecoderVectors, EmptyStoredBlockIsThreeBytes) {
  // header 15, four padding bits, LEN 0 0; then bytes of whatever follows
  DecodeRun run = DecodeAndCompare({0x0F, 0x00, 0x00, 0xAB, 0xCD});
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.writes, std::vector<uint32_t>{0});
  EXPECT_EQ(run.position, 3u);
}

TEST(DecoderVectors, StoredBlockHasNoLengthComplement) {
  BitWriter w;
  w.Bits(15, 4).Align();  // final stored, padding
  w.Bits(2, 16);          // LEN 2
  w.Byte(0xFD).Byte(0xFF);  // data, where a complement would stand
  w.Byte(0x99);             // not part of the stream
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, (Bytes{0xFD, 0xFF}));
  EXPECT_EQ(run.position, 5u);
}

TEST(DecoderVectors, StoredBlockStartsAtTheNextByteBoundary) {
  BitWriter w;
  w.Bits(5, 4);          // fixed, not last
  FixedSymbol(w, 'Q');   // 8 bits: now 12 bits into the stream
  FixedSymbol(w, 256);   // 7 bits: 19
  w.Bits(15, 4);         // final stored: 23
  w.Align();             // 1 padding bit
  w.Bits(1, 16).Byte('R');  // LEN 1, data
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, (Bytes{'Q', 'R'}));
  EXPECT_EQ(run.position, 6u);
}

// ---- dynamic block headers ------------------------------------------------------

// 'A' and end of block, 1 bit each; one distance length of 0.
std::vector<int> TwoSymbolCode() { return Concat(Lengths(257, {{'A', 1}, {256, 1}}), {0}); }

TEST(DecoderVectors, CodeLengthOrderIs18_17_16_0To15) {
  // Code-length code: symbol 1 with 1 bit, symbol 0 with 2, symbol 18 with 2.
  std::vector<int> clen(19, 0);
  clen[0] = 2;
  clen[1] = 1;
  clen[18] = 2;
  std::vector<LengthSymbol> seq = {{18, 'A' - 11}, {1, 0}, {18, 127}, {18, 256 - 'A' - 1 - 138 - 11},
                                   {1, 0},         {0, 0}};
  for (const int* order : {kOurOrder, kRfcOrder}) {
    BitWriter w;
    w.Bits(14, 4);  // final dynamic
    DynamicHeader(w, 257, 1, seq, clen, order);
    w.Code(0, 1).Code(0, 1).Code(1, 1);  // A A end of block
    DecodeRun run = DecodeAndCompare(w.Bytes());
    if (order == kOurOrder) {
      EXPECT_EQ(run.result, kDecodeOk);
      EXPECT_EQ(run.output, (Bytes{'A', 'A'}));
    } else {
      EXPECT_FALSE(run.result == kDecodeOk && run.output == (Bytes{'A', 'A'}));
    }
  }
}

TEST(DecoderVectors, TooManyLiteralOrDistanceLengths) {
  for (int hlit : {29, 30, 31}) {
    for (int hdist : {29, 30, 31}) {
      BitWriter w;
      w.Bits(14, 4);  // final dynamic
      int nlit = 257 + hlit, ndist = 1 + hdist;
      std::vector<int> lengths(nlit + ndist, 0);
      lengths['A'] = 1;
      lengths[256] = 1;
      DynamicHeader(w, nlit, ndist, Plain(lengths));
      w.Code(0, 1).Code(1, 1);  // A, end of block
      DecodeRun run = DecodeAndCompare(w.Bytes());
      bool accepted = hlit <= 29 && hdist <= 29;
      EXPECT_EQ(run.result, accepted ? kDecodeOk : kDecodeDataError) << hlit << " " << hdist;
    }
  }
}

TEST(DecoderVectors, RepeatAtTheStartRepeatsZero) {
  BitWriter w;
  w.Bits(14, 4);  // final dynamic
  DynamicHeader(w, 257, 1,
                {{16, 0},        // symbols 0-2: the previous length, which starts as 0
                 {18, 62 - 11},  // 3-64
                 {1, 0},         // 65 'A'
                 {18, 127},      // 66-203
                 {18, 52 - 11},  // 204-255
                 {1, 0},         // 256
                 {0, 0}});       // distance 0
  w.Code(0, 1).Code(1, 1);  // A, end of block
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, Bytes{'A'});
}

TEST(DecoderVectors, RunsPastTheLastLengthAreRejected) {
  // 258 lengths; 257 of them zero so far, then each kind of run.
  for (LengthSymbol run : {LengthSymbol{16, 0}, LengthSymbol{17, 0}, LengthSymbol{18, 0}, LengthSymbol{0, 0}}) {
    BitWriter w;
    w.Bits(14, 4);
    DynamicHeader(w, 257, 1, {{18, 127}, {18, 108}, run, {0, 0}, {0, 0}, {0, 0}});
    w.Code(0, 1);
    DecodeRun r = DecodeAndCompare(w.Bytes());
    // A plain length 0 ends the sequence exactly; the code then has no end of block.
    EXPECT_EQ(r.result, kDecodeDataError) << run.sym;
  }
}

TEST(DecoderVectors, RunMayCrossIntoDistanceLengths) {
  // 'A', 256, 257, 258 with 2 bits; distances 0-3 with 2 bits.
  BitWriter w;
  w.Bits(14, 4);  // final dynamic
  DynamicHeader(w, 259, 4,
                {{18, 'A' - 11}, {2, 0},   // 0-64 zero, 65 'A'
                 {18, 127},      {18, 41},  // 66-255
                 {2, 0},                    // 256
                 {16, 0},                   // 257, 258 and distance 0
                 {16, 0}});                 // distances 1-3
  w.Code(0, 2);            // 'A'
  w.Code(2, 2);            // 257: length 3
  w.Code(0, 2);            // distance 1
  w.Code(1, 2);            // end of block
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, (Bytes{'A', 'A', 'A', 'A'}));
}

TEST(DecoderVectors, OversubscribedAndIncompleteCodes) {
  struct Case {
    const char* what;
    std::vector<int> clen;     // code-length code
    std::vector<int> lengths;  // literal/length then 1 distance length
    int ndist;
    int expected;
  };
  std::vector<int> overLit = Lengths(257, {{'A', 1}, {'B', 1}, {256, 1}});
  std::vector<int> gapLit = Lengths(257, {{'A', 2}, {256, 2}});
  std::vector<int> okLit = Lengths(258, {{'A', 2}, {256, 2}, {257, 1}});
  std::vector<int> clenOver(19, 0), clenGap(19, 0);
  clenOver[0] = clenOver[1] = clenOver[2] = 1;
  clenGap[0] = 2;
  clenGap[1] = 2;
  clenGap[2] = 2;
  std::vector<Case> cases = {
      {"over-subscribed literal code", kAllCodeLengths, Concat(overLit, {0}), 1, kDecodeBadBlock},
      {"incomplete literal code", kAllCodeLengths, Concat(gapLit, {0}), 1, kDecodeDataError},
      {"over-subscribed distance code", kAllCodeLengths, Concat(okLit, {1, 1, 1}), 3, kDecodeBadBlock},
      {"incomplete distance code", kAllCodeLengths, Concat(okLit, {2, 0}), 2, kDecodeDataError},
      {"single 1-bit distance code", kAllCodeLengths, Concat(okLit, {1, 0}), 2, kDecodeOk},
      {"over-subscribed code-length code", clenOver, Concat(Lengths(257, {{1, 1}, {256, 1}}), {0}), 1,
       kDecodeBadBlock},
      {"incomplete code-length code", clenGap, Concat(Lengths(257, {{1, 1}, {256, 1}}), {0}), 1,
       kDecodeDataError},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<LengthSymbol> seq;
    for (int len : c.lengths) seq.push_back({len, 0});
    BitWriter w;
    w.Bits(14, 4);
    DynamicHeader(w, static_cast<int>(c.lengths.size()) - c.ndist, c.ndist, seq, c.clen);
    // with the accepted code: 'A' (10), 257 (0) with distance 1 (0), end of block (11)
    w.Code(2, 2).Code(0, 1).Code(0, 1).Code(3, 2);
    DecodeRun run = DecodeAndCompare(w.Bytes());
    EXPECT_EQ(run.result, c.expected);
    if (c.expected == kDecodeOk) {
      EXPECT_EQ(run.output, (Bytes{'A', 'A', 'A', 'A'}));
    }
  }
}

TEST(DecoderVectors, LookAheadOfTheLastLookupBelongsToTheStream) {
  // Distance 1 is a 1-bit code in a 6-bit table level, so its lookup asks for
  // 5 bits past it, 3 past the 2-bit end-of-block code that follows. When those
  // reach into the next byte, that byte is part of the stream.
  int crossings = 0;
  for (int extra = 0; extra < 4; ++extra) {
    BitWriter w;
    w.Bits(14, 4);  // final dynamic
    // literal/length: 257 '0', 'A' '10', end of block '11'; distances 0-6: 1, 2, 3, 4, 5, 6, 6 bits
    DynamicHeader(w, 258, 7,
                  Plain(Concat(Lengths(258, {{'A', 2}, {256, 2}, {257, 1}}), {1, 2, 3, 4, 5, 6, 6})));
    for (int i = 0; i <= extra; ++i) w.Code(2, 2);  // 'A'
    w.Code(0, 1);                                   // 257: length 3
    size_t lookup = w.BitCount();
    w.Code(0, 1);  // distance 1
    w.Code(3, 2);  // end of block
    size_t end = (w.BitCount() + 7) / 8, reach = (lookup + 6 + 7) / 8;
    if (reach > end) ++crossings;
    Bytes bytes = w.Bytes();
    bytes.insert(bytes.end(), 3, 0xFF);  // the next stream's bytes
    DecodeRun run = DecodeAndCompare(bytes);
    EXPECT_EQ(run.result, kDecodeOk);
    EXPECT_EQ(run.output, Bytes(4 + extra, 'A'));
    EXPECT_EQ(run.position, std::max(end, reach)) << extra;
  }
  EXPECT_GT(crossings, 0);
}

TEST(DecoderVectors, ManyLongCodesOutgrowTheFirstTables) {
  // Literal/length codes of 1 to 6 bits, then 62 of 12 bits and 16 of 15 bits
  // spread over many 11-bit prefixes; distance codes of 1 to 14 bits and two
  // of 15. Every long code needs a second table level, more than the tables'
  // first block holds.
  std::vector<int> lit(286, 0);
  lit['A'] = 1;
  lit['B'] = 2;
  lit[256] = 3;
  lit['C'] = 4;
  lit['D'] = 5;
  lit['E'] = 6;
  for (int i = 0; i < 62; ++i) lit[128 + i] = 12;
  for (int i = 0; i < 16; ++i) lit[257 + i] = 15;  // lengths 3 to 18
  std::vector<int> dist(30, 0);
  for (int i = 0; i < 14; ++i) dist[i] = i + 1;
  dist[14] = dist[15] = 15;
  std::vector<uint32_t> litCodes = CanonicalCodes(lit), distCodes = CanonicalCodes(dist);

  BitWriter w;
  w.Bits(14, 4);  // final dynamic
  DynamicHeader(w, 286, 30, Plain(Concat(lit, dist)));
  Bytes expected;
  std::mt19937 rng(15);
  for (int i = 0; i < 3000; ++i) {
    int pick = rng() % 4;
    if (pick == 0 || expected.size() < 8) {
      int sym = rng() % 2 ? 'A' + rng() % 5 : 128 + rng() % 62;
      w.Code(litCodes[sym], lit[sym]);
      expected.push_back(static_cast<uint8_t>(sym));
    } else {
      int lsym = 257 + rng() % 8;  // lengths 3 to 10, no extra bits
      int dsym = rng() % 16;
      static const int kDistBase[16] = {1, 2, 3, 4, 5, 7, 9, 13, 17, 25, 33, 49, 65, 97, 129, 193};
      static const int kDistExtra[16] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6};
      int extra = static_cast<int>(rng() % (1u << kDistExtra[dsym]));
      int distance = kDistBase[dsym] + extra;
      if (distance > static_cast<int>(expected.size())) continue;
      w.Code(litCodes[lsym], lit[lsym]);
      w.Code(distCodes[dsym], dist[dsym]).Bits(extra, kDistExtra[dsym]);
      for (int k = 0; k < lsym - 254; ++k) expected.push_back(expected[expected.size() - distance]);
    }
  }
  w.Code(litCodes[256], lit[256]);
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, expected);
}

TEST(DecoderVectors, AbsentTablesAreDataErrors) {
  {  // code-length code without a single length
    BitWriter w;
    w.Bits(14, 4).Bits(0, 5).Bits(0, 5).Bits(0, 4);  // final dynamic, 257, 1, 4 code-length lengths
    w.Bits(0, 3).Bits(0, 3).Bits(0, 3).Bits(0, 3);   // all zero
    w.Bits(0, 16);
    EXPECT_EQ(DecodeAndCompare(w.Bytes()).result, kDecodeDataError);
  }
  {  // literal/length code without end of block: a block that could never end
    BitWriter w;
    w.Bits(14, 4);
    DynamicHeader(w, 257, 1, Plain(Concat(Lengths(257, {{'A', 1}, {'B', 1}}), {0})));
    w.Code(0, 1).Code(1, 1).Bits(0, 16);
    DecodeRun run = DecodeAndCompare(w.Bytes());
    EXPECT_EQ(run.result, kDecodeDataError);
    EXPECT_TRUE(run.writes.empty());
  }
  {  // a match in a block whose distance code has no lengths
    BitWriter w;
    w.Bits(14, 4);
    DynamicHeader(w, 258, 1, Plain(Concat(Lengths(258, {{'A', 1}, {256, 2}, {257, 2}}), {0})));
    w.Code(0, 1).Code(3, 2).Bits(0, 16);  // 'A', length 3, ...
    EXPECT_EQ(DecodeAndCompare(w.Bytes()).result, kDecodeDataError);
  }
}

TEST(DecoderVectors, StreamCutShortEndsWithDataError) {
  BitWriter w;
  w.Bits(13, 4);  // final fixed
  for (int i = 0; i < 20; ++i) FixedSymbol(w, 'z');
  Bytes bytes = w.Bytes();
  bytes.resize(bytes.size() - 3);  // the end of block and some literals are missing
  DecodeRun run = DecodeAndCompare(bytes);
  EXPECT_EQ(run.result, kDecodeDataError);
  EXPECT_EQ(run.position, bytes.size());

  // Only four bits of the end-of-block code (all zero bits) were ever fetched.
  EXPECT_EQ(DecodeAndCompare({0x0D}).result, kDecodeDataError);
  EXPECT_NE(DecodeAndCompare({}).result, kDecodeOk);
}

// ---- fixed blocks ---------------------------------------------------------------

TEST(DecoderVectors, FixedCodesAcceptIncompleteDistanceCode) {
  BitWriter w;
  w.Bits(13, 4);          // final fixed
  FixedSymbol(w, 'k');
  FixedSymbol(w, 258);    // length 4
  FixedDistance(w, 0);    // distance 1
  FixedSymbol(w, 256);
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, Bytes(5, 'k'));
}

TEST(DecoderVectors, FixedSymbolsWithoutMeaning) {
  for (int sym : {286, 287}) {
    BitWriter w;
    w.Bits(13, 4);
    FixedSymbol(w, 'a');
    FixedSymbol(w, sym);
    FixedSymbol(w, 256);
    EXPECT_EQ(DecodeAndCompare(w.Bytes()).result, kDecodeDataError) << sym;
  }
  for (int dist : {29, 30, 31}) {
    BitWriter w;
    w.Bits(13, 4);
    FixedSymbol(w, 'a');
    FixedSymbol(w, 257);
    FixedDistance(w, dist);
    if (dist == 29) w.Bits(0, 13);
    FixedSymbol(w, 256);
    EXPECT_EQ(DecodeAndCompare(w.Bytes()).result, dist == 29 ? kDecodeOk : kDecodeDataError) << dist;
  }
}

TEST(DecoderVectors, DistanceBeforeTheFirstByteCopiesZeros) {
  BitWriter w;
  w.Bits(13, 4);
  FixedSymbol(w, 'A');
  FixedSymbol(w, 257);    // length 3
  FixedDistance(w, 4);    // distances 5-6
  w.Bits(0, 1);           // 5: reaches four bytes before the first
  FixedSymbol(w, 262);    // length 8
  FixedDistance(w, 29);   // 24577 + 8191 = 32768
  w.Bits(8191, 13);
  FixedSymbol(w, 256);
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, (Bytes{'A', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(DecoderVectors, LongestMatchAtDistanceOne) {
  BitWriter w;
  w.Bits(13, 4);
  FixedSymbol(w, 'x');
  FixedSymbol(w, 285);  // length 258, no extra bits
  FixedDistance(w, 0);
  FixedSymbol(w, 256);
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, Bytes(259, 'x'));
}

TEST(DecoderVectors, FixedBlocksAfterEachOtherAndAfterADynamicBlock) {
  BitWriter w;
  w.Bits(6, 4);  // dynamic, not last: 'A' = 0, end of block = 1
  DynamicHeader(w, 257, 1, Plain(TwoSymbolCode()));
  w.Code(0, 1).Code(1, 1);
  w.Bits(5, 4);  // fixed, not last
  FixedSymbol(w, 'B');
  FixedSymbol(w, 256);
  w.Bits(13, 4);  // fixed, last
  FixedSymbol(w, 'C');
  FixedSymbol(w, 257);
  FixedDistance(w, 2);  // distance 3: the outputs of all three blocks
  FixedSymbol(w, 256);
  Bytes bytes = w.Bytes();
  DecodeRun run = DecodeAndCompare(bytes);
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.output, (Bytes{'A', 'B', 'C', 'A', 'B', 'C'}));
  EXPECT_EQ(ReferenceDecode(bytes).fixedTableBuilds, 1);
}

// ---- the window -----------------------------------------------------------------

// Output of n bytes through stored blocks, values from a counter.
void StoredBytes(BitWriter& w, Bytes& expected, size_t n, bool last) {
  while (n > 0) {
    size_t len = n > 65535 ? 65535 : n;
    n -= len;
    w.Bits(last && n == 0 ? 15 : 7, 4).Align().Bits(static_cast<uint32_t>(len), 16);
    for (size_t i = 0; i < len; ++i) {
      uint8_t b = static_cast<uint8_t>(expected.size() * 7 + (expected.size() >> 8));
      w.Byte(b);
      expected.push_back(b);
    }
  }
}

void FixedMatch(BitWriter& w, Bytes& expected, int length, int distance) {
  // length 3-10 through symbols 257-264, distances via their symbol and extra bits
  static const int kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,    49,    65,    97,    129,
                                    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
  static const int kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6, 6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
  while (length > 0) {
    int len = length > 258 ? 258 : length;
    if (length - len > 0 && length - len < 3) len = length - 3;
    length -= len;
    if (len == 258) {
      FixedSymbol(w, 285);
    } else if (len <= 10) {
      FixedSymbol(w, 254 + len);
    } else {
      // 265-268: 11-18 with 1 extra bit; use 269-272 etc. only through the generic rule
      static const int kBase[21] = {11, 13, 15, 17, 19, 23, 27, 31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
      static const int kExtra[20] = {1, 1, 1, 1, 2, 2, 2, 2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5};
      int s = 0;
      while (kBase[s + 1] <= len) ++s;
      FixedSymbol(w, 265 + s);
      w.Bits(len - kBase[s], kExtra[s]);
    }
    int d = 29;
    while (kDistBase[d] > distance) --d;
    FixedDistance(w, d);
    w.Bits(distance - kDistBase[d], kDistExtra[d]);
    for (int i = 0; i < len; ++i) expected.push_back(expected[expected.size() - distance]);
  }
}

TEST(DecoderWindow, ExactlyOneWindowGivesAFullAndAnEmptyWrite) {
  BitWriter w;
  Bytes expected;
  StoredBytes(w, expected, 32768, true);
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  EXPECT_EQ(run.writes, (std::vector<uint32_t>{32768, 0}));
  EXPECT_EQ(run.output, expected);
}

TEST(DecoderWindow, FillsInTheMiddleOfAMatchAndWrapsAround) {
  BitWriter w;
  Bytes expected;
  StoredBytes(w, expected, 32760, false);
  w.Bits(13, 4);                          // final fixed
  FixedMatch(w, expected, 20, 32760);     // fills the window after 8 bytes
  FixedMatch(w, expected, 100, 150);      // source runs over the window's end
  FixedMatch(w, expected, 258, 32768);    // the whole window back
  FixedMatch(w, expected, 300, 3);        // overlapping
  FixedSymbol(w, 256);
  DecodeRun run = DecodeAndCompare(w.Bytes());
  EXPECT_EQ(run.result, kDecodeOk);
  ASSERT_EQ(run.writes.size(), 2u);
  EXPECT_EQ(run.writes[0], 32768u);
  EXPECT_EQ(run.output, expected);
}

TEST(DecoderWindow, MatchesLeaveTheOldestHistoryIntact) {
  // The bytes just behind a match are the oldest of the window; a match at the
  // full distance right after it must still find them.
  for (int length : {3, 8, 9, 15, 100}) {
    for (int distance : {8, 9, 100, 1000}) {
      BitWriter w;
      Bytes expected;
      StoredBytes(w, expected, 40000, false);
      w.Bits(13, 4);  // final fixed
      FixedMatch(w, expected, length, distance);
      FixedMatch(w, expected, 10, 32768);
      FixedMatch(w, expected, 10, 32768 - 3);
      FixedSymbol(w, 256);
      DecodeRun run = DecodeAndCompare(w.Bytes());
      EXPECT_EQ(run.result, kDecodeOk);
      EXPECT_EQ(run.output, expected) << length << " at " << distance;
    }
  }
}

// ---- the file source --------------------------------------------------------------

// A stream of random data, padded with the zero bytes its final lookup fetches.
Bytes EncodedStream(uint32_t seed, size_t size, Bytes* data) {
  std::mt19937 rng(seed);
  *data = RandomData(rng, size);
  Bytes stream = EncodeStream(rng, *data);
  stream.resize(ReferenceDecode(stream).fetched, 0);
  return stream;
}

TEST(DecoderSource, StreamsBackToBackAreReadInOrder) {
  Bytes data1, data2;
  Bytes s1 = EncodedStream(1, 3000, &data1);
  Bytes s2 = EncodedStream(2, 50000, &data2);
  Bytes file = s1;
  file.insert(file.end(), s2.begin(), s2.end());
  file.insert(file.end(), 5000, 0xEE);
  TempFile temp(file);
  FileHandle input = temp.Open();
  DecodeRun first = DecodeFrom(input);
  EXPECT_EQ(first.result, kDecodeOk);
  EXPECT_EQ(first.output, data1);
  EXPECT_EQ(first.position, s1.size());
  DecodeRun second = DecodeFrom(input);
  EXPECT_EQ(second.result, kDecodeOk);
  EXPECT_EQ(second.output, data2);
  EXPECT_EQ(second.position, s1.size() + s2.size());
  CloseFile(input);
}

TEST(DecoderSource, BudgetBelowOnePieceIsReadInOneRead) {
  TempFile temp(Bytes(10000, 0x5A));
  FileHandle input = temp.Open();
  g_setup.volume.remaining = 20000;
  FileSource source;
  ASSERT_TRUE(OpenSource(&source, input, 100));
  uint8_t byte = 0;
  ASSERT_TRUE(NextByte(&source, &byte));
  EXPECT_EQ(byte, 0x5A);
  EXPECT_EQ(source.unread, 99u);
  EXPECT_EQ(FilePosition(input), 100u);
  EXPECT_EQ(g_setup.volume.remaining, 20000u - 100u);
  // Spent exactly: the source goes on without a budget, a piece at a time.
  for (int i = 0; i < 99; ++i) ASSERT_TRUE(NextByte(&source, &byte));
  ASSERT_TRUE(NextByte(&source, &byte));
  EXPECT_EQ(FilePosition(input), 100u + kSourceBufferSize);
  CloseSource(&source);
  EXPECT_EQ(FilePosition(input), 101u);
  CloseSource(&source);  // twice is harmless
  CloseFile(input);
}

TEST(DecoderSource, InvalidHandleIsRefused) {
  FileSource source;
  EXPECT_FALSE(OpenSource(&source, INVALID_FILE, 0));
  EXPECT_FALSE(ExpandIntoFile(INVALID_FILE, INVALID_FILE, 0));
}

// ---- expand operations ----------------------------------------------------------

TEST(DecoderExpand, IntoFileWithoutOutputSkipsTheStream) {
  Bytes data;
  Bytes stream = EncodedStream(3, 70000, &data);
  Bytes file(13, 0x11);
  file.insert(file.end(), stream.begin(), stream.end());
  file.insert(file.end(), 9000, 0x22);
  TempFile temp(file);
  FileHandle input = temp.Open();
  SeekFromStart(input, 13);
  EXPECT_TRUE(ExpandIntoFile(INVALID_FILE, input, 0));
  EXPECT_EQ(FilePosition(input), 13 + stream.size());
  CloseFile(input);
}

TEST(DecoderExpand, IntoFileWritesTheOutput) {
  Bytes data;
  Bytes stream = EncodedStream(4, 100000, &data);
  TempFile in(stream), out;
  FileHandle input = in.Open();
  FileHandle output = CreateAlways(out.path());
  EXPECT_TRUE(ExpandIntoFile(output, input, 0));
  CloseFile(output);
  CloseFile(input);
  EXPECT_EQ(out.Contents(), data);
}

TEST(DecoderExpand, IntoMemory) {
  Bytes data;
  Bytes stream = EncodedStream(5, 40000, &data);
  TempFile temp(stream);
  FileHandle input = temp.Open();
  Bytes out(data.size() + 16, 0xC3);
  EXPECT_TRUE(ExpandIntoMemory(out.data(), static_cast<uint32_t>(data.size()), input, 0));
  EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
  EXPECT_EQ(Bytes(out.begin() + data.size(), out.end()), Bytes(16, 0xC3));
  EXPECT_EQ(FilePosition(input), stream.size());
  CloseFile(input);
}

TEST(DecoderExpand, MemorySinkWithoutDestinationReadsNothing) {
  Bytes data;
  Bytes stream = EncodedStream(6, 1000, &data);
  Bytes file(7, 0);
  file.insert(file.end(), stream.begin(), stream.end());
  TempFile temp(file);
  FileHandle input = temp.Open();
  SeekFromStart(input, 7);
  EXPECT_FALSE(ExpandIntoMemory(nullptr, 1000, input, 0));
  EXPECT_EQ(FilePosition(input), 7u);
  CloseFile(input);
}

TEST(DecoderExpand, MoreOutputThanTheExpandedSizeFails) {
  Bytes data;
  Bytes stream = EncodedStream(7, 80000, &data);
  TempFile temp(stream);
  for (uint32_t room : {0u, 1000u, 32768u, 79999u}) {
    FileHandle input = temp.Open();
    Bytes out(room + 64, 0xA5);
    EXPECT_FALSE(ExpandIntoMemory(out.data(), room, input, 0)) << room;
    EXPECT_TRUE(std::equal(data.begin(), data.begin() + room, out.begin())) << room;
    EXPECT_EQ(Bytes(out.begin() + room, out.end()), Bytes(64, 0xA5)) << room;
    CloseFile(input);
  }
}

TEST(DecoderExpand, BadStreamFailsAndKeepsWhatWasWritten) {
  Bytes bytes = {0x00, 0x00};  // header 0: unknown block kind
  TempFile temp(bytes);
  FileHandle input = temp.Open();
  uint8_t out[4] = {1, 2, 3, 4};
  EXPECT_FALSE(ExpandIntoMemory(out, 4, input, 0));
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(FilePosition(input), 1u);
  CloseFile(input);
}

// ---- volumes ----------------------------------------------------------------------

// A stream cut into two volume files at `cut`, read with the stream's length as budget.
struct SplitStream {
  Bytes data, stream;
  TempFile first, second;
  SplitStream(uint32_t seed, size_t size, size_t cut)
      : stream(EncodedStream(seed, size, &data)),
        first(Bytes(stream.begin(), stream.begin() + cut)),
        second(Bytes(stream.begin() + cut, stream.end())) {}
};

TEST(DecoderVolumes, StreamAcrossTwoVolumesDecodesAsOne) {
  for (size_t cut : {size_t{1}, size_t{4096}, size_t{4096 + 1234}, size_t{9000}}) {
    SplitStream split(8, 60000, cut);
    ASSERT_GT(split.stream.size(), cut);
    ResetFakeVolumes();
    g_setup.volume.remaining = static_cast<uint32_t>(cut);
    FileHandle input = split.first.Open();
    FileHandle next = split.second.Open();
    QueueNextVolume(next);
    Bytes out(split.data.size());
    EXPECT_TRUE(ExpandIntoMemory(out.data(), static_cast<uint32_t>(out.size()), input,
                                 static_cast<uint32_t>(split.stream.size())))
        << cut;
    EXPECT_EQ(out, split.data) << cut;
    EXPECT_EQ(NextVolumeCalls(), 1);
    EXPECT_EQ(FilePosition(next), split.stream.size() - cut);
    // The bytes of the second volume came off the count too.
    EXPECT_EQ(g_setup.volume.remaining, static_cast<uint32_t>(cut - split.stream.size()));
    CloseFile(input);
    CloseFile(next);
  }
}

TEST(DecoderVolumes, GivingUpAtTheVolumeChangeFailsTheExpansion) {
  SplitStream split(9, 60000, 5000);
  ResetFakeVolumes();
  FileHandle input = split.first.Open();
  TempFile written;
  FileHandle output = CreateAlways(written.path());
  EXPECT_FALSE(ExpandIntoFile(output, input, static_cast<uint32_t>(split.stream.size())));
  CloseFile(output);
  EXPECT_EQ(NextVolumeCalls(), 1);
  // What was written before the change stays: whole windows only.
  Bytes part = written.Contents();
  EXPECT_EQ(part.size() % kWindowSize, 0u);
  EXPECT_TRUE(std::equal(part.begin(), part.end(), split.data.begin()));
  CloseFile(input);

  // The same through a decoder object: the result says why it ended.
  ResetFakeVolumes();
  input = split.first.Open();
  DecodeRun run = DecodeFrom(input, static_cast<uint32_t>(split.stream.size()));
  EXPECT_EQ(run.result, kDecodeCancelled);
  CloseFile(input);
}

TEST(DecoderVolumes, GivingUpStopsTheOutputAtOnce) {
  // A stored block, then a dynamic block of matches of 258 bytes at distance
  // 1 in 2 bits each: length 258 is a 1-bit code, distance 1 a 1-bit code in
  // a 6-bit table level. At the volume change the bits held may still decode
  // a match whose lookup asked for more; when that match fills the window,
  // the window must not reach the sink after the user gave up.
  int windowsAfterGivingUp = 0;
  for (int stored = 3840; stored <= 3935; ++stored) {
    BitWriter w;
    Bytes expected;
    StoredBytes(w, expected, stored, false);
    w.Bits(14, 4);  // final dynamic
    // literal/length: 'A' 10, end of block 11, 285 0; distances 0-6: 1, 2, 3, 4, 5, 6, 6 bits
    DynamicHeader(w, 286, 7, Plain(Concat(Lengths(286, {{'A', 2}, {256, 2}, {285, 1}}), {1, 2, 3, 4, 5, 6, 6})));
    for (int i = 0; i < 800; ++i) w.Code(0, 1).Code(0, 1);  // 258 bytes at distance 1
    w.Code(3, 2);
    Bytes stream = w.Bytes();
    ASSERT_GT(stream.size(), 4100u);
    TempFile first(Bytes(stream.begin(), stream.begin() + 4100));

    ResetFakeVolumes();
    g_setup.volume.remaining = 4100;
    RecordingSink sink;
    size_t writesAtGivingUp = 0;
    OnNextVolume([&] { writesAtGivingUp = sink.writes.size(); });
    FileHandle input = first.Open();
    Decoder decoder;
    InitDecoder(&decoder);
    ASSERT_TRUE(OpenSource(&decoder.source, input, static_cast<uint32_t>(stream.size())));
    decoder.sink = &sink;
    EXPECT_EQ(DecodeStream(&decoder), kDecodeCancelled) << stored;
    CloseSource(&decoder.source);
    CloseFile(input);
    ASSERT_EQ(NextVolumeCalls(), 1);
    windowsAfterGivingUp += static_cast<int>(sink.writes.size() - writesAtGivingUp);
  }
  EXPECT_EQ(windowsAfterGivingUp, 0);
  ResetFakeVolumes();
}

}  // namespace
