#include "deflate_reader.h"

#include <string.h>

namespace {

struct BitReader {
  const uint8_t* data;
  size_t size;
  size_t pos;       // next byte to load
  uint64_t bits;    // loaded, not yet consumed; next bit in bit 0
  int count;
  size_t overrun;   // zero bytes supplied past the end

  void Fill() {
    while (count <= 56) {
      uint64_t byte = 0;
      if (pos < size) byte = data[pos];
      else ++overrun;
      ++pos;
      bits |= byte << count;
      count += 8;
    }
  }
  uint32_t Peek(int n) {
    if (count < n) Fill();
    return static_cast<uint32_t>(bits & ((uint64_t(1) << n) - 1));
  }
  void Skip(int n) {
    bits >>= n;
    count -= n;
  }
  uint32_t Take(int n) {
    uint32_t v = Peek(n);
    Skip(n);
    return v;
  }
  // The whole stream was inside the data only if no padding bytes were consumed.
  bool Overran() const { return pos - static_cast<size_t>(count / 8) > size; }
};

// A direct table over the longest code's bits: entry = symbol << 4 | code
// length; 0 marks a hole. Small blocks have short codes and small tables.
struct Decoder {
  std::vector<uint32_t> table;
  int width = 0;
};

uint32_t Reverse(uint32_t code, int length) {
  uint32_t r = 0;
  for (int i = 0; i < length; ++i, code >>= 1) r = (r << 1) | (code & 1);
  return r;
}

bool BuildDecoder(const uint8_t* lengths, int n, Decoder* d) {
  int count[16] = {0};
  for (int i = 0; i < n; ++i) count[lengths[i]]++;
  count[0] = 0;
  int left = 1;
  for (int len = 1; len <= 15; ++len) {
    left = (left << 1) - count[len];
    if (left < 0) return false;
  }
  uint32_t next[16];
  uint32_t code = 0;
  for (int len = 1; len <= 15; ++len) {
    code = (code + count[len - 1]) << 1;
    next[len] = code;
  }
  int longest = 0;
  for (int len = 1; len <= 15; ++len)
    if (count[len]) longest = len;
  d->width = longest;
  d->table.assign(size_t(1) << longest, 0);
  for (int sym = 0; sym < n; ++sym) {
    int len = lengths[sym];
    if (len == 0) continue;
    uint32_t reversed = Reverse(next[len]++, len);
    for (uint32_t fill = reversed; fill < (1u << longest); fill += 1u << len)
      d->table[fill] = (static_cast<uint32_t>(sym) << 4) | static_cast<uint32_t>(len);
  }
  return true;
}

int DecodeSymbol(BitReader* in, const Decoder& d) {
  if (d.width == 0) return -1;
  uint32_t entry = d.table[in->Peek(d.width)];
  if (entry == 0) return -1;
  in->Skip(static_cast<int>(entry & 15));
  return static_cast<int>(entry >> 4);
}

const uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

bool ReadDynamicCodes(BitReader* in, Decoder* litLen, Decoder* dist, uint8_t* kept) {
  int hlit = static_cast<int>(in->Take(5)) + 257;
  int hdist = static_cast<int>(in->Take(5)) + 1;
  int hclen = static_cast<int>(in->Take(4)) + 4;
  if (hlit > 286 || hdist > 30) return false;
  uint8_t clLengths[19] = {0};
  for (int i = 0; i < hclen; ++i) clLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(in->Take(3));
  Decoder cl;
  if (!BuildDecoder(clLengths, 19, &cl)) return false;
  uint8_t lengths[286 + 30] = {0};
  int total = hlit + hdist;
  for (int i = 0; i < total;) {
    int sym = DecodeSymbol(in, cl);
    if (sym < 0) return false;
    if (sym < 16) {
      lengths[i++] = static_cast<uint8_t>(sym);
      continue;
    }
    int repeat;
    uint8_t value = 0;
    if (sym == 16) {
      if (i == 0) return false;
      value = lengths[i - 1];
      repeat = 3 + static_cast<int>(in->Take(2));
    } else if (sym == 17) {
      repeat = 3 + static_cast<int>(in->Take(3));
    } else {
      repeat = 11 + static_cast<int>(in->Take(7));
    }
    if (i + repeat > total) return false;
    memset(lengths + i, value, static_cast<size_t>(repeat));
    i += repeat;
  }
  if (lengths[256] == 0) return false;
  memset(kept, 0, kLitLenSymbols + kDistSymbols);
  memcpy(kept, lengths, static_cast<size_t>(hlit));
  memcpy(kept + kLitLenSymbols, lengths + hlit, static_cast<size_t>(hdist));
  return BuildDecoder(lengths, hlit, litLen) && BuildDecoder(lengths + hlit, hdist, dist);
}

void BuildFixedCodes(Decoder* litLen, Decoder* dist) {
  uint8_t lengths[288];
  for (int i = 0; i < 288; ++i) lengths[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
  BuildDecoder(lengths, 288, litLen);
  uint8_t distLengths[30];
  memset(distLengths, 5, sizeof distLengths);
  BuildDecoder(distLengths, 30, dist);
}

bool ReadCompressedData(BitReader* in, const Decoder& litLen, const Decoder& dist, size_t* produced,
                        std::vector<Token>* tokens) {
  for (;;) {
    int sym = DecodeSymbol(in, litLen);
    if (sym < 0 || sym > 285) return false;
    if (sym < 256) {
      tokens->push_back(Token{static_cast<uint16_t>(sym), 0});
      ++*produced;
      continue;
    }
    if (sym == kEndOfBlock) return true;
    int length = LengthBase(sym) + static_cast<int>(in->Take(LengthExtraBits(sym)));
    int dsym = dist.table.empty() ? -1 : DecodeSymbol(in, dist);
    if (dsym < 0 || dsym >= kDistSymbols) return false;
    int distance = DistanceBase(dsym) + static_cast<int>(in->Take(DistanceExtraBits(dsym)));
    if (static_cast<size_t>(distance) > *produced) return false;
    tokens->push_back(Token{static_cast<uint16_t>(length), static_cast<uint16_t>(distance)});
    *produced += static_cast<size_t>(length);
  }
}

}  // namespace

bool ReadDeflateParse(const uint8_t* data, size_t size, size_t expectedSize, ParsedStream* out) {
  out->tokens.clear();
  out->blockEnds.clear();
  out->blockLengths.clear();
  uint8_t kept[kLitLenSymbols + kDistSymbols];
  BitReader in{data, size, 0, 0, 0, 0};
  size_t produced = 0;
  Decoder fixedLitLen, fixedDist;
  bool last = false;
  while (!last) {
    last = in.Take(1) != 0;
    int type = static_cast<int>(in.Take(2));
    if (type != 2) memset(kept, 0, sizeof kept);
    if (type == 0) {
      in.Skip(in.count % 8);
      uint32_t len = in.Take(16);
      uint32_t nlen = in.Take(16);
      if ((len ^ 0xFFFF) != nlen) return false;
      for (uint32_t i = 0; i < len; ++i) out->tokens.push_back(Token{static_cast<uint16_t>(in.Take(8)), 0});
      produced += len;
    } else if (type == 1) {
      if (fixedLitLen.table.empty()) BuildFixedCodes(&fixedLitLen, &fixedDist);
      if (!ReadCompressedData(&in, fixedLitLen, fixedDist, &produced, &out->tokens)) return false;
    } else if (type == 2) {
      Decoder litLen, dist;
      if (!ReadDynamicCodes(&in, &litLen, &dist, kept)) return false;
      if (!ReadCompressedData(&in, litLen, dist, &produced, &out->tokens)) return false;
    } else {
      return false;
    }
    if (in.Overran() || produced > expectedSize) return false;
    if (out->blockEnds.empty() ? !out->tokens.empty() : out->tokens.size() > out->blockEnds.back()) {
      out->blockEnds.push_back(out->tokens.size());
      out->blockLengths.insert(out->blockLengths.end(), kept, kept + sizeof kept);
    }
  }
  if (out->blockEnds.empty()) {
    out->blockEnds.push_back(0);
    out->blockLengths.assign(kLitLenSymbols + kDistSymbols, 0);
  }
  return produced == expectedSize;
}
