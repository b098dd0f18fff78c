// Block decoder. The stream's length on disk is defined by the bytes that a
// byte-at-a-time reader fetches ("need n bits" takes bytes only while fewer
// than n bits are held), and streams follow one another with nothing between
// them, so the decoder must fetch exactly those bytes and no others.
//
// For speed the main loop reads the source's buffer eight bytes at a time into
// a 64-bit bit buffer while at least eight bytes are buffered. It keeps count of
// how far the byte-at-a-time reader would have fetched (the widest lookup so
// far: each table level asks for its full width) and, on leaving the loop,
// hands the bytes beyond that point back to the source. Near the end of the
// buffer every step runs the byte-at-a-time way, so refills and volume changes
// happen exactly where the slow reader would make them.
#include "package/decoder.h"

#include <string.h>

#include "common/memory.h"

struct TableEntry {
  uint8_t op;     // extra-bit count 0..13, or one of the kOp values
  uint8_t bits;   // bits this entry consumes at its level
  uint16_t value;
  TableEntry* subTable;  // links; in a table's spare entry, the next table of the code
};

namespace {

enum : uint8_t {
  kOpEndOfBlock = 15,
  kOpLiteral = 16,  // also every code-length symbol
  kOpLink = 16,     // above this: sub-table of (op - 16) bits
  kOpInvalid = 100,
};

const uint16_t kLengthBase[31] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27, 31,
                                  35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258, 0,  0};
const uint8_t kLengthExtra[31] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2, 2,
                                  3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0, kOpInvalid, kOpInvalid};
const uint16_t kDistanceBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,
                                    33,  49,  65,  97,  129, 193,  257,  385,  513,  769,
                                    1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
