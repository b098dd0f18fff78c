// Bitmap records and the background arithmetic on arbitrary bytes. A record
// that ReadBitmapRecord accepts is read as the drawing code and the system
// would read it (header, colour table as the palette and as the system takes
// it, every row of bits), so the sanitizers see any byte that lies past the
// record. The tile counts, centring sums and gradient rows of its sizes run
// under the undefined-behaviour checks.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include "graphics/bitmap_record.h"
#include "graphics/gradient.h"
#include "package/format.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

volatile uint8_t g_sink;

void Touch(const uint8_t* p, uint64_t n) {
  uint8_t sum = 0;
  for (uint64_t i = 0; i < n; ++i) sum ^= p[i];
  g_sink = sum;
}

// Colour-table entries the system reads from a header with DIB_RGB_COLORS.
uint64_t SystemTableEntries(const BitmapRecord& r) {
  uint32_t used = format::ReadU32(r.info + 32);
  if (r.bitCount > 8) return used;
  uint32_t full = 1u << r.bitCount;
  return used && used < full ? used : full;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // A heap copy of exactly the record's length, so a read past it is caught.
  uint8_t* record = static_cast<uint8_t*>(malloc(size ? size : 1));
  if (size) memcpy(record, data, size);
  BitmapRecord r;
  if (ReadBitmapRecord(record, static_cast<uint32_t>(size), &r)) {
    Check(r.width >= 1 && r.width <= bitmap::kMaxSide && r.rows >= 1 && r.rows <= bitmap::kMaxSide);
    Check(r.info == record + bitmap::kFileHeaderSize);
    Touch(r.info, bitmap::kInfoHeaderSize + 4 * SystemTableEntries(r));
    Touch(r.info + bitmap::kInfoHeaderSize, 4ull * r.paletteColours);
    uint64_t stride = ((static_cast<uint64_t>(r.width) * r.bitCount + 31) / 32) * 4;
    Touch(r.bits, stride * r.rows);
    Check(r.bits + stride * r.rows <= record + size);

    // Tiles over an area as large as the system allows, and centring in a
    // placeholder of any size the record's bytes name.
    int32_t extent = static_cast<int32_t>(format::ReadU32(record) & 0x7FFFFFFF);
    int32_t columns = TileCount(extent, r.width);
    Check(columns == 0 || (static_cast<int64_t>(columns - 1) * r.width < extent &&
                           static_cast<int64_t>(columns) * r.width >= extent));
    int32_t placeholder = static_cast<int32_t>(format::ReadU16(record + 2));
    volatile int32_t x = 20000 + (placeholder - r.width) / 2;
    (void)x;
  }

  // The gradient for a row and height the first bytes name.
  if (size >= 8) {
    int32_t height = static_cast<int32_t>(format::ReadU32(data));
    int32_t row = static_cast<int32_t>(format::ReadU32(data + 4));
    uint32_t blue = GradientBlue(row, height);
    Check(blue <= 255);
    if (height > 0 && row >= 0 && row < height) Check(GradientBlue(row / 2, height) >= blue);
    if (height > 0) {
      uint8_t tile[gradient::kTileBytes];
      int32_t band = row >= 0 && row < height ? row : 0;
      FillDitherTile(tile, band, height);
      Check(tile[0] >= tile[3 * 8]);  // pixel 0 takes the band's first colour, pixel 8 its last
    }
  }
  free(record);
  return 0;
}
