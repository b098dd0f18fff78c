// The blue gradient of the background window: full blue at the top of the
// client area, black at its bottom, falling with the square of the row.
#pragma once

#include <stdint.h>

namespace gradient {

constexpr int32_t kBandRows = 8;
constexpr uint32_t kTileBytes = 8 * 8 * 3;  // 8 x 8 pixels of blue, green, red

}  // namespace gradient

// Blue of pixel row `row` in a client area `height` rows high:
// 255 - floor(row^2 x 255 / height^2); 0 from row `height` on, and for an
// empty area. Exact for every height up to 65,535 rows; taller areas are
// scaled down first, which keeps the result within 1 of the formula.
uint32_t GradientBlue(int32_t row, int32_t height);

// The same as a COLORREF (0x00bbggrr).
inline uint32_t GradientColour(int32_t row, int32_t height) { return GradientBlue(row, height) << 16; }

// The 8 x 8 tile of the dithered band starting at row `bandTop`: pixel i in
// memory order takes the colour of row min(bandTop + 8k, height), where k is
// entry i of the dither pattern, as blue, green, red. 0 <= bandTop < height.
void FillDitherTile(uint8_t* pixels, int32_t bandTop, int32_t height);
