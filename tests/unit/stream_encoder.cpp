#include "stream_encoder.h"

#include <algorithm>
#include <queue>

#include "bit_writer.h"
#include "stream_tables.h"

namespace {

using namespace stream_tables;

struct Token {
  int length;  // 0 for a literal
  int value;   // the literal, or the distance
};

int LengthSymbol(int length) {
  int s = 28;
  while (kLengthBase[s] > length) --s;
  return s;
}
int DistanceSymbol(int distance) {
  int s = 29;
  while (kDistanceBase[s] > distance) --s;
  return s;
}

std::vector<Token> Tokenize(std::mt19937& rng, const std::vector<uint8_t>& data, bool zeroDistances) {
  std::vector<Token> tokens;
  std::vector<int> head(1 << 15, -1);
  auto hash = [&](size_t i) { return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & 0x7FFF; };
  size_t i = 0;
  while (i < data.size()) {
    int bestLen = 0, bestDist = 0;
    if (i + 3 <= data.size()) {
      int cand = head[hash(i)];
      if (cand >= 0 && i - cand <= 32768) {
        int len = 0;
        while (len < 258 && i + len < data.size() && data[cand + len] == data[i + len]) ++len;
        if (len >= 3) {
          bestLen = len;
          bestDist = static_cast<int>(i - cand);
        }
      }
      // Zeros at the start may come from before the first byte.
      if (zeroDistances && bestLen == 0 && i < 32000 && data[i] == 0) {
        int len = 0;
        while (len < 258 && i + len < data.size() && data[i + len] == 0) ++len;
        if (len >= 3) {
          bestLen = len;
          // Every source byte must lie before the start, where the window is zero.
          bestDist = static_cast<int>(i) + len + static_cast<int>(rng() % (32768 - i - len + 1));
        }
      }
    }
    if (bestLen >= 3 && rng() % 8 != 0) {
      // Sometimes shorten the match, so that all lengths occur.
      if (rng() % 4 == 0) bestLen = 3 + static_cast<int>(rng() % (bestLen - 2));
      tokens.push_back({bestLen, bestDist});
      for (int k = 0; k < bestLen; ++k, ++i)
        if (i + 3 <= data.size()) head[hash(i)] = static_cast<int>(i);
    } else {
      tokens.push_back({0, data[i]});
      if (i + 3 <= data.size()) head[hash(i)] = static_cast<int>(i);
      ++i;
    }
  }
  return tokens;
}

void WriteTokens(BitWriter& w, const std::vector<Token>& tokens, size_t from, size_t to,
                 const std::vector<int>& litLen, const std::vector<int>& distLen) {
  std::vector<uint32_t> litCode = CanonicalCodes(litLen), distCode = CanonicalCodes(distLen);
  for (size_t t = from; t < to; ++t) {
    const Token& k = tokens[t];
    if (k.length == 0) {
      w.Code(litCode[k.value], litLen[k.value]);
      continue;
    }
    int ls = LengthSymbol(k.length);
    w.Code(litCode[257 + ls], litLen[257 + ls]).Bits(k.length - kLengthBase[ls], kLengthExtra[ls]);
    int ds = DistanceSymbol(k.value);
    w.Code(distCode[ds], distLen[ds]).Bits(k.value - kDistanceBase[ds], kDistanceExtra[ds]);
  }
  w.Code(litCode[256], litLen[256]);
}

void WriteDynamicHeader(std::mt19937& rng, BitWriter& w, std::vector<int>& litLen, std::vector<int>& distLen) {
  int nlit = 286;
  while (nlit > 257 && litLen[nlit - 1] == 0) --nlit;
  int ndist = 30;
  while (ndist > 1 && distLen[ndist - 1] == 0) --ndist;
  // Now and then send trailing zero lengths too.
  if (rng() % 4 == 0) nlit += static_cast<int>(rng() % (287 - nlit));
  if (rng() % 4 == 0) ndist += static_cast<int>(rng() % (31 - ndist));
  litLen.resize(nlit);
  distLen.resize(ndist);
  std::vector<int> all(litLen);
  all.insert(all.end(), distLen.begin(), distLen.end());

  // Run-length code over both sequences as one, runs crossing between them.
  struct Rle {
    int sym, extra, extraBits;
  };
  std::vector<Rle> rle;
  int previous = 0;
  for (size_t i = 0; i < all.size();) {
    size_t run = 1;
    while (i + run < all.size() && all[i + run] == all[i]) ++run;
    int v = all[i];
    if (v == 0 && run >= 11 && rng() % 4) {
      int n = static_cast<int>(std::min<size_t>(run, 138));
      rle.push_back({18, n - 11, 7});
      i += n;
      previous = 0;
    } else if (v == 0 && run >= 3 && rng() % 4) {
      int n = static_cast<int>(std::min<size_t>(run, 10));
      rle.push_back({17, n - 3, 3});
      i += n;
      previous = 0;
    } else if (v == previous && run >= 3 && rng() % 4) {
      int n = static_cast<int>(std::min<size_t>(run, 6));
      rle.push_back({16, n - 3, 2});
      i += n;
    } else {
      rle.push_back({v, 0, 0});
      previous = v;
      ++i;
    }
  }
  std::vector<uint32_t> freqs(19);
  for (const Rle& r : rle) ++freqs[r.sym];
  std::vector<int> clen = LimitedCodeLengths(freqs, 7);
  int nclen = 19;
  while (nclen > 4 && clen[kOrder[nclen - 1]] == 0) --nclen;
  std::vector<uint32_t> ccode = CanonicalCodes(clen);

  w.Bits(nlit - 257, 5).Bits(ndist - 1, 5).Bits(nclen - 4, 4);
  for (int i = 0; i < nclen; ++i) w.Bits(clen[kOrder[i]], 3);
  for (const Rle& r : rle) w.Code(ccode[r.sym], clen[r.sym]).Bits(r.extra, r.extraBits);
}

}  // namespace

