#include "tokens.h"

namespace {

const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                  31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                  2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
const uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,    25,
                                    33,   49,   65,   97,   129,  193,   257,   385,   513,   769,
                                    1025, 1537, 2049, 3073, 4097, 6145,  8193,  12289, 16385, 24577};
const uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                    6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};

// Index by length 3..258 and by distance class; built once on first use.
struct SymbolMaps {
  uint8_t lengthSymbol[259];
  uint8_t distanceLow[257];   // distances 1..256
  uint8_t distanceHigh[256];  // (distance - 1) >> 7 for distances above 256
  SymbolMaps() {
    for (int s = 0; s < 29; ++s) {
      int last = s == 28 ? 258 : kLengthBase[s] + (1 << kLengthExtra[s]) - 1;
      if (s == 27) last = 257;  // 258 has its own symbol
      for (int l = kLengthBase[s]; l <= last; ++l) lengthSymbol[l] = static_cast<uint8_t>(s);
    }
    for (int s = 0; s < 30; ++s) {
      int first = kDistanceBase[s];
      int last = first + (1 << kDistanceExtra[s]) - 1;
      for (int d = first; d <= last; ++d) {
        if (d <= 256) distanceLow[d] = static_cast<uint8_t>(s);
        else distanceHigh[(d - 1) >> 7] = static_cast<uint8_t>(s);
      }
    }
  }
};

const SymbolMaps& Maps() {
  static const SymbolMaps maps;
  return maps;
}

}  // namespace

int LengthSymbol(int length) { return 257 + Maps().lengthSymbol[length]; }
int LengthExtraBits(int symbol) { return kLengthExtra[symbol - 257]; }
int LengthBase(int symbol) { return kLengthBase[symbol - 257]; }

int DistanceSymbol(int distance) {
  return distance <= 256 ? Maps().distanceLow[distance] : Maps().distanceHigh[(distance - 1) >> 7];
}
int DistanceExtraBits(int symbol) { return kDistanceExtra[symbol]; }
int DistanceBase(int symbol) { return kDistanceBase[symbol]; }