const uint8_t kCodeLengthOrder[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

constexpr uint32_t kMaxCodeBits = 15;
constexpr uint32_t kMaxLiteralCodes = 286;
constexpr uint32_t kMaxDistanceCodes = 30;
constexpr uint32_t kWindowMask = kWindowSize - 1;
// One symbol with its extras takes at most 15 + 5 + 15 + 13 bits; a refill
// leaves at least 56 in the bit buffer.
constexpr uint32_t kFastInput = 8;
// DecodeFast's own result when it stops because the buffer runs low.
constexpr int kLeftFastPath = -1;

inline uint32_t LowBits(uint64_t bits, uint32_t n) { return static_cast<uint32_t>(bits) & ((1u << n) - 1); }

// Entries per allocation of lookup tables; a level larger than this gets a
// block of its own.
constexpr uint32_t kTableBlockEntries = 1024;

// The tables of one code lie in blocks, each with a spare entry ahead of it
// that links to the next block; the first block starts with the first level.
void ReleaseTable(TableEntry*& table) {
  TableEntry* t = table;
  while (t) {
    TableEntry* block = t - 1;
    t = block->subTable;
    FreeRaw(block);
  }
  table = nullptr;
}

// Multi-level lookup table of a canonical code, indexed by the code's bits in
// arrival order. Results: 0 built (or no table when every length is 0), 1
// built but incomplete, 2 over-subscribed, 3 out of memory.
int BuildTable(const uint8_t* lengths, uint32_t n, uint32_t simple, const uint16_t* base,
               const uint8_t* extra, TableEntry** table, uint32_t* width) {
  *table = nullptr;
  uint32_t count[kMaxCodeBits + 2] = {};
  for (uint32_t i = 0; i < n; ++i) ++count[lengths[i]];
  if (count[0] == n) {
    *width = 0;
    return 0;
  }
  uint32_t shortest = 1, longest = kMaxCodeBits;
  while (count[shortest] == 0) ++shortest;
  while (count[longest] == 0) --longest;
  uint32_t firstWidth = *width;
  if (firstWidth < shortest) firstWidth = shortest;
  if (firstWidth > longest) firstWidth = longest;

  int32_t unused = 1 << shortest;
  for (uint32_t len = shortest; len < longest; ++len) {
    unused -= count[len];
    if (unused < 0) return 2;
    unused <<= 1;
  }
  unused -= count[longest];
  if (unused < 0) return 2;
  // Unused bit patterns become codes of the longest length without a symbol.
  count[longest] += unused;

  uint16_t offset[kMaxCodeBits + 2];
  offset[1] = 0;
  for (uint32_t len = 1; len <= kMaxCodeBits; ++len)
    offset[len + 1] = static_cast<uint16_t>(offset[len] + (len == longest ? count[len] - unused : count[len]));
  uint16_t sorted[288];
  uint32_t symbols = 0;
  for (uint32_t sym = 0; sym < n; ++sym)
    if (lengths[sym]) {
      sorted[offset[lengths[sym]]++] = static_cast<uint16_t>(sym);
      ++symbols;
    }

  // The level holding the end-of-block code ends at that code, so its lookup
  // never asks for bits behind it.
  uint32_t endOfBlockBits = n > 256 ? lengths[256] : 16;

  TableEntry* levelTable[kMaxCodeBits + 1];
  uint32_t levelWidth[kMaxCodeBits + 1];
  uint32_t levelPrefix[kMaxCodeBits + 1];
  TableEntry* lastBlock = nullptr;
  TableEntry* room = nullptr;  // unused entries of the last block
  uint32_t roomLeft = 0;
  int depth = -1;
  uint32_t start = 0;  // bits decoded before the deepest open level
  uint32_t code = 0;   // bit-reversed canonical code
  uint32_t next = 0;   // index into sorted
  for (uint32_t len = shortest; len <= longest; ++len) {
    for (uint32_t left = count[len]; left > 0; --left) {
      while (depth < 0 || len > start + levelWidth[depth]) {
        if (depth >= 0) start += levelWidth[depth];
        ++depth;
        uint32_t limit = longest - start < firstWidth ? longest - start : firstWidth;
        uint32_t j = len - start;
        if (j < limit && (1u << j) > left) {
          // Too few codes of this length to fill a j-bit level: widen it while
          // the following lengths still leave patterns over.
          uint32_t free = (1u << j) - left;
          uint32_t l = len;
          while (++j < limit) {
            free <<= 1;
            if (free <= count[++l]) break;
            free -= count[l];
          }
        }
        if (start + j > endOfBlockBits && start < endOfBlockBits) j = endOfBlockBits - start;

        uint32_t size = 1u << j;
        if (size > roomLeft) {
          // Levels are carved out of blocks of several levels each: one
          // allocation serves most codes whole.
          uint32_t entries = size > kTableBlockEntries ? size : kTableBlockEntries;
          TableEntry* block;
          if (!AllocBlock((entries + 1) * static_cast<uint32_t>(sizeof(TableEntry)), &block)) {
            ReleaseTable(*table);
            return 3;
          }
          block->subTable = nullptr;
          if (lastBlock) lastBlock->subTable = block + 1;
          else *table = block + 1;
          lastBlock = block;
          room = block + 1;
          roomLeft = entries;
        }
        TableEntry* t = room;
        room += size;
        roomLeft -= size;
        for (uint32_t i = 0; i < size; ++i) {
          t[i].op = kOpInvalid;
          t[i].bits = 0;
          t[i].value = 0;
          t[i].subTable = nullptr;
        }
        levelTable[depth] = t;
        levelWidth[depth] = j;
        levelPrefix[depth] = code & ((1u << start) - 1);
        if (depth > 0) {
          uint32_t parentStart = start - levelWidth[depth - 1];
          TableEntry& link = levelTable[depth - 1][levelPrefix[depth] >> parentStart];
          link.op = static_cast<uint8_t>(kOpLink + j);
          link.bits = static_cast<uint8_t>(levelWidth[depth - 1]);
          link.value = 0;
          link.subTable = t;
        }
      }

      TableEntry entry;
      entry.bits = static_cast<uint8_t>(len - start);
      entry.subTable = nullptr;
      if (next >= symbols) {
        entry.op = kOpInvalid;
        entry.value = 0;
      } else {
        uint32_t sym = sorted[next++];
        if (sym < simple) {
          entry.op = sym == 256 ? kOpEndOfBlock : kOpLiteral;
          entry.value = static_cast<uint16_t>(sym);
        } else {
          entry.op = extra[sym - simple];
          entry.value = base[sym - simple];
        }
      }
      TableEntry* t = levelTable[depth];
      uint32_t step = 1u << (len - start);
      for (uint32_t i = code >> start; i < (1u << levelWidth[depth]); i += step) t[i] = entry;

      uint32_t bit = 1u << (len - 1);
      while (code & bit) {
        code ^= bit;
        bit >>= 1;
      }
      code ^= bit;
      while (depth > 0 && (code & ((1u << start) - 1)) != levelPrefix[depth]) {
        --depth;
        start -= levelWidth[depth];
      }
    }
  }
  *width = levelWidth[0];
  return unused != 0 && longest != 1 ? 1 : 0;
}

// ---- byte-at-a-time bit input --------------------------------------------

inline void Need(Decoder* d, uint32_t n) {
  while (d->bitCount < n) {
    uint8_t byte;
    if (!NextByte(&d->source, &byte)) return;
    d->bitBuffer |= static_cast<uint64_t>(byte) << d->bitCount;
    d->bitCount += 8;
  }
}

// Bits that were never fetched read as zero; consuming them would let a
// stream cut short produce output without end, so it is a data error.
inline bool Consume(Decoder* d, uint32_t n) {
  if (n > d->bitCount) return false;
  d->bitBuffer >>= n;
  d->bitCount -= n;
  return true;
}

// Looks up one code; false for an invalid code or one cut off by the end of input.
bool DecodeCode(Decoder* d, const TableEntry* table, uint32_t width, const TableEntry** out) {
  Need(d, width);
  const TableEntry* e = table + LowBits(d->bitBuffer, width);
  while (e->op > kOpLink) {
    if (e->op == kOpInvalid || !Consume(d, e->bits)) return false;
    width = e->op - kOpLink;
    Need(d, width);
    e = e->subTable + LowBits(d->bitBuffer, width);
  }
  if (!Consume(d, e->bits)) return false;
  *out = e;
  return true;
}

// Reads an n-bit field; false when its bits were never fetched.
bool TakeBits(Decoder* d, uint32_t n, uint32_t* value) {
  Need(d, n);
  *value = LowBits(d->bitBuffer, n);
  return Consume(d, n);
}

// ---- output window ---------------------------------------------------------

// Hands the full window to the sink; from now on all of it is history.
inline void WriteFullWindow(Decoder* d) {
  d->sink->Write(d->window, kWindowSize);
  d->windowPosition = 0;
  d->windowFilled = true;
}

inline void PutByte(Decoder* d, uint8_t byte) {
  d->window[d->windowPosition++] = byte;
  if (d->windowPosition == kWindowSize) WriteFullWindow(d);
}

// Copies a match that neither wraps nor fills the window, from `to - distance`
// to `to`. Copying forward is what makes a short distance repeat recent bytes.
inline void CopyWithin(uint8_t* window, uint32_t to, uint32_t distance, uint32_t length) {
  uint8_t* out = window + to;
  const uint8_t* in = out - distance;
  if (distance >= 8) {
    // Whole words, running up to 7 bytes past the match: those bytes hold the
    // oldest history (or the spare bytes behind the window) and are put back.
    uint8_t* end = out + length;
    uint64_t saved;
    memcpy(&saved, end, 8);
    do {
      memcpy(out, in, 8);
      out += 8;
      in += 8;
    } while (out < end);
    memcpy(end, &saved, 8);
  } else if (distance == 1) {
    memset(out, *in, length);
  } else {
    while (length--) *out++ = *in++;
  }
}

// Copies length bytes from distance back, wrapping within the window and
// writing it out whenever it fills. A distance before the stream's first byte
// copies zeros: the window is not cleared for each stream, so until it first
// fills, bytes from the write position on are taken as that zero fill.
void CopyMatch(Decoder* d, uint32_t distance, uint32_t length) {
  uint32_t to = d->windowPosition;
  if (to >= distance && to + length < kWindowSize) {
    CopyWithin(d->window, to, distance, length);
    d->windowPosition = to + length;
    return;
  }
  uint32_t from = (to - distance) & kWindowMask;
  while (length--) {
    uint8_t byte = d->windowFilled || from < d->windowPosition ? d->window[from] : 0;
    from = (from + 1) & kWindowMask;
    PutByte(d, byte);
  }
}

// ---- compressed data -------------------------------------------------------

// Looks up one code in bits already held, following links and consuming their
// bits (not the entry's own). Lowers ahead to the bits held beyond the farthest
// one this lookup asked for, since each table level asks for its full width.
inline const TableEntry* LookUpHeld(const TableEntry* table, uint32_t width, uint64_t& bits, uint32_t& count,
                                    uint32_t& ahead) {
  const TableEntry* e = table + LowBits(bits, width);
  while (e->op > kOpLink && e->op != kOpInvalid) {
    bits >>= e->bits;
    count -= e->bits;
    width = e->op - kOpLink;
    e = e->subTable + LowBits(bits, width);
  }
  if (count - width < ahead) ahead = count - width;
  return e;
}

// Decodes symbols while at least kFastInput bytes are buffered. Returns a
// block result, or kLeftFastPath with the bit buffer and the source put back
// into the byte-at-a-time reader's state.
int DecodeFast(Decoder* d, const TableEntry* literals, uint32_t literalWidth, const TableEntry* distances,
               uint32_t distanceWidth) {
  FileSource* source = &d->source;
  uint64_t bits = d->bitBuffer;
  uint32_t count = d->bitCount;
  const uint8_t* in = source->readPosition;
  uint32_t unread = source->unread;
  // Bits held beyond the farthest bit the slow reader would have asked for.
  // Below 8 on entry, where the held bits are exactly the slow reader's.
  uint32_t ahead = 7;
  int result = kLeftFastPath;
  // Kept in locals: stores into the window may alias anything reached through d.
  uint8_t* const window = d->window;
  uint32_t position = d->windowPosition;

  while (unread >= kFastInput) {
    uint64_t word;
    memcpy(&word, in, 8);  // both targets are little-endian
    bits |= word << count;
    uint32_t taken = (63 - count) >> 3;
    in += taken;
    unread -= taken;
    count += taken * 8;
    ahead += taken * 8;

    const TableEntry* e = LookUpHeld(literals, literalWidth, bits, count, ahead);
    if (e->op == kOpInvalid) {
      result = kDecodeDataError;
      break;
    }
    bits >>= e->bits;
    count -= e->bits;
    if (e->op == kOpLiteral) {
      window[position++] = static_cast<uint8_t>(e->value);
      // Literals come in runs: take one more from the bits held, skipping a refill.
      e = literals + LowBits(bits, literalWidth);
      if (e->op == kOpLiteral && count >= literalWidth && position != kWindowSize) {
        if (count - literalWidth < ahead) ahead = count - literalWidth;
        bits >>= e->bits;
        count -= e->bits;
        window[position++] = static_cast<uint8_t>(e->value);
      }
      if (position == kWindowSize) {
        WriteFullWindow(d);
        position = 0;
      }
      continue;
    }
    if (e->op == kOpEndOfBlock) {
      result = kDecodeOk;
      break;
    }
    if (!distances) {
      result = kDecodeDataError;
      break;
    }
    uint32_t length = e->value + LowBits(bits, e->op);
    bits >>= e->op;
    count -= e->op;

    e = LookUpHeld(distances, distanceWidth, bits, count, ahead);
    if (e->op == kOpInvalid) {
      result = kDecodeDataError;
      break;
    }
    bits >>= e->bits;
    count -= e->bits;
    uint32_t distance = e->value + LowBits(bits, e->op);
    bits >>= e->op;
    count -= e->op;
    if (position >= distance && position + length < kWindowSize) {
      CopyWithin(window, position, distance, length);
      position += length;
    } else {
      d->windowPosition = position;
      CopyMatch(d, distance, length);
      position = d->windowPosition;
    }
  }
  d->windowPosition = position;

  // Extra bits are fetched where they are consumed, so the slow reader holds
  // at least the consumed bits: this covers the extra bits of the last symbol.
  if (ahead > count) ahead = count;
  uint32_t back = ahead >> 3;
  source->readPosition = const_cast<uint8_t*>(in) - back;
  source->unread = unread + back;
  count -= back * 8;
  d->bitCount = count;
  d->bitBuffer = bits & ((static_cast<uint64_t>(1) << count) - 1);
  return result;
}

int DecodeCodes(Decoder* d, const TableEntry* literals, uint32_t literalWidth, const TableEntry* distances,
                uint32_t distanceWidth) {
  for (;;) {
    if (d->source.unread >= kFastInput) {
      int result = DecodeFast(d, literals, literalWidth, distances, distanceWidth);
      if (result != kLeftFastPath) return result;
    }
    if (d->source.cancelled) return kDecodeCancelled;
    const TableEntry* e;
    if (!DecodeCode(d, literals, literalWidth, &e)) return kDecodeDataError;
    if (e->op == kOpLiteral) {
      PutByte(d, static_cast<uint8_t>(e->value));
      continue;
    }
    if (e->op == kOpEndOfBlock) return kDecodeOk;
    if (!distances) return kDecodeDataError;
    uint32_t extra;
    if (!TakeBits(d, e->op, &extra)) return kDecodeDataError;
    uint32_t length = e->value + extra;
    if (!DecodeCode(d, distances, distanceWidth, &e)) return kDecodeDataError;
    if (!TakeBits(d, e->op, &extra)) return kDecodeDataError;
    CopyMatch(d, e->value + extra, length);
  }
}

// ---- blocks ------------------------------------------------------------------

int StoredBlock(Decoder* d) {
  Consume(d, d->bitCount & 7);
  uint32_t length;
  if (!TakeBits(d, 16, &length)) return kDecodeDataError;
  FileSource* source = &d->source;
  while (length > 0) {
    if (source->cancelled) return kDecodeCancelled;
    // Whole bytes still in the bit buffer come first; then straight from the
    // source's buffer, which fetches exactly the bytes a byte loop would.
    if (d->bitCount == 0 && source->unread > 0) {
      uint32_t n = source->unread;
      if (n > length) n = length;
      if (n > kWindowSize - d->windowPosition) n = kWindowSize - d->windowPosition;
      memcpy(d->window + d->windowPosition, source->readPosition, n);
      source->readPosition += n;
      source->unread -= n;
      length -= n;
      d->windowPosition += n;
      if (d->windowPosition == kWindowSize) {
        WriteFullWindow(d);
      }
      continue;
    }
    uint32_t byte;
    if (!TakeBits(d, 8, &byte)) return kDecodeDataError;
    PutByte(d, static_cast<uint8_t>(byte));
    --length;
  }
  return kDecodeOk;
}

int FixedBlock(Decoder* d) {
  if (!d->fixedLiteralTable) {
    uint8_t lengths[288];
    memset(lengths, 8, 144);
    memset(lengths + 144, 9, 112);
    memset(lengths + 256, 7, 24);
    memset(lengths + 280, 8, 8);
    d->fixedLiteralWidth = 7;
    int result = BuildTable(lengths, 288, 257, kLengthBase, kLengthExtra, &d->fixedLiteralTable,
                            &d->fixedLiteralWidth);
    if (result != 0) {
      ReleaseTable(d->fixedLiteralTable);
      return result;
    }
    memset(lengths, 5, 30);
    d->fixedDistanceWidth = 5;
    // Two of the 32 patterns are unused; that code alone is accepted incomplete.
    result = BuildTable(lengths, 30, 0, kDistanceBase, kDistanceExtra, &d->fixedDistanceTable,
                        &d->fixedDistanceWidth);
    if (result > 1) {
      ReleaseTable(d->fixedLiteralTable);
      return result;
    }
  }
  return DecodeCodes(d, d->fixedLiteralTable, d->fixedLiteralWidth, d->fixedDistanceTable,
                     d->fixedDistanceWidth) == kDecodeOk
             ? kDecodeOk
             : kDecodeDataError;
}

int DynamicBlock(Decoder* d) {
  uint32_t literalCount, distanceCount, codeLengthCount;
  if (!TakeBits(d, 5, &literalCount) || !TakeBits(d, 5, &distanceCount) || !TakeBits(d, 4, &codeLengthCount))
    return kDecodeDataError;
  literalCount += 257;
  distanceCount += 1;
  codeLengthCount += 4;
  if (literalCount > kMaxLiteralCodes || distanceCount > kMaxDistanceCodes) return kDecodeDataError;

  uint8_t lengths[kMaxLiteralCodes + kMaxDistanceCodes];
  memset(lengths, 0, 19);
  for (uint32_t i = 0; i < codeLengthCount; ++i) {
    uint32_t len;
    if (!TakeBits(d, 3, &len)) return kDecodeDataError;
    lengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(len);
  }
  TableEntry* table;
  uint32_t width = 7;
  int result = BuildTable(lengths, 19, 19, nullptr, nullptr, &table, &width);
  if (result != 0) {
    ReleaseTable(table);
    return result;
  }
  if (!table) return kDecodeDataError;

  uint32_t total = literalCount + distanceCount;
  uint32_t previous = 0;
  for (uint32_t i = 0; i < total && result == 0;) {
    const TableEntry* e;
    if (d->source.cancelled) {
      result = kDecodeCancelled;
    } else if (!DecodeCode(d, table, width, &e)) {
      result = kDecodeDataError;
    } else if (e->value < 16) {
      previous = e->value;
      lengths[i++] = static_cast<uint8_t>(previous);
    } else {
      uint32_t extraBits = e->value == 16 ? 2 : e->value == 17 ? 3 : 7;
      uint32_t repeat;
      if (!TakeBits(d, extraBits, &repeat)) {
        result = kDecodeDataError;
        break;
      }
      repeat += e->value == 18 ? 11 : 3;
      uint32_t fill = e->value == 16 ? previous : 0;
      previous = fill;
      if (repeat > total - i) {
        result = kDecodeDataError;
        break;
      }
      while (repeat--) lengths[i++] = static_cast<uint8_t>(fill);
    }
  }
  ReleaseTable(table);
  if (result != 0) return result;

  TableEntry* literals;
  uint32_t literalWidth = 9;
  result = BuildTable(lengths, literalCount, 257, kLengthBase, kLengthExtra, &literals, &literalWidth);
  if (result != 0) {
    ReleaseTable(literals);
    return result;
  }
  TableEntry* distances;
  uint32_t distanceWidth = 6;
  result = BuildTable(lengths + literalCount, distanceCount, 0, kDistanceBase, kDistanceExtra, &distances,
                      &distanceWidth);
  // A block without an end-of-block code could never end.
  if (result == 0 && lengths[256] == 0) result = kDecodeDataError;
  if (result == 0) {
    result = DecodeCodes(d, literals, literalWidth, distances, distanceWidth) == kDecodeOk ? kDecodeOk
                                                                                           : kDecodeDataError;
  }
  ReleaseTable(distances);
  ReleaseTable(literals);
  return result;
}

// Nothing of the decoding half carries over from one stream to the next.
void ResetDecodingHalf(Decoder* d) {
  d->fixedLiteralTable = nullptr;
  d->fixedDistanceTable = nullptr;
  d->fixedLiteralWidth = 0;
  d->fixedDistanceWidth = 0;
  d->windowPosition = 0;
  d->windowFilled = false;
  d->bitBuffer = 0;
  d->bitCount = 0;
  d->window = nullptr;
}

}  // namespace

