#include "reference_decoder.h"

#include <string.h>

#include <algorithm>

#include "stream_tables.h"

namespace {

using namespace stream_tables;

struct Failure {
  int result;
};

// One code of a Huffman code, in canonical order. Unused bit patterns are
// listed as codes of the longest length with symbol -1.
struct CodeWord {
  int length;
  uint32_t canonical;  // most significant bit first
  int symbol;
  int reach;           // bits the real decoder's lookup asks for to find it
};

struct Huffman {
  bool present = false;
  std::vector<CodeWord> words;
  int longest = 0;
  // Codes of one length are consecutive in canonical order.
  uint32_t firstCode[17] = {};
  int firstIndex[17] = {};
  int count[17] = {};
};

// Builds the canonical code, its completeness result and, for every code, the
// table level that will hold it, following the table layout rules.
int MakeCode(const std::vector<int>& lengths, int requestedWidth, Huffman* h) {
  int n = static_cast<int>(lengths.size());
  int count[17] = {};
  for (int len : lengths) ++count[len];
  if (count[0] == n) return 0;
  int shortest = 1, longest = 15;
  while (!count[shortest]) ++shortest;
  while (!count[longest]) --longest;
  int width = std::min(std::max(requestedWidth, shortest), longest);

  // Kraft sum in units of the longest length.
  long left = 1L << longest;
  for (int len = 1; len <= longest; ++len) left -= static_cast<long>(count[len]) << (longest - len);
  if (left < 0) return 2;
  int unused = static_cast<int>(left);

  // Canonical codes, symbols ordered by length then value, fillers last.
  std::vector<std::pair<int, int>> order;
  for (int s = 0; s < n; ++s)
    if (lengths[s]) order.push_back({lengths[s], s});
  std::sort(order.begin(), order.end());
  for (int i = 0; i < unused; ++i) order.push_back({longest, -1});
  uint32_t code = 0;
  int prevLen = order[0].first;
  for (size_t i = 0; i < order.size(); ++i) {
    if (i > 0) code = (code + 1) << (order[i].first - prevLen);
    prevLen = order[i].first;
    h->words.push_back({order[i].first, code, order[i].second, 0});
  }

  // Table levels: a stack of (start, width, prefix) on the path to the code.
  int eob = n > 256 ? lengths[256] : 16;
  int counts[17];
  std::copy(count, count + 17, counts);
  counts[longest] += unused;
  struct Level {
    int start, width;
    uint32_t prefix;  // the code's first `start` bits in arrival order
  };
  std::vector<Level> path;
  std::vector<int> leftAtLength(17);
  for (int len = 0; len <= 16; ++len) leftAtLength[len] = counts[len];
  for (CodeWord& w : h->words) {
    uint32_t reversed = 0;
    for (int b = 0; b < w.length; ++b) reversed |= ((w.canonical >> (w.length - 1 - b)) & 1) << b;
    while (!path.empty() && (reversed & ((1u << path.back().start) - 1)) != path.back().prefix) path.pop_back();
    while (path.empty() || w.length > path.back().start + path.back().width) {
      int start = path.empty() ? 0 : path.back().start + path.back().width;
      int limit = std::min(longest - start, width);
      int j = w.length - start;
      if (j < limit && (1 << j) > leftAtLength[w.length]) {
        int freePatterns = (1 << j) - leftAtLength[w.length];
        int len = w.length;
        while (++j < limit) {
          freePatterns <<= 1;
          if (freePatterns <= counts[++len]) break;
          freePatterns -= counts[len];
        }
      }
      if (start + j > eob && start < eob) j = eob - start;
      path.push_back({start, j, reversed & ((1u << start) - 1)});
    }
    w.reach = path.back().start + path.back().width;
    --leftAtLength[w.length];
  }
  h->present = true;
  h->longest = longest;
  for (size_t i = 0; i < h->words.size(); ++i) {
    const CodeWord& w = h->words[i];
    if (h->count[w.length]++ == 0) {
      h->firstCode[w.length] = w.canonical;
      h->firstIndex[w.length] = static_cast<int>(i);
    }
  }
  return unused != 0 && longest != 1 ? 1 : 0;
}

class Reference {
 public:
  Reference(const uint8_t* input, size_t size) : input_(input), size_(size) {}

  ReferenceResult Run() {
    ReferenceResult r;
    window_.assign(32768, 0);
    result_ = &r;
    try {
      bool last = false;
      do {
        Need(4);
        int header = Peek(4);
        Consume(4);
        last = header & 8;
        switch (header & 7) {
          case 5: Fixed(); break;
          case 6: Dynamic(); break;
          case 7: Stored(); break;
          default: throw Failure{2};
        }
      } while (!last);
      Flush(position_);
    } catch (Failure f) {
      r.result = f.result;
    }
    r.fetched = fetched_;
    return r;
  }

 private:
  // Bit i of the stream, zero past the end of the input.
  int BitAt(size_t i) const { return i / 8 < size_ ? (input_[i / 8] >> (i % 8)) & 1 : 0; }
  void Need(int n) {
    while (fetched_ * 8 < consumed_ + n && fetched_ < size_) ++fetched_;
  }
  int Peek(int n) const {
    int v = 0;
    for (int i = 0; i < n; ++i) v |= BitAt(consumed_ + i) << i;
    return v;
  }
  void Consume(int n) {
    if (consumed_ + n > fetched_ * 8) throw Failure{1};
    consumed_ += n;
  }
  int Take(int n) {
    Need(n);
    int v = Peek(n);
    Consume(n);
    return v;
  }

