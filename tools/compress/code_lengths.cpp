#include "code_lengths.h"

#include <string.h>

// The zopfli header has no C++ linkage guard of its own.
extern "C" {
#include <zopfli/katajainen.h>
}

const uint8_t kCodeLengthOrder[19] = {18, 17, 16, 0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};

void BuildCodeLengths(const uint32_t* counts, int n, int maxBits, uint8_t* lengths) {
  std::vector<size_t> frequencies(counts, counts + n);
  std::vector<unsigned> bits(static_cast<size_t>(n), 0);
  // Fails only when the used symbols do not fit in maxBits.
  bool built = ZopfliLengthLimitedCodeLengths(frequencies.data(), n, maxBits, bits.data()) == 0;
  for (int i = 0; i < n; ++i) lengths[i] = built ? static_cast<uint8_t>(bits[static_cast<size_t>(i)]) : 0;
}

void SmoothCountsForRuns(uint32_t* counts, int n) {
  while (n > 0 && counts[n - 1] == 0) --n;
  if (n == 0) return;
  // Stretches that already code as runs (5 zeros, 7 equal others) stay as they are.
  std::vector<bool> keep(static_cast<size_t>(n), false);
  for (int i = 0; i < n;) {
    int run = 1;
    while (i + run < n && counts[i + run] == counts[i]) ++run;
    if (run >= (counts[i] == 0 ? 5 : 7))
      for (int k = 0; k < run; ++k) keep[static_cast<size_t>(i + k)] = true;
    i += run;
  }
  // Elsewhere, stretches of counts close to their local mean take that mean.
  auto localMean = [&](int i) -> uint32_t {
    if (i + 3 < n) return (counts[i] + counts[i + 1] + counts[i + 2] + counts[i + 3] + 2) / 4;
    return i < n ? counts[i] : 0;
  };
  int stretch = 0;
  uint64_t sum = 0;
  uint32_t mean = localMean(0);
  for (int i = 0; i <= n; ++i) {
    bool ends = i == n || keep[static_cast<size_t>(i)] ||
                (counts[i] > mean ? counts[i] - mean : mean - counts[i]) >= 4;
    if (ends) {
      if (stretch >= 4 || (stretch >= 3 && sum == 0)) {
        uint32_t value = sum == 0 ? 0 : static_cast<uint32_t>((sum + static_cast<uint64_t>(stretch) / 2) / static_cast<uint64_t>(stretch));
        if (sum != 0 && value == 0) value = 1;
        for (int k = 1; k <= stretch; ++k) counts[i - k] = value;
      }
      stretch = 0;
      sum = 0;
      mean = localMean(i);
    }
    ++stretch;
    if (i < n) sum += counts[i];
  }
}

void BuildCanonicalCodes(const uint8_t* lengths, int n, uint16_t* codes) {
  int count[16] = {0};
  for (int i = 0; i < n; ++i) count[lengths[i]]++;
  count[0] = 0;
  uint32_t next[16] = {0};
  uint32_t code = 0;
  for (int len = 1; len <= 15; ++len) {
    code = (code + static_cast<uint32_t>(count[len - 1])) << 1;
    next[len] = code;
  }
  for (int i = 0; i < n; ++i) {
    int len = lengths[i];
    codes[i] = 0;
    if (len == 0) continue;
    uint32_t c = next[len]++;
    uint32_t reversed = 0;
    for (int b = 0; b < len; ++b, c >>= 1) reversed = (reversed << 1) | (c & 1);
    codes[i] = static_cast<uint16_t>(reversed);
  }
}