void InitDecoder(Decoder* decoder) {
  InitSource(&decoder->source);
  decoder->sink = nullptr;
  ResetDecodingHalf(decoder);
}

int DecodeStream(Decoder* d) {
  ResetDecodingHalf(d);
  // 8 spare bytes behind the window let a match copy run over its end in whole
  // words. Not cleared: CopyMatch takes never-written bytes as zeros.
  if (!AllocBlock(kWindowSize + 8, &d->window)) return kDecodeNoMemory;

  int result;
  bool last;
  do {
    uint32_t header;
    if (!TakeBits(d, 4, &header)) {
      result = kDecodeDataError;
      break;
    }
    last = (header & 8) != 0;
    switch (header & 7) {
      case 5: result = FixedBlock(d); break;
      case 6: result = DynamicBlock(d); break;
      case 7: result = StoredBlock(d); break;
      default: result = kDecodeBadBlock; break;
    }
  } while (result == kDecodeOk && !last);

  // A cancelled volume change abandons the stream wherever it happened, even
  // when the bits held were enough to finish it.
  if (d->source.cancelled) result = kDecodeCancelled;
  if (result == kDecodeOk) d->sink->Write(d->window, static_cast<uint16_t>(d->windowPosition));
  ReleaseTable(d->fixedLiteralTable);
  ReleaseTable(d->fixedDistanceTable);
  FreeBlock(d->window);
  return result;
}
