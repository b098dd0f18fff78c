// Block decoder. The stream's length on disk is defined by the bytes that a
// byte-at-a-time reader fetches: "need n bits" takes bytes only while fewer
// than n bits are held, and a code lookup asks for the full width of each
// level of the format's lookup tables (9 bits first for literal/length codes,
// 6 for distances, 7 for code lengths, with the level rules of BuildTable).
// Streams follow one another with nothing between them, so the decoder must
// fetch exactly those bytes and no others.
//
// The decoder's own tables are wider than the format's (fewer codes need a
// second lookup); each entry carries how far the format's lookup of that code
// reaches, counted from the code's first bit. The main loop reads the source's
// buffer eight bytes at a time into a 64-bit bit buffer while at least eight
// bytes are buffered, keeps count of how far the byte-at-a-time reader would
// have fetched and, on leaving the loop, hands the bytes beyond that point back
// to the source. Near the end of the buffer every step runs the byte-at-a-time
// way, so refills and volume changes happen exactly where the slow reader makes
// them.
//
// Output goes straight into the caller's memory when it has one (the memory
// holds the history), or into a ring of two 32 KiB window halves, each handed
// to the sink as it fills. Copying a match in 8-byte steps may write up to 15
// bytes past it; the fast loop leaves room for that, and in the ring those
// bytes are 64 KiB old.
#include "package/decoder.h"

#include <string.h>

#include "common/memory.h"