  int Decode(const Huffman& h) {
    if (!h.present) throw Failure{1};
    uint32_t code = 0;
    for (int len = 1; len <= h.longest; ++len) {
      code = (code << 1) | BitAt(consumed_ + len - 1);
      if (h.count[len] && code >= h.firstCode[len] && code - h.firstCode[len] < static_cast<uint32_t>(h.count[len])) {
        const CodeWord& w = h.words[h.firstIndex[len] + (code - h.firstCode[len])];
        Need(w.reach);
        if (w.symbol < 0) throw Failure{1};
        Consume(len);
        return w.symbol;
      }
    }
    throw Failure{1};  // a complete code always matches
  }

  void Put(uint8_t byte) {
    ++result_->produced;
    window_[position_++] = byte;
    pending_.push_back(byte);
    if (position_ == 32768) Flush(32768);
  }
  // The sink sees the window only when it fills and at the end of the stream.
  void Flush(uint32_t count) {
    result_->writes.push_back(count);
    result_->output.insert(result_->output.end(), pending_.begin(), pending_.end());
    pending_.clear();
    position_ = 0;
  }

  void Stored() {
    Consume((fetched_ * 8 - consumed_) % 8);
    int length = Take(16);
    while (length--) Put(static_cast<uint8_t>(Take(8)));
  }

  void Fixed() {
    if (!fixedBuilt_) {
      std::vector<int> lit(288, 8);
      for (int s = 144; s < 256; ++s) lit[s] = 9;
      for (int s = 256; s < 280; ++s) lit[s] = 7;
      MakeCode(lit, 7, &fixedLiteral_);
      MakeCode(std::vector<int>(30, 5), 5, &fixedDistance_);
      fixedBuilt_ = true;
      ++result_->fixedTableBuilds;
    }
    if (Codes(fixedLiteral_, fixedDistance_)) throw Failure{1};
  }

  void Dynamic() {
    int nlit = Take(5) + 257;
    int ndist = Take(5) + 1;
    int nclen = Take(4) + 4;
    if (nlit > 286 || ndist > 30) throw Failure{1};
    std::vector<int> clen(19, 0);
    for (int i = 0; i < nclen; ++i) clen[kOrder[i]] = Take(3);
    Huffman lengthCode;
    int built = MakeCode(clen, 7, &lengthCode);
    if (built) throw Failure{built};
    if (!lengthCode.present) throw Failure{1};
    std::vector<int> lengths;
    int previous = 0;
    while (static_cast<int>(lengths.size()) < nlit + ndist) {
      int sym = Decode(lengthCode);
      if (sym < 16) {
        lengths.push_back(sym);
        previous = sym;
        continue;
      }
      int repeat = sym == 16 ? Take(2) + 3 : sym == 17 ? Take(3) + 3 : Take(7) + 11;
      int fill = sym == 16 ? previous : 0;
      previous = fill;
      if (static_cast<int>(lengths.size()) + repeat > nlit + ndist) throw Failure{1};
      lengths.insert(lengths.end(), repeat, fill);
    }
    Huffman lit, dist;
    built = MakeCode(std::vector<int>(lengths.begin(), lengths.begin() + nlit), 9, &lit);
    if (built) throw Failure{built};
    built = MakeCode(std::vector<int>(lengths.begin() + nlit, lengths.end()), 6, &dist);
    if (built) throw Failure{built};
    if (lengths[256] == 0) throw Failure{1};
    if (Codes(lit, dist)) throw Failure{1};
  }

  // 0 at the end of the block; failures other than by exception do not occur.
  int Codes(const Huffman& lit, const Huffman& dist) {
    for (;;) {
      int sym = Decode(lit);
      if (sym < 256) {
        Put(static_cast<uint8_t>(sym));
        continue;
      }
      if (sym == 256) return 0;
      if (sym > 285) throw Failure{1};
      if (!dist.present) throw Failure{1};
      int length = kLengthBase[sym - 257] + Take(kLengthExtra[sym - 257]);
      int dsym = Decode(dist);
      if (dsym > 29) throw Failure{1};
      int distance = kDistanceBase[dsym] + Take(kDistanceExtra[dsym]);
      uint32_t from = (position_ - distance) & 32767;
      while (length--) {
        uint8_t b = window_[from];
        from = (from + 1) & 32767;
        Put(b);
      }
    }
  }

  const uint8_t* input_;
  size_t size_;
  size_t fetched_ = 0;   // bytes taken
  size_t consumed_ = 0;  // bits used
  std::vector<uint8_t> window_;
  std::vector<uint8_t> pending_;
  uint32_t position_ = 0;
  ReferenceResult* result_ = nullptr;
  bool fixedBuilt_ = false;
  Huffman fixedLiteral_, fixedDistance_;
};

}  // namespace

ReferenceResult ReferenceDecode(const uint8_t* input, size_t size) { return Reference(input, size).Run(); }
