#include "lookup_reach.h"

#include <string.h>

#include <vector>

#include "tokens.h"

namespace {

struct Level {
  int start;        // bits resolved before this level
  int width;
  uint32_t prefix;  // the low `start` bits of every code under this level
};

}  // namespace

void ComputeLookupReach(const uint8_t* lengths, int n, int requestedWidth, uint8_t* reach) {
  int count[kMaxCodeLength + 2] = {0};
  for (int i = 0; i < n; ++i) count[lengths[i]]++;
  count[0] = 0;
  int shortest = 0, longest = 0;
  for (int len = 1; len <= kMaxCodeLength; ++len) {
    if (count[len] == 0) continue;
    if (shortest == 0) shortest = len;
    longest = len;
  }
  if (longest == 0) return;

  int width = requestedWidth;
  if (width < shortest) width = shortest;
  if (width > longest) width = longest;

  // Unused patterns sit at the longest length, as the decoder fills them.
  int left = 1 << shortest;
  for (int len = shortest; len < longest; ++len) left = (left - count[len]) * 2;
  count[longest] = left;

  std::vector<int> symbols;  // in canonical order; -1 for an unused pattern
  for (int len = shortest; len <= longest; ++len) {
    int had = 0;
    for (int s = 0; s < n; ++s)
      if (lengths[s] == len) symbols.push_back(s), ++had;
    if (len == longest)
      for (; had < count[longest]; ++had) symbols.push_back(-1);
  }

  int endOfBlockLength = n > kEndOfBlock ? lengths[kEndOfBlock] : 16;
  Level levels[kMaxCodeLength + 1];
  int depth = -1;
  uint32_t code = 0;  // the current code, bit-reversed (first bit in bit 0)
  size_t next = 0;
  for (int len = shortest; len <= longest; ++len) {
    for (int remaining = count[len]; remaining > 0; --remaining) {
      while (depth < 0 || len > levels[depth].start + levels[depth].width) {
        int start = depth < 0 ? 0 : levels[depth].start + levels[depth].width;
        int j;
        if (depth < 0) {
          j = width;
        } else {
          int limit = longest - start < width ? longest - start : width;
          j = len - start;
          int patterns = 1 << j;
          if (j < limit && patterns > remaining) {
            patterns -= remaining;
            int at = len;
            while (++j < limit) {
              patterns <<= 1;
              if (patterns <= count[++at]) break;
              patterns -= count[at];
            }
          }
        }
        if (start < endOfBlockLength && start + j > endOfBlockLength) j = endOfBlockLength - start;
        ++depth;
        levels[depth] = Level{start, j, code & ((1u << start) - 1)};
      }
      int symbol = symbols[next++];
      if (symbol >= 0) reach[symbol] = static_cast<uint8_t>(levels[depth].start + levels[depth].width);

      uint32_t bit = 1u << (len - 1);
      while (code & bit) {
        code ^= bit;
        bit >>= 1;
      }
      code ^= bit;
      while (depth >= 0 && (code & ((1u << levels[depth].start) - 1)) != levels[depth].prefix) --depth;
    }
  }
}