std::vector<int> LimitedCodeLengths(const std::vector<uint32_t>& freqsIn, int limit) {
  std::vector<uint32_t> freqs(freqsIn);
  size_t n = freqs.size();
  for (;;) {
    std::vector<int> lengths(n, 0);
    typedef std::pair<uint64_t, int> Node;  // weight, node index
    std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
    std::vector<int> parent;
    for (size_t s = 0; s < n; ++s)
      if (freqs[s]) {
        heap.push({freqs[s], static_cast<int>(parent.size())});
        parent.push_back(-1);
      }
    if (heap.empty()) return lengths;
    if (heap.size() == 1) {
      for (size_t s = 0; s < n; ++s)
        if (freqs[s]) lengths[s] = 1;
      return lengths;
    }
    while (heap.size() > 1) {
      Node a = heap.top();
      heap.pop();
      Node b = heap.top();
      heap.pop();
      int p = static_cast<int>(parent.size());
      parent.push_back(-1);
      parent[a.second] = p;
      parent[b.second] = p;
      heap.push({a.first + b.first, p});
    }
    int leaf = 0, longest = 0;
    for (size_t s = 0; s < n; ++s)
      if (freqs[s]) {
        int depth = 0;
        for (int k = leaf; parent[k] >= 0; k = parent[k]) ++depth;
        lengths[s] = depth;
        longest = std::max(longest, depth);
        ++leaf;
      }
    if (longest <= limit) return lengths;
    for (uint32_t& f : freqs)
      if (f) f = (f + 1) / 2;
  }
}

std::vector<uint8_t> RandomData(std::mt19937& rng, size_t size) {
  std::vector<uint8_t> data;
  int alphabet = 2 + static_cast<int>(rng() % 255);
  while (data.size() < size) {
    switch (rng() % 4) {
      case 0: {  // a run
        uint8_t b = rng() % 3 == 0 ? 0 : static_cast<uint8_t>(rng() % alphabet);
        data.insert(data.end(), 1 + rng() % 300, b);
        break;
      }
      case 1:  // a repeat of recent data
        if (!data.empty()) {
          size_t dist = 1 + rng() % std::min<size_t>(data.size(), 40000);
          size_t len = 1 + rng() % 400;
          for (size_t k = 0; k < len; ++k) data.push_back(data[data.size() - dist]);
          break;
        }
        [[fallthrough]];
      default: {  // noise over a small alphabet
        size_t len = 1 + rng() % 200;
        for (size_t k = 0; k < len; ++k) data.push_back(static_cast<uint8_t>(rng() % alphabet));
      }
    }
  }
  data.resize(size);
  return data;
}

std::vector<uint8_t> EncodeStream(std::mt19937& rng, const std::vector<uint8_t>& data, bool zeroDistances) {
  std::vector<Token> tokens = Tokenize(rng, data, zeroDistances);
  BitWriter w;
  size_t t = 0, at = 0;  // next token and its data offset
  do {
    size_t count = std::min<size_t>(tokens.size() - t, 1 + rng() % 5000);
    size_t bytes = 0;
    for (size_t k = t; k < t + count; ++k) bytes += tokens[k].length ? tokens[k].length : 1;
    bool last = t + count == tokens.size();
    int kind = static_cast<int>(rng() % 3);
    if (kind == 0 && bytes > 65535) kind = 2;
    w.Bits((last ? 8 : 0) | (5 + (kind + 2) % 3), 4);  // 0 stored=7, 1 fixed=5, 2 dynamic=6
    if (kind == 0) {
      w.Align().Bits(static_cast<uint32_t>(bytes), 16);
      for (size_t k = 0; k < bytes; ++k) w.Byte(data[at + k]);
    } else if (kind == 1) {
      std::vector<int> lit(288, 8), dist(30, 5);
      for (int s = 144; s < 256; ++s) lit[s] = 9;
      for (int s = 256; s < 280; ++s) lit[s] = 7;
      WriteTokens(w, tokens, t, t + count, lit, dist);
    } else {
      std::vector<uint32_t> litFreq(286), distFreq(30);
      litFreq[256] = 1;
      for (size_t k = t; k < t + count; ++k) {
        if (tokens[k].length == 0) {
          ++litFreq[tokens[k].value];
        } else {
          ++litFreq[257 + LengthSymbol(tokens[k].length)];
          ++distFreq[DistanceSymbol(tokens[k].value)];
        }
      }
      std::vector<int> litLen = LimitedCodeLengths(litFreq, 15);
      std::vector<int> distLen = LimitedCodeLengths(distFreq, 15);
      WriteDynamicHeader(rng, w, litLen, distLen);
      distLen.resize(30);
      litLen.resize(286);
      WriteTokens(w, tokens, t, t + count, litLen, distLen);
    }
    t += count;
    at += bytes;
  } while (t < tokens.size());
  return w.Bytes();
}
