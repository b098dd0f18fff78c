#include "graphics/gradient.h"

namespace {

// For each pixel of the 8 x 8 tile, which of the band's eight colours it takes.
const uint8_t kDitherPattern[64] = {
    0, 3, 1, 4, 2, 5, 3, 6,  //
    7, 4, 6, 3, 5, 2, 4, 1,  //
    2, 5, 3, 6, 4, 7, 5, 0,  //
    1, 6, 0, 5, 7, 4, 6, 3,  //
    4, 7, 5, 0, 6, 1, 7, 2,  //
    3, 0, 2, 7, 1, 6, 0, 5,  //
    6, 1, 7, 2, 0, 3, 1, 4,  //
    5, 2, 4, 1, 3, 0, 2, 7,  //
};

}  // namespace

uint32_t GradientBlue(int32_t row, int32_t height) {
  if (height <= 0 || row >= height) return 0;
  if (row < 0) row = 0;
  uint32_t y = static_cast<uint32_t>(row);
  uint32_t h = static_cast<uint32_t>(height);
  while (h > 0xFFFF) {
    y >>= 1;
    h >>= 1;
  }
  // The fall is floor(y^2 x 255 / h^2), at most 255: found bit by bit with
  // 64-bit products, so the stub needs no 64-bit division routine.
  uint64_t scaled = static_cast<uint64_t>(y * y) * 255;
  uint32_t square = h * h;
  uint32_t fall = 0;
  for (uint32_t bit = 128; bit; bit >>= 1)
    if (static_cast<uint64_t>(fall | bit) * square <= scaled) fall |= bit;
  return 255 - fall;
}

void FillDitherTile(uint8_t* pixels, int32_t bandTop, int32_t height) {
  uint8_t blues[8];
  for (int32_t k = 0; k < 8; ++k)
    blues[k] = static_cast<uint8_t>(GradientBlue(height - bandTop > 8 * k ? bandTop + 8 * k : height, height));
  for (int i = 0; i < 64; ++i) {
    pixels[3 * i] = blues[kDitherPattern[i]];
    pixels[3 * i + 1] = 0;
    pixels[3 * i + 2] = 0;
  }
}