namespace {

// A table entry: the bits its symbol takes (bits 0-5, so that shifting by the
// entry's low bits consumes it): the code, and for a length or distance its
// extra bits too; how many bits the format's lookup of the code asks for
// (bits 8-11); its operation (bits 12-16); and a value (bits 17-31): the
// literal or symbol, the base of a length or distance, or for a link the
// sub-table's position from the first level.
typedef uint32_t Entry;

enum : uint32_t {
  // 0 to 13: a length or distance base followed by this many extra bits
  kOpInvalid = 14,  // no symbol has this pattern, or the symbol has no meaning
  kOpEndOfBlock = 15,
  kOpLiteral = 16,  // also every code-length symbol
  kOpLink = 16,     // above this: a sub-table indexed by the next (op - 16) bits
};

inline uint32_t EntryBits(Entry e) { return e & 63; }
inline uint32_t EntryReach(Entry e) { return (e >> 8) & 15; }
inline uint32_t EntryOp(Entry e) { return (e >> 12) & 31; }
inline uint32_t EntryValue(Entry e) { return e >> 17; }
inline bool IsLiteral(Entry e) { return (e & (31u << 12)) == kOpLiteral << 12; }
inline uint32_t CodeBits(Entry e) { return EntryOp(e) < kOpInvalid ? EntryBits(e) - EntryOp(e) : EntryBits(e); }
inline Entry MakeEntry(uint32_t op, uint32_t bits, uint32_t reach, uint32_t value) {
  return bits | reach << 8 | op << 12 | value << 17;
}

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
constexpr uint32_t kRingSize = 2 * kWindowSize;
// First-level widths of the decoder's own tables.
constexpr uint32_t kLiteralLookupBits = 11;
constexpr uint32_t kDistanceLookupBits = 8;
// One symbol with its extras takes at most 15 + 5 + 15 + 13 bits; a refill
// leaves at least 56 in the bit buffer.
constexpr uint32_t kFastInput = 8;
// The fast loop writes up to three literals, or a match copied in 8-byte steps.
constexpr uint32_t kFastOutput = 4;
constexpr uint32_t kCopyOverrun = 16;
// DecodeFast's own result when it stops because the buffer runs low.
constexpr int kLeftFastPath = -1;
// Entries the tables of a dynamic block start with; they grow when a code needs more.
constexpr uint32_t kFirstTableRoom = 2048 + 256 + 256;
// The fixed codes take one level each, of 9 and 5 bits: exactly this many entries.
constexpr uint32_t kFixedTableRoom = 512 + 32;

inline uint32_t LowBits(uint64_t bits, uint32_t n) { return static_cast<uint32_t>(bits) & ((1u << n) - 1); }

// ---- lookup tables -----------------------------------------------------------

// A code's tables as the decoder uses them.
struct CodeTable {
  const Entry* first;    // the first level; sub-tables follow it
  uint32_t lookupBits;   // its width; 0 when the code has no lengths at all
  uint32_t formatBits;   // the width of the format's first level: what a lookup asks for first
};

// Where BuildTable puts a code's tables: the decoder's block, which grows, or
// the fixed codes' storage, which does not.
struct TableSpace {
  Entry* entries;
  uint32_t used;
  uint32_t room;
  Decoder* owner;  // holds the block; null for fixed storage
};

bool GrowTables(TableSpace* space, uint32_t needed) {
  Decoder* d = space->owner;
  if (!d) return false;
  uint32_t room = space->room * 2;
  if (room < kFirstTableRoom) room = kFirstTableRoom;
  if (room < needed) room = needed;
  Entry* grown;
  if (!AllocBlock(room * static_cast<uint32_t>(sizeof(Entry)), &grown)) return false;
  if (space->used) memcpy(grown, space->entries, space->used * sizeof(Entry));
  FreeBlock(d->tables);
  d->tables = space->entries = grown;
  d->tableRoom = space->room = room;
  return true;
}

// Takes `size` entries from the space; their position, or -1 without memory.
int32_t TakeEntries(TableSpace* space, uint32_t size) {
  uint32_t at = space->used;
  if (at + size > space->room && !GrowTables(space, at + size)) return -1;
  space->used = at + size;
  return static_cast<int32_t>(at);
}

// What a code's table is made of: symbols below `simple` are literals (or
// code-length symbols) and end of block (256); the others take their extra-bit
// count and base from the tables given. formatBits is the width the format's
// first level asks for, lookupBits the decoder's own.
struct CodeKind {
  uint16_t simple;
  uint8_t formatBits;
  uint8_t lookupBits;
  bool keepIncomplete;
  const uint16_t* base;
  const uint8_t* extra;
};

const CodeKind kCodeLengthCode = {19, 7, 7, false, nullptr, nullptr};
const CodeKind kLiteralCode = {257, 9, kLiteralLookupBits, false, kLengthBase, kLengthExtra};
const CodeKind kDistanceCode = {0, 6, kDistanceLookupBits, false, kDistanceBase, kDistanceExtra};
const CodeKind kFixedLiteralCode = {257, 7, 9, false, kLengthBase, kLengthExtra};
// Two of the 32 patterns are unused; that code alone is accepted incomplete.
const CodeKind kFixedDistanceCode = {0, 5, 5, true, kDistanceBase, kDistanceExtra};

// Doubles a table level of 2^bits entries until it has 2^upTo: the entries of
// codes up to `bits` long repeat for every further bit.
void DoubleLevel(Entry* level, uint32_t& bits, uint32_t upTo) {
  for (; bits < upTo; ++bits) memcpy(level + (1u << bits), level, sizeof(Entry) << bits);
}

// The code's first level is lookupBits wide (at most the longest length);
// longer codes take one sub-table per prefix, as wide as the rest of the
// longest code. Each entry gets the reach of the format's lookup, which walks
// a table layout of its own: a first level of formatBits (held between the
// shortest and the longest length); a deeper level opens where a code outgrows
// the current one, wide enough for its code length and widened while the codes
// of the following lengths leave patterns of it free, up to formatBits and to
// the longest code; and the level holding the end-of-block code ends at that
// code, so its lookup never asks for bits behind it.
//
// Results: 0 built (or nothing, lookupBits 0, when every length is 0); 1
// incomplete, built only when keepIncomplete asks for it (the fixed distance
// code) or when the longest code is 1 bit; 2 over-subscribed; 3 out of memory.
int BuildTable(const uint8_t* lengths, uint32_t n, const CodeKind& kind, TableSpace* space, CodeTable* table) {
  table->lookupBits = 0;
  uint32_t count[kMaxCodeBits + 2] = {};
  for (uint32_t i = 0; i < n; ++i) ++count[lengths[i]];
  if (count[0] == n) return 0;
  uint32_t formatBits = kind.formatBits;
  uint32_t lookupBits = kind.lookupBits;
  uint32_t shortest = 1, longest = kMaxCodeBits;
  while (count[shortest] == 0) ++shortest;
  while (count[longest] == 0) --longest;
  if (formatBits < shortest) formatBits = shortest;
  if (formatBits > longest) formatBits = longest;
  if (lookupBits > longest) lookupBits = longest;

  int32_t unused = 1 << shortest;
  for (uint32_t len = shortest; len < longest; ++len) {
    unused -= count[len];
    if (unused < 0) return 2;
    unused <<= 1;
  }
  unused -= count[longest];
  if (unused < 0) return 2;
  int result = unused != 0 && longest != 1 ? 1 : 0;
  if (result && !kind.keepIncomplete) return result;
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
  uint32_t endOfBlockBits = n > 256 ? lengths[256] : 16;

  // Every pattern of every table is written below (the unused ones as codes
  // without a symbol), so the tables need no clearing. Codes come shortest
  // first: once the first level holds every code up to some length, its
  // entries repeat for each further bit, so it is doubled by copying.
  int32_t firstAt = TakeEntries(space, 1u << lookupBits);
  if (firstAt < 0) return 3;
  uint32_t doneBits = shortest < lookupBits ? shortest : lookupBits;
  uint32_t subBits = longest - lookupBits;
  uint32_t subAt = 0;
  uint32_t subPrefix = 0xFFFFFFFFu;

  // The format's table levels on the path to the current code.
  uint32_t levelWidth[kMaxCodeBits + 1];
  uint32_t levelPrefix[kMaxCodeBits + 1];
  int depth = -1;
  uint32_t start = 0;  // bits decoded before the deepest level
  uint32_t code = 0;   // bit-reversed canonical code
  uint32_t next = 0;   // index into sorted
  for (uint32_t len = shortest; len <= longest; ++len) {
    for (uint32_t left = count[len]; left > 0; --left) {
      while (depth < 0 || len > start + levelWidth[depth]) {
        if (depth >= 0) start += levelWidth[depth];
        ++depth;
        uint32_t limit = longest - start < formatBits ? longest - start : formatBits;
        uint32_t j = len - start;
        if (j < limit && (1u << j) > left) {
          uint32_t free = (1u << j) - left;
          uint32_t l = len;
          while (++j < limit) {
            free <<= 1;
            if (free <= count[++l]) break;
            free -= count[l];
          }
        }
        if (start + j > endOfBlockBits && start < endOfBlockBits) j = endOfBlockBits - start;
        levelWidth[depth] = j;
        levelPrefix[depth] = code & ((1u << start) - 1);
      }
      uint32_t reach = start + levelWidth[depth];

      Entry entry;
      if (next >= symbols) {
        entry = MakeEntry(kOpInvalid, len, reach, 0);
      } else {
        uint32_t sym = sorted[next++];
        uint32_t simple = kind.simple;
        if (sym < simple) {
          entry = MakeEntry(sym == 256 ? kOpEndOfBlock : kOpLiteral, len, reach, sym);
        } else {
          uint32_t extra = kind.extra[sym - simple];
          entry = extra == kOpInvalid ? MakeEntry(kOpInvalid, len, reach, 0)
                                      : MakeEntry(extra, len + extra, reach, kind.base[sym - simple]);
        }
      }
      DoubleLevel(space->entries + firstAt, doneBits, len < lookupBits ? len : lookupBits);
      if (len <= lookupBits) {
        space->entries[firstAt + code] = entry;
      } else {
        uint32_t prefix = code & ((1u << lookupBits) - 1);
        if (prefix != subPrefix) {
          int32_t at = TakeEntries(space, 1u << subBits);
          // Links hold 15-bit positions; no code of at most 288 symbols comes near.
          if (at < 0 || static_cast<uint32_t>(at - firstAt) > 0x7FFF) return 3;
          subAt = static_cast<uint32_t>(at);
          subPrefix = prefix;
          space->entries[firstAt + prefix] = MakeEntry(kOpLink + subBits, lookupBits, 0, subAt - firstAt);
        }
        Entry* t = space->entries + subAt;
        for (uint32_t i = code >> lookupBits; i < (1u << subBits); i += 1u << (len - lookupBits)) t[i] = entry;
      }

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
  DoubleLevel(space->entries + firstAt, doneBits, lookupBits);
  // Positions only now: the space may have moved while it grew.
  table->first = space->entries + firstAt;
  table->lookupBits = lookupBits;
  table->formatBits = levelWidth[0];
  return result;
}

// The entry of the code that starts at the low bits.
inline Entry Lookup(const CodeTable& table, uint64_t bits) {
  Entry e = table.first[LowBits(bits, table.lookupBits)];
  if (EntryOp(e) > kOpLink)
    e = table.first[EntryValue(e) + LowBits(bits >> table.lookupBits, EntryOp(e) - kOpLink)];
  return e;
}

// The fixed codes never change: their tables are built on first use and kept
// for the rest of the run (in a block: the stub has no zero-filled data section).
struct FixedTables {
  CodeTable literals;
  CodeTable distances;
};

// Null without memory for them; then no fixed block decodes.
const FixedTables* BuildFixedTables() {
  static FixedTables fixed;
  Entry* entries;
  if (!AllocBlock(kFixedTableRoom * static_cast<uint32_t>(sizeof(Entry)), &entries)) return nullptr;
  uint8_t lengths[288];
  for (uint32_t sym = 0; sym < 288; ++sym) lengths[sym] = sym < 144 ? 8 : sym < 256 ? 9 : sym < 280 ? 7 : 8;
  TableSpace space = {entries, 0, kFixedTableRoom, nullptr};
  BuildTable(lengths, 288, kFixedLiteralCode, &space, &fixed.literals);
  memset(lengths, 5, 30);
  BuildTable(lengths, 30, kFixedDistanceCode, &space, &fixed.distances);
  return &fixed;
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

// Looks up one code as the format's lookups fetch: the first level's width,
// then as far as the code's own lookup reaches. Missing bits read as zero
// until fetched, so the code is looked up again once more bits came. False for
// an invalid code or one cut off by the end of input.
bool DecodeCode(Decoder* d, const CodeTable& table, Entry* out) {
  Need(d, table.formatBits);
  Entry e;
  for (;;) {
    e = Lookup(table, d->bitBuffer);
    uint32_t held = d->bitCount;
    if (EntryReach(e) <= held) break;
    Need(d, EntryReach(e));
    if (d->bitCount == held) break;
  }
  if (EntryOp(e) == kOpInvalid || !Consume(d, CodeBits(e))) return false;
  *out = e;
  return true;
}

// Reads an n-bit field; false when its bits were never fetched.
bool TakeBits(Decoder* d, uint32_t n, uint32_t* value) {
  Need(d, n);
  *value = LowBits(d->bitBuffer, n);
  return Consume(d, n);
}

// ---- output ----------------------------------------------------------------

// Hands the ring's half that just filled to the sink; the history stays. After
// a cancelled volume change nothing more is written.
void FlushHalf(Decoder* d) {
  if (!d->source.cancelled) d->sink->Write(d->outEnd - kWindowSize, kWindowSize);
  if (d->outEnd == d->window + kRingSize) {
    d->out = d->window;
    d->ringWrapped = true;
  }
  d->outEnd = d->out + kWindowSize;
}

// Stores one byte; false when the memory output is full. A ring half is
// handed on as soon as it fills, as the window is when it fills.
inline bool PutByte(Decoder* d, uint8_t byte) {
  if (d->out == d->outEnd) return false;
  *d->out++ = byte;
  if (d->out == d->outEnd && d->window) FlushHalf(d);
  return true;
}

// The byte distance back from the next output byte. Before the stream's first
// byte the history reads as zeros; the ring, once wrapped, goes on at its end.
inline uint8_t HistoryByte(const Decoder* d, uint32_t distance) {
  if (distance <= static_cast<uint32_t>(d->out - d->outStart)) return d->out[-static_cast<int32_t>(distance)];
  return d->ringWrapped ? d->out[kRingSize - distance] : 0;
}

// A match one byte at a time; false when the memory output runs out.
bool CopyMatch(Decoder* d, uint32_t distance, uint32_t length) {
  while (length--)
    if (!PutByte(d, HistoryByte(d, distance))) return false;
  return true;
}

inline void Copy8(uint8_t* to, const uint8_t* from) {
  uint64_t word;
  memcpy(&word, from, 8);
  memcpy(to, &word, 8);
}

// A match whose source lies in the output before it, with room for the copy's
// overrun. Copying forward is what makes a short distance repeat recent bytes.
inline void CopyWithin(uint8_t* to, uint32_t distance, uint32_t length) {
  const uint8_t* from = to - distance;
  uint8_t* end = to + length;
  if (distance >= 16) {
    do {
      Copy8(to, from);
      Copy8(to + 8, from + 8);
      to += 16;
      from += 16;
    } while (to < end);
  } else if (distance >= 8) {
    do {
      Copy8(to, from);
      to += 8;
      from += 8;
    } while (to < end);
  } else if (distance == 1) {
    uint64_t word = 0x0101010101010101ull * *from;
    do {
      memcpy(to, &word, 8);
      to += 8;
    } while (to < end);
  } else {
    // Each step makes `distance` more bytes right; the rest it writes are redone.
    do {
      Copy8(to, from);
      to += distance;
      from += distance;
    } while (to < end);
  }
}

// ---- compressed data -------------------------------------------------------

// Decodes symbols while at least kFastInput bytes are buffered and the output
// has room. Returns a block result, or kLeftFastPath with the bit buffer and
// the source put back into the byte-at-a-time reader's state.
int DecodeFast(Decoder* d, const CodeTable& literalCode, const CodeTable& distanceCode) {
  FileSource* source = &d->source;
  uint64_t bits = d->bitBuffer;
  uint32_t count = d->bitCount;
  const uint8_t* in = source->readPosition;
  const uint8_t* const inLast = in + source->unread - kFastInput;
  // Bits held beyond the farthest bit the slow reader would have asked for.
  // Below 8 on entry, where the held bits are exactly the slow reader's.
  uint32_t ahead = 7;
  int result = kLeftFastPath;
  // Kept in locals: stores into the output may alias anything reached through d.
  uint8_t* out = d->out;
  uint8_t* outEnd = d->outEnd;
  const uint8_t* const outStart = d->outStart;
  const Entry* const literals = literalCode.first;
  const Entry* const distances = distanceCode.first;
  const uint32_t literalMask = (1u << literalCode.lookupBits) - 1;
  const uint32_t literalBits = literalCode.lookupBits;
  const uint32_t distanceMask = (1u << distanceCode.lookupBits) - 1;
  const uint32_t distanceBits = distanceCode.lookupBits;

  // The entry of the next symbol, when a run of literals looked it up already
  // (with at least 23 bits held, more than any first-level lookup asks for).
  Entry e = 0;
  bool lookedUp = false;
  while (in <= inLast && static_cast<uint32_t>(outEnd - out) >= kFastOutput) {
    uint64_t word;
    memcpy(&word, in, 8);  // both targets are little-endian
    bits |= word << count;
    uint32_t taken = (63 - count) >> 3;
    in += taken;
    ahead += taken * 8;
    count |= 56;  // count + 8 * taken

    if (!lookedUp) e = literals[bits & literalMask];
    lookedUp = false;
    if (IsLiteral(e)) {
      // Literals come in runs: up to three from the bits held (a literal
      // found in the first level takes at most its width). The entry that
      // ends the run is passed on.
      for (int run = 0; run < 3 && IsLiteral(e); ++run) {
        if (count - EntryReach(e) < ahead) ahead = count - EntryReach(e);
        bits >>= EntryBits(e);
        count -= EntryBits(e);
        *out++ = static_cast<uint8_t>(EntryValue(e));
        e = literals[bits & literalMask];
      }
      lookedUp = true;
      continue;
    }
    if (EntryOp(e) > kOpLink)
      e = literals[EntryValue(e) + LowBits(bits >> literalBits, EntryOp(e) - kOpLink)];
    if (count - EntryReach(e) < ahead) ahead = count - EntryReach(e);
    if (EntryOp(e) == kOpInvalid) {
      result = kDecodeDataError;
      break;
    }
    if (EntryOp(e) >= kOpEndOfBlock) {
      bits >>= EntryBits(e);
      count -= EntryBits(e);
      if (EntryOp(e) == kOpEndOfBlock) {
        result = kDecodeOk;
        break;
      }
      *out++ = static_cast<uint8_t>(EntryValue(e));
      continue;
    }
    if (!distances) {
      result = kDecodeDataError;
      break;
    }
    // A length: its code and extra bits go in one step.
    uint64_t saved = bits;
    bits >>= EntryBits(e);
    count -= EntryBits(e);
    uint32_t length = EntryValue(e) + LowBits(saved >> (EntryBits(e) - EntryOp(e)), EntryOp(e));

    e = distances[bits & distanceMask];
    if (EntryOp(e) > kOpLink)
      e = distances[EntryValue(e) + LowBits(bits >> distanceBits, EntryOp(e) - kOpLink)];
    if (count - EntryReach(e) < ahead) ahead = count - EntryReach(e);
    if (EntryOp(e) == kOpInvalid) {
      result = kDecodeDataError;
      break;
    }
    saved = bits;
    bits >>= EntryBits(e);
    count -= EntryBits(e);
    uint32_t distance = EntryValue(e) + LowBits(saved >> (EntryBits(e) - EntryOp(e)), EntryOp(e));
    if (distance <= static_cast<uint32_t>(out - outStart) &&
        static_cast<uint32_t>(outEnd - out) >= length + kCopyOverrun) {
      CopyWithin(out, distance, length);
      out += length;
    } else {
      // Reaching before the stream's start or round the ring, or to the end
      // of the output: byte by byte, handing on a ring half that fills.
      d->out = out;
      bool copied = CopyMatch(d, distance, length);
      out = d->out;
      outEnd = d->outEnd;
      if (!copied) {
        result = kDecodeOverflow;
        break;
      }
    }
  }
  d->out = out;

  // Extra bits are fetched where they are consumed, so the slow reader holds
  // at least the consumed bits: this covers the extra bits of the last symbol.
  if (ahead > count) ahead = count;
  uint32_t back = ahead >> 3;
  source->unread = static_cast<uint32_t>(inLast + kFastInput - in) + back;
  source->readPosition = const_cast<uint8_t*>(in) - back;
  count -= back * 8;
  d->bitCount = count;
  d->bitBuffer = bits & ((static_cast<uint64_t>(1) << count) - 1);
  return result;
}

int DecodeCodes(Decoder* d, const CodeTable& literals, const CodeTable& distances) {
  for (;;) {
    if (d->source.unread >= kFastInput && static_cast<uint32_t>(d->outEnd - d->out) >= kFastOutput) {
      int result = DecodeFast(d, literals, distances);
      if (result != kLeftFastPath) return result;
    }
    if (d->source.cancelled) return kDecodeCancelled;
    Entry e;
    if (!DecodeCode(d, literals, &e)) return kDecodeDataError;
    if (IsLiteral(e)) {
      if (!PutByte(d, static_cast<uint8_t>(EntryValue(e)))) return kDecodeOverflow;
      continue;
    }
    if (EntryOp(e) == kOpEndOfBlock) return kDecodeOk;
    if (!distances.first) return kDecodeDataError;
    uint32_t extra;
    if (!TakeBits(d, EntryOp(e), &extra)) return kDecodeDataError;
    uint32_t length = EntryValue(e) + extra;
    if (!DecodeCode(d, distances, &e)) return kDecodeDataError;
    if (!TakeBits(d, EntryOp(e), &extra)) return kDecodeDataError;
    if (!CopyMatch(d, EntryValue(e) + extra, length)) return kDecodeOverflow;
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
      uint32_t room = static_cast<uint32_t>(d->outEnd - d->out);
      if (room == 0) return kDecodeOverflow;
      if (n > room) n = room;
      memcpy(d->out, source->readPosition, n);
      source->readPosition += n;
      source->unread -= n;
      length -= n;
      d->out += n;
      if (d->out == d->outEnd && d->window) FlushHalf(d);
      continue;
    }
    uint32_t byte;
    if (!TakeBits(d, 8, &byte)) return kDecodeDataError;
    if (!PutByte(d, static_cast<uint8_t>(byte))) return kDecodeOverflow;
    --length;
  }
  return kDecodeOk;
}

int FixedBlock(Decoder* d) {
  // Built once, also when threads of a host tool decode at the same time.
  static const FixedTables* const fixed = BuildFixedTables();
  if (!fixed) return kDecodeNoMemory;
  return DecodeCodes(d, fixed->literals, fixed->distances);
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
  // Each block's tables start over at the front of the decoder's block.
  TableSpace space = {d->tables, 0, d->tableRoom, d};
  CodeTable codeLengths;
  int result = BuildTable(lengths, 19, kCodeLengthCode, &space, &codeLengths);
  if (result != 0) return result;
  if (!codeLengths.lookupBits) return kDecodeDataError;

  uint32_t total = literalCount + distanceCount;
  uint32_t previous = 0;
  for (uint32_t i = 0; i < total;) {
    Entry e;
    if (d->source.cancelled) return kDecodeCancelled;
    if (!DecodeCode(d, codeLengths, &e)) return kDecodeDataError;
    uint32_t symbol = EntryValue(e);
    if (symbol < 16) {
      previous = symbol;
      lengths[i++] = static_cast<uint8_t>(previous);
      continue;
    }
    uint32_t repeat;
    if (!TakeBits(d, symbol == 16 ? 2 : symbol == 17 ? 3 : 7, &repeat)) return kDecodeDataError;
    repeat += symbol == 18 ? 11 : 3;
    if (symbol != 16) previous = 0;
    if (repeat > total - i) return kDecodeDataError;
    while (repeat--) lengths[i++] = static_cast<uint8_t>(previous);
  }

  space.used = 0;
  CodeTable literals, distances;
  result = BuildTable(lengths, literalCount, kLiteralCode, &space, &literals);
  if (result != 0) return result;
  uint32_t literalsAt = static_cast<uint32_t>(literals.first - space.entries);
  result = BuildTable(lengths + literalCount, distanceCount, kDistanceCode, &space, &distances);
  if (result != 0) return result;
  // A block without an end-of-block code could never end.
  if (lengths[256] == 0) return kDecodeDataError;
  // Building the distance code may have moved the block.
  literals.first = space.entries + literalsAt;
  if (!distances.lookupBits) distances.first = nullptr;
  return DecodeCodes(d, literals, distances);
}

}  // namespace

void InitDecoder(Decoder* decoder) {
  InitSource(&decoder->source);
  decoder->sink = nullptr;
  decoder->memoryOutput = nullptr;
  decoder->memoryRoom = 0;
  decoder->window = nullptr;
  decoder->tables = nullptr;
  decoder->tableRoom = 0;
}

int DecodeStream(Decoder* d) {
  d->bitBuffer = 0;
  d->bitCount = 0;
  d->ringWrapped = false;
  d->window = nullptr;
  d->tables = nullptr;
  d->tableRoom = 0;
  if (d->memoryOutput) {
    d->out = d->memoryOutput;
    d->outEnd = d->out + d->memoryRoom;
  } else {
    // Not cleared: history before the stream's first byte reads as zeros by position.
    if (!AllocBlock(kRingSize, &d->window)) return kDecodeNoMemory;
    d->out = d->window;
    d->outEnd = d->out + kWindowSize;
  }
  d->outStart = d->out;

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
  if (result == kDecodeOk && d->window)
    d->sink->Write(d->outEnd - kWindowSize, static_cast<uint16_t>(d->out - (d->outEnd - kWindowSize)));
  FreeBlock(d->tables);
  FreeBlock(d->window);
  return result;
}