namespace {

int ExtraBitsOf(int item) { return item == 16 ? 2 : item == 17 ? 3 : item == 18 ? 7 : 0; }

// Fills the code-length code and the exact size of the plan's items.
void PriceItems(CodeLengthPlan* plan) {
  uint32_t counts[19] = {0};
  for (uint8_t item : plan->items) counts[item]++;
  BuildCodeLengths(counts, 19, 7, plan->clLengths);
  int sent = 19;
  while (sent > 4 && plan->clLengths[kCodeLengthOrder[sent - 1]] == 0) --sent;
  plan->clCount = sent;
  uint64_t bits = 3u * static_cast<unsigned>(sent);
  for (int s = 0; s < 19; ++s) bits += uint64_t(counts[s]) * (plan->clLengths[s] + ExtraBitsOf(s));
  plan->bits = bits;
}

void Emit(CodeLengthPlan* plan, int item, int extra) {
  plan->items.push_back(static_cast<uint8_t>(item));
  plan->extra.push_back(static_cast<uint8_t>(extra));
}

// The usual greedy coding: long zero runs with 17/18, repeats with 16.
void GreedyItems(const uint8_t* lengths, int total, CodeLengthPlan* plan) {
  plan->items.clear();
  plan->extra.clear();
  int prev = 0;
  for (int i = 0; i < total;) {
    int v = lengths[i];
    int run = 1;
    while (i + run < total && lengths[i + run] == v) ++run;
    if (v == 0 && run >= 3) {
      int r = run;
      while (r >= 11) {
        int take = r > 138 ? 138 : r;
        Emit(plan, 18, take - 11);
        r -= take;
      }
      if (r >= 3) {
        Emit(plan, 17, r - 3);
        r = 0;
      }
      for (; r > 0; --r) Emit(plan, 0, 0);  // 1 or 2 left over
      prev = 0;
      i += run;
      continue;
    }
    int r = run;
    if (v != prev) {
      Emit(plan, v, 0);
      prev = v;
      --r;
    }
    while (r >= 3) {
      int take = r > 6 ? 6 : r;
      Emit(plan, 16, take - 3);
      r -= take;
    }
    for (; r > 0; --r) Emit(plan, v, 0);
    i += run;
  }
}

// The cheapest items under fixed per-item prices, by dynamic programming over
// (position, previous length): repeat code 16 depends on the previous length.
void OptimalItems(const uint8_t* lengths, int total, const int* price, CodeLengthPlan* plan) {
  const int kInf = 1 << 28;
  const int states = 16;
  std::vector<int> cost(static_cast<size_t>(total + 1) * states, 0);
  std::vector<uint16_t> choice(static_cast<size_t>(total) * states, 0);  // item << 8 | run
  std::vector<int> sameRun(static_cast<size_t>(total) + 1, 0);
  for (int i = total - 1; i >= 0; --i)
    sameRun[static_cast<size_t>(i)] = (i + 1 < total && lengths[i + 1] == lengths[i]) ? sameRun[static_cast<size_t>(i) + 1] + 1 : 1;
  auto at = [&](int i, int p) -> int& { return cost[static_cast<size_t>(i) * states + static_cast<size_t>(p)]; };

  for (int i = total - 1; i >= 0; --i) {
    int v = lengths[i];
    int run = sameRun[static_cast<size_t>(i)];
    // Zero runs leave the previous length at 0 whatever it was.
    int zeroBest = kInf;
    uint16_t zeroChoice = 0;
    if (v == 0) {
      for (int r = 3; r <= 10 && r <= run; ++r) {
        int c = price[17] + 3 + at(i + r, 0);
        if (c < zeroBest) zeroBest = c, zeroChoice = static_cast<uint16_t>((17 << 8) | r);
      }
      for (int r = 11; r <= 138 && r <= run; ++r) {
        int c = price[18] + 7 + at(i + r, 0);
        if (c < zeroBest) zeroBest = c, zeroChoice = static_cast<uint16_t>((18 << 8) | r);
      }
    }
    for (int p = 0; p < states; ++p) {
      int best = price[v] + at(i + 1, v);
      uint16_t pick = static_cast<uint16_t>((v << 8) | 1);
      if (p == v) {
        for (int r = 3; r <= 6 && r <= run; ++r) {
          int c = price[16] + 2 + at(i + r, p);
          if (c < best) best = c, pick = static_cast<uint16_t>((16 << 8) | r);
        }
      }
      if (zeroBest < best) best = zeroBest, pick = zeroChoice;
      at(i, p) = best;
      choice[static_cast<size_t>(i) * states + static_cast<size_t>(p)] = pick;
    }
  }

  plan->items.clear();
  plan->extra.clear();
  int p = 0;
  for (int i = 0; i < total;) {
    uint16_t pick = choice[static_cast<size_t>(i) * states + static_cast<size_t>(p)];
    int item = pick >> 8, r = pick & 0xFF;
    if (item < 16) {
      Emit(plan, item, 0);
      p = item;
    } else if (item == 16) {
      Emit(plan, 16, r - 3);
    } else {
      Emit(plan, item, r - (item == 17 ? 3 : 11));
      p = 0;
    }
    i += r;
  }
}

}  // namespace

void PlanCodeLengths(const uint8_t* lengths, int total, CodeLengthPlan* plan) {
  GreedyItems(lengths, total, plan);
  PriceItems(plan);
  CodeLengthPlan trial;
  // Prices and items depend on each other; a few rounds settle them.
  for (int round = 0; round < 4; ++round) {
    int price[19];
    const CodeLengthPlan& from = round == 0 ? *plan : trial;
    for (int s = 0; s < 19; ++s) price[s] = from.clLengths[s] ? from.clLengths[s] : 8;
    OptimalItems(lengths, total, price, &trial);
    PriceItems(&trial);
    if (trial.bits < plan->bits) *plan = trial;
    else if (round > 0) break;
  }
}
