#include "block_encoder.h"

#include <string.h>

#include "code_lengths.h"
#include "lookup_reach.h"

namespace {

// Block header values: kind in bits 0-2, bit 3 marks the last block.
constexpr uint32_t kHeaderFixed = 5;
constexpr uint32_t kHeaderDynamic = 6;
constexpr uint32_t kHeaderStored = 7;
constexpr uint32_t kHeaderLast = 8;
constexpr size_t kMaxStoredLength = 0xFFFF;

// Writes bits first-bit-lowest and remembers the furthest bit the decoder
// will have fetched: every lookup asks for the bits of a whole table level.
struct BitWriter {
  std::vector<uint8_t> bytes;
  uint64_t pending = 0;
  int pendingBits = 0;
  uint64_t position = 0;  // bits written
  uint64_t reach = 0;     // bits the decoder will have fetched

  void Put(uint32_t value, int count) {
    pending |= uint64_t(value) << pendingBits;
    pendingBits += count;
    position += static_cast<uint64_t>(count);
    if (position > reach) reach = position;
    while (pendingBits >= 8) {
      bytes.push_back(static_cast<uint8_t>(pending));
      pending >>= 8;
      pendingBits -= 8;
    }
  }
  // A code whose lookup holds `lookup` bits from its first bit.
  void PutCode(uint32_t code, int length, int lookup) {
    if (position + static_cast<uint64_t>(lookup) > reach) reach = position + static_cast<uint64_t>(lookup);
    Put(code, length);
  }
  void AlignToByte() {
    if (pendingBits > 0) Put(0, 8 - pendingBits);
  }
  // A stream is as long as the bytes the decoder fetches for it, look-ahead
  // included; bits past the last one written read as zero.
  std::vector<uint8_t> Finish() {
    AlignToByte();
    uint64_t fetchedBytes = (reach + 7) / 8;
    while (bytes.size() < fetchedBytes) bytes.push_back(0);
    return std::move(bytes);
  }
};

struct BlockCounts {
  uint32_t litLen[kLitLenSymbols] = {0};
  uint32_t dist[kDistSymbols] = {0};
  uint64_t extraBits = 0;  // length and distance extra bits, the same for every coding
  size_t rawBytes = 0;
};

void CountBlock(const Token* tokens, size_t n, BlockCounts* c) {
  for (size_t i = 0; i < n; ++i) {
    const Token& t = tokens[i];
    if (t.distance == 0) {
      c->litLen[t.value]++;
      c->rawBytes++;
      continue;
    }
    int ls = LengthSymbol(t.value);
    int ds = DistanceSymbol(t.distance);
    c->litLen[ls]++;
    c->dist[ds]++;
    c->extraBits += static_cast<uint64_t>(LengthExtraBits(ls) + DistanceExtraBits(ds));
    c->rawBytes += t.value;
  }
  c->litLen[kEndOfBlock] = 1;
}

// The codes of one Huffman block, with each symbol's lookup reach.
struct BlockCodes {
  uint8_t litLenLengths[kLitLenSymbols];
  uint8_t distLengths[kDistSymbols];
  uint16_t litLenCodes[kLitLenSymbols];
  uint16_t distCodes[kDistSymbols];
  uint8_t litLenReach[kLitLenSymbols];
  uint8_t distReach[kDistSymbols];
};

uint64_t DataBits(const BlockCounts& c, const BlockCodes& codes) {
  uint64_t bits = c.extraBits;
  for (int s = 0; s < kLitLenSymbols; ++s) bits += uint64_t(c.litLen[s]) * codes.litLenLengths[s];
  for (int s = 0; s < kDistSymbols; ++s) bits += uint64_t(c.dist[s]) * codes.distLengths[s];
  return bits;
}

void FinishCodes(BlockCodes* codes, int litLenWidth, int distWidth) {
  BuildCanonicalCodes(codes->litLenLengths, kLitLenSymbols, codes->litLenCodes);
  BuildCanonicalCodes(codes->distLengths, kDistSymbols, codes->distCodes);
  memset(codes->litLenReach, 0, sizeof codes->litLenReach);
  memset(codes->distReach, 0, sizeof codes->distReach);
  ComputeLookupReach(codes->litLenLengths, kLitLenSymbols, litLenWidth, codes->litLenReach);
  ComputeLookupReach(codes->distLengths, kDistSymbols, distWidth, codes->distReach);
}

void FixedCodes(BlockCodes* codes) {
  // The fixed code has 288 literal/length symbols; 286 and 287 are never
  // written, but they take code space ahead of the 9-bit codes and shape the
  // decoder's tables.
  uint8_t all[288], reach[288] = {0};
  uint16_t allCodes[288];
  for (int s = 0; s < 288; ++s) all[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
  BuildCanonicalCodes(all, 288, allCodes);
  ComputeLookupReach(all, 288, kFixedLitLenWidth, reach);
  memcpy(codes->litLenLengths, all, sizeof codes->litLenLengths);
  memcpy(codes->litLenCodes, allCodes, sizeof codes->litLenCodes);
  memcpy(codes->litLenReach, reach, sizeof codes->litLenReach);
  memset(codes->distLengths, 5, sizeof codes->distLengths);
  BuildCanonicalCodes(codes->distLengths, kDistSymbols, codes->distCodes);
  memset(codes->distReach, 0, sizeof codes->distReach);
  ComputeLookupReach(codes->distLengths, kDistSymbols, kFixedDistWidth, codes->distReach);
}

struct DynamicHeader {
  int litLenCount;  // lengths sent, 257 to 286
  int distCount;    // 1 to 30
  CodeLengthPlan plan;
  uint8_t clReach[19];
  uint64_t bits;    // HLIT, HDIST, HCLEN and the plan
};


void PlanDynamicHeader(const BlockCodes& codes, DynamicHeader* h) {
  h->litLenCount = kLitLenSymbols;
  while (h->litLenCount > 257 && codes.litLenLengths[h->litLenCount - 1] == 0) --h->litLenCount;
  h->distCount = kDistSymbols;
  while (h->distCount > 1 && codes.distLengths[h->distCount - 1] == 0) --h->distCount;
  uint8_t all[kLitLenSymbols + kDistSymbols];
  memcpy(all, codes.litLenLengths, static_cast<size_t>(h->litLenCount));
  memcpy(all + h->litLenCount, codes.distLengths, static_cast<size_t>(h->distCount));
  PlanCodeLengths(all, h->litLenCount + h->distCount, &h->plan);
  memset(h->clReach, 0, sizeof h->clReach);
  ComputeLookupReach(h->plan.clLengths, 19, kCodeLengthWidth, h->clReach);
  h->bits = 5 + 5 + 4 + h->plan.bits;
}

int Longest(const uint8_t* lengths, int n) {
  int longest = 0;
  for (int i = 0; i < n; ++i)
    if (lengths[i] > longest) longest = lengths[i];
  return longest;
}

int UsedSymbols(const uint32_t* counts, int n) {
  int used = 0;
  for (int i = 0; i < n; ++i) used += counts[i] != 0;
  return used;
}

// Lengths taken from elsewhere must code every symbol the block uses and form
// a code the decoder accepts: complete, or one single 1-bit code.
bool AcceptableLengths(const uint8_t* lengths, int n, const uint32_t* counts) {
  uint32_t room = 0, used = 0;
  int longest = 0;
  for (int s = 0; s < n; ++s) {
    if (counts[s] && !lengths[s]) return false;
    if (!lengths[s]) continue;
    room += 1u << (kMaxCodeLength - lengths[s]);
    ++used;
    if (lengths[s] > longest) longest = lengths[s];
  }
  return room == (1u << kMaxCodeLength) || used == 0 || (used == 1 && longest == 1);
}

// Header plus data bits of a dynamic block with these codes.
uint64_t DynamicBits(const BlockCounts& counts, BlockCodes* codes, DynamicHeader* header) {
  PlanDynamicHeader(*codes, header);
  return header->bits + DataBits(counts, *codes);
}

// The cheapest dynamic coding among several sets of lengths: the optimal ones;
// ones from counts evened out for runs; the parser's own (theirs, may be null);
// and, when thorough, ones limited below their natural longest length, since
// the code-length code's lengths are sent in the order 0, 1, ..., 15 and a
// header that stops before the long lengths saves more than the data loses.
uint64_t ChooseDynamicCodes(const BlockCounts& counts, const uint8_t* theirs, bool thorough, BlockCodes* best,
                            DynamicHeader* bestHeader) {
  uint64_t bestBits = UINT64_MAX;
  BlockCodes codes;
  DynamicHeader header;
  // Every candidate must still be a code the decoder accepts for this block.
  // Candidates often repeat one another in small blocks; each is priced once.
  std::vector<std::vector<uint8_t>> tried;
  auto consider = [&]() {
    std::vector<uint8_t> key(codes.litLenLengths, codes.litLenLengths + kLitLenSymbols);
    key.insert(key.end(), codes.distLengths, codes.distLengths + kDistSymbols);
    for (const auto& t : tried)
      if (t == key) return;
    tried.push_back(std::move(key));
    if (!AcceptableLengths(codes.litLenLengths, kLitLenSymbols, counts.litLen) ||
        !AcceptableLengths(codes.distLengths, kDistSymbols, counts.dist))
      return;
    uint64_t bits = DynamicBits(counts, &codes, &header);
    if (bits < bestBits) {
      bestBits = bits;
      *best = codes;
      *bestHeader = header;
    }
  };

  BlockCounts smoothed = counts;
  SmoothCountsForRuns(smoothed.litLen, kLitLenSymbols);
  SmoothCountsForRuns(smoothed.dist, kDistSymbols);
  const BlockCounts* countSets[] = {&counts, &smoothed};
  for (const BlockCounts* from : countSets) {
    // Evened-out counts may use more symbols than the block does.
    int usedLitLen = UsedSymbols(from->litLen, kLitLenSymbols);
    int usedDist = UsedSymbols(from->dist, kDistSymbols);
    BuildCodeLengths(from->litLen, kLitLenSymbols, kMaxCodeLength, codes.litLenLengths);
    BuildCodeLengths(from->dist, kDistSymbols, kMaxCodeLength, codes.distLengths);
    consider();
    if (!thorough) continue;
    int litLenLongest = Longest(codes.litLenLengths, kLitLenSymbols);
    int distLongest = Longest(codes.distLengths, kDistSymbols);
    for (int cut = 1; cut <= 2; ++cut) {
      int limit = litLenLongest - cut;
      if (limit < 1 || (1 << limit) < usedLitLen) break;
      BuildCodeLengths(from->litLen, kLitLenSymbols, limit, codes.litLenLengths);
      BuildCodeLengths(from->dist, kDistSymbols, kMaxCodeLength, codes.distLengths);
      consider();
      int distLimit = distLongest - 1;
      if (distLimit >= 1 && (1 << distLimit) >= usedDist) {
        BuildCodeLengths(from->dist, kDistSymbols, distLimit, codes.distLengths);
        consider();
      }
    }
  }

  if (theirs && AcceptableLengths(theirs, kLitLenSymbols, counts.litLen) &&
      AcceptableLengths(theirs + kLitLenSymbols, kDistSymbols, counts.dist)) {
    memcpy(codes.litLenLengths, theirs, kLitLenSymbols);
    memcpy(codes.distLengths, theirs + kLitLenSymbols, kDistSymbols);
    consider();
  }
  FinishCodes(best, kDynamicLitLenWidth, kDynamicDistWidth);
  return bestBits;
}

void WriteDynamicHeader(const DynamicHeader& h, BitWriter* w) {
  w->Put(static_cast<uint32_t>(h.litLenCount - 257), 5);
  w->Put(static_cast<uint32_t>(h.distCount - 1), 5);
  w->Put(static_cast<uint32_t>(h.plan.clCount - 4), 4);
  for (int i = 0; i < h.plan.clCount; ++i) w->Put(h.plan.clLengths[kCodeLengthOrder[i]], 3);
  uint16_t clCodes[19];
  BuildCanonicalCodes(h.plan.clLengths, 19, clCodes);
  for (size_t i = 0; i < h.plan.items.size(); ++i) {
    int item = h.plan.items[i];
    w->PutCode(clCodes[item], h.plan.clLengths[item], h.clReach[item]);
    if (item == 16) w->Put(h.plan.extra[i], 2);
    else if (item == 17) w->Put(h.plan.extra[i], 3);
    else if (item == 18) w->Put(h.plan.extra[i], 7);
  }
}

void WriteTokens(const Token* tokens, size_t n, const BlockCodes& codes, BitWriter* w) {
  for (size_t i = 0; i < n; ++i) {
    const Token& t = tokens[i];
    if (t.distance == 0) {
      w->PutCode(codes.litLenCodes[t.value], codes.litLenLengths[t.value], codes.litLenReach[t.value]);
      continue;
    }
    int ls = LengthSymbol(t.value);
    w->PutCode(codes.litLenCodes[ls], codes.litLenLengths[ls], codes.litLenReach[ls]);
    w->Put(static_cast<uint32_t>(t.value - LengthBase(ls)), LengthExtraBits(ls));
    int ds = DistanceSymbol(t.distance);
    w->PutCode(codes.distCodes[ds], codes.distLengths[ds], codes.distReach[ds]);
    w->Put(static_cast<uint32_t>(t.distance - DistanceBase(ds)), DistanceExtraBits(ds));
  }
  w->PutCode(codes.litLenCodes[kEndOfBlock], codes.litLenLengths[kEndOfBlock], codes.litLenReach[kEndOfBlock]);
}

// Stored blocks hold at most 65,535 bytes each; every piece starts on a byte.
uint64_t StoredBits(uint64_t position, size_t rawBytes) {
  uint64_t bits = 0;
  do {
    size_t piece = rawBytes > kMaxStoredLength ? kMaxStoredLength : rawBytes;
    uint64_t afterHeader = position + bits + 4;
    bits += 4 + (8 - afterHeader % 8) % 8 + 16 + 8 * uint64_t(piece);
    rawBytes -= piece;
  } while (rawBytes > 0);
  return bits;
}

void WriteStored(const uint8_t* raw, size_t rawBytes, bool last, BitWriter* w) {
  do {
    size_t piece = rawBytes > kMaxStoredLength ? kMaxStoredLength : rawBytes;
    rawBytes -= piece;
    w->Put(kHeaderStored | (last && rawBytes == 0 ? kHeaderLast : 0), 4);
    w->AlignToByte();
    w->Put(static_cast<uint32_t>(piece), 16);
    for (size_t i = 0; i < piece; ++i) w->Put(raw[i], 8);
    raw += piece;
  } while (rawBytes > 0);
}

}  // namespace

std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, const ParsedStream& parse, bool thorough,
                                  bool finalPiece) {
  BitWriter w;
  BlockCodes fixed;
  FixedCodes(&fixed);
  size_t begin = 0;
  size_t offset = 0;  // input bytes before the current block
  for (size_t b = 0; b < parse.blockEnds.size(); ++b) {
    size_t end = parse.blockEnds[b];
    bool last = finalPiece && b + 1 == parse.blockEnds.size();
    const Token* tokens = parse.tokens.data() + begin;
    size_t n = end - begin;

    BlockCounts counts;
    CountBlock(tokens, n, &counts);

    BlockCodes dynamic;
    DynamicHeader header;
    const uint8_t* theirs = nullptr;
    if (parse.blockLengths.size() >= (b + 1) * (kLitLenSymbols + kDistSymbols))
      theirs = parse.blockLengths.data() + b * (kLitLenSymbols + kDistSymbols);
    uint64_t dynamicBits = 4 + ChooseDynamicCodes(counts, theirs, thorough, &dynamic, &header);

    uint64_t fixedBits = 4 + DataBits(counts, fixed);

    uint64_t storedBits = StoredBits(w.position, counts.rawBytes);

    uint32_t lastFlag = last ? kHeaderLast : 0;
    if (storedBits < dynamicBits && storedBits < fixedBits && offset + counts.rawBytes <= size) {
      WriteStored(data + offset, counts.rawBytes, last, &w);
    } else if (fixedBits <= dynamicBits) {
      w.Put(kHeaderFixed | lastFlag, 4);
      WriteTokens(tokens, n, fixed, &w);
    } else {
      w.Put(kHeaderDynamic | lastFlag, 4);
      WriteDynamicHeader(header, &w);
      WriteTokens(tokens, n, dynamic, &w);
    }
    offset += counts.rawBytes;
    begin = end;
  }
  if (finalPiece) return w.Finish();
  // The stored block's length field is read without look-ahead, and it is
  // longer than any lookup, so no code of this piece reaches past its end.
  WriteStored(nullptr, 0, false, &w);
  return std::move(w.bytes);
}
