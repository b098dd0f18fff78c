// The arithmetic of the background and the bitmap records, without a window:
// gradient colours, the dither tile, tile counts, colour tables and which
// bitmap records may be drawn at all.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>

#include <vector>

#include "graphics/bitmap_record.h"
#include "graphics/gradient.h"
#include "package/format.h"

namespace {

// The gradient formula as written, with room for every row and height.
uint32_t ReferenceBlue(uint64_t row, uint64_t height) {
  if (row >= height) return 0;
  unsigned __int128 fall = static_cast<unsigned __int128>(row * row) * 255 / (height * height);
  return 255 - static_cast<uint32_t>(fall);
}

TEST(Gradient, FallsQuadraticallyFromBlueToBlack) {
  EXPECT_EQ(GradientBlue(0, 600), 255u);
  EXPECT_EQ(GradientBlue(300, 600), 192u);
  EXPECT_EQ(GradientBlue(599, 600), 1u);
  EXPECT_EQ(GradientBlue(600, 600), 0u);
  EXPECT_EQ(GradientColour(0, 600), 0xFF0000u);    // blue only, as a COLORREF
  EXPECT_EQ(GradientColour(300, 600), 0xC00000u);
  EXPECT_EQ(GradientBlue(0, 0), 0u);               // an empty area has no gradient
  EXPECT_EQ(GradientBlue(5, 1), 0u);
}

TEST(Gradient, IsExactForEveryRowUpTo65535Rows) {
  // 2,901 is the last row whose square times 255 fits 32 signed bits; 46,340
  // the last height whose square does.
  for (int32_t height : {1, 2, 3, 7, 600, 768, 1200, 2901, 2902, 46340, 65535}) {
    for (int32_t row = 0; row <= height; ++row) {
      ASSERT_EQ(GradientBlue(row, height), ReferenceBlue(row, height)) << "row " << row << " of " << height;
    }
  }
}

TEST(Gradient, TallAreasStayWithinOneOfTheFormulaAndNeverRise) {
  for (int32_t height : {65536, 100000, 1 << 24, 0x7FFFFFFF}) {
    EXPECT_EQ(GradientBlue(0, height), 255u);
    EXPECT_EQ(GradientBlue(height, height), 0u);
    uint32_t previous = 255;
    for (int64_t step = 0; step <= 20000; ++step) {
      int32_t row = static_cast<int32_t>(static_cast<int64_t>(height - 1) * step / 20000);
      uint32_t blue = GradientBlue(row, height);
      int32_t exact = static_cast<int32_t>(ReferenceBlue(row, height));
      ASSERT_LE(std::abs(static_cast<int32_t>(blue) - exact), 1) << "row " << row << " of " << height;
      ASSERT_LE(blue, previous) << "row " << row << " of " << height;
      previous = blue;
    }
  }
}

// The pattern table, row by row: which of the band's eight colours each pixel takes.
const uint8_t kPattern[64] = {0, 3, 1, 4, 2, 5, 3, 6, 7, 4, 6, 3, 5, 2, 4, 1, 2, 5, 3, 6, 4, 7,
                              5, 0, 1, 6, 0, 5, 7, 4, 6, 3, 4, 7, 5, 0, 6, 1, 7, 2, 3, 0, 2, 7,
                              1, 6, 0, 5, 6, 1, 7, 2, 0, 3, 1, 4, 5, 2, 4, 1, 3, 0, 2, 7};

std::vector<uint8_t> Tile(int32_t band, int32_t height) {
  std::vector<uint8_t> pixels(gradient::kTileBytes + 8, 0xEE);  // guard bytes behind the tile
  FillDitherTile(pixels.data(), band, height);
  for (size_t i = gradient::kTileBytes; i < pixels.size(); ++i) EXPECT_EQ(pixels[i], 0xEE) << "written past the tile";
  return pixels;
}

TEST(DitherTile, MixesTheBandsEightRowsByThePattern) {
  struct Case {
    int32_t band, height;
    uint8_t colours[8];
  } cases[] = {
      {0, 600, {255, 255, 255, 255, 255, 254, 254, 253}},
      {296, 600, {193, 190, 187, 183, 179, 176, 172, 168}},
      // Rows past the bottom take row 600's black.
      {592, 600, {7, 0, 0, 0, 0, 0, 0, 0}},
      {0, 20, {255, 215, 92, 0, 0, 0, 0, 0}},
  };
  for (const Case& c : cases) {
    for (int k = 0; k < 8; ++k)
      ASSERT_EQ(c.colours[k], GradientBlue(c.band + 8 * k < c.height ? c.band + 8 * k : c.height, c.height));
    std::vector<uint8_t> pixels = Tile(c.band, c.height);
    for (int i = 0; i < 64; ++i) {
      EXPECT_EQ(pixels[3 * i], c.colours[kPattern[i]]) << "pixel " << i << " of band " << c.band;
      EXPECT_EQ(pixels[3 * i + 1], 0) << "green of pixel " << i;
      EXPECT_EQ(pixels[3 * i + 2], 0) << "red of pixel " << i;
    }
  }
}

TEST(DitherTile, TheLastBandOfAHugeAreaDoesNotOverflow) {
  std::vector<uint8_t> pixels = Tile(0x7FFFFFF8, 0x7FFFFFFF);
  for (int i = 0; i < 64; ++i) EXPECT_LE(pixels[3 * i], 1) << "pixel " << i;
}

TEST(Tiling, CountsTheTilesThatCoverTheArea) {
  EXPECT_EQ(TileCount(800, 100), 8);
  EXPECT_EQ(TileCount(600, 100), 6);
  EXPECT_EQ(TileCount(800, 300), 3);
  EXPECT_EQ(TileCount(600, 250), 3);
  EXPECT_EQ(TileCount(1, 32767), 1);
  EXPECT_EQ(TileCount(0x7FFFFFFF, 1), 0x7FFFFFFF);
  EXPECT_EQ(TileCount(0, 100), 0);
  EXPECT_EQ(TileCount(-5, 100), 0);
  EXPECT_EQ(TileCount(800, 0), 0);     // never a loop without end
  EXPECT_EQ(TileCount(800, -100), 0);
}

TEST(ColourTable, SizeFollowsTheBitCountOrTheColoursUsed) {
  EXPECT_EQ(ColourTableSize(1, 0), 8u);
  EXPECT_EQ(ColourTableSize(4, 0), 64u);
  EXPECT_EQ(ColourTableSize(8, 0), 1024u);
  EXPECT_EQ(ColourTableSize(16, 0), 0u);
  EXPECT_EQ(ColourTableSize(24, 0), 0u);
  EXPECT_EQ(ColourTableSize(32, 0), 0u);
  EXPECT_EQ(ColourTableSize(8, 100), 400u);
  EXPECT_EQ(ColourTableSize(24, 5), 20u);
  EXPECT_EQ(ColourTableSize(8, 0xFFFFFFFFu), 0x3FFFFFFFCull);  // no 32-bit wrap
}

// A bitmap record as the builder writes it: file header, info header, colour
// table and bits, exactly as long as these need.
struct RecordShape {
  int32_t width = 4;
  int32_t height = 3;
  uint16_t bitCount = 24;
  uint32_t coloursUsed = 0;
  uint32_t compression = 0;
  uint32_t headerSize = 40;
  uint16_t planes = 1;
};

std::vector<uint8_t> MakeRecord(const RecordShape& s) {
  uint64_t table = ColourTableSize(s.bitCount, s.coloursUsed);
  uint64_t stride = ((static_cast<uint64_t>(s.width < 0 ? 0 : s.width) * s.bitCount + 31) / 32) * 4;
  uint64_t rows = s.height < 0 ? -static_cast<int64_t>(s.height) : s.height;
  if (rows > 40000) rows = 0;  // no room for the bits of absurd heights
  std::vector<uint8_t> record(54 + table + stride * rows);
  record[0] = 'B';
  record[1] = 'M';
  uint8_t* info = record.data() + 14;
  format::WriteU32(info, s.headerSize);
  format::WriteU32(info + 4, static_cast<uint32_t>(s.width));
  format::WriteU32(info + 8, static_cast<uint32_t>(s.height));
  format::WriteU16(info + 12, s.planes);
  format::WriteU16(info + 14, s.bitCount);
  format::WriteU32(info + 16, s.compression);
  format::WriteU32(info + 32, s.coloursUsed);
  for (uint64_t i = 0; i < table; ++i) record[54 + i] = static_cast<uint8_t>(i);
  return record;
}

TEST(BitmapRecord, FindsTheBitsAndThePaletteOfDrawableRecords) {
  struct Case {
    RecordShape shape;
    uint32_t bitsOffset, rows, paletteColours;
  } cases[] = {
      {{150, 300, 24}, 54, 300, 0},
      {{150, -300, 24}, 54, 300, 0},           // top-down: the row count is positive
      {{3, 2, 8}, 54 + 1024, 2, 256},
      {{3, 2, 8, 100}, 54 + 400, 2, 100},      // a short table: the palette takes only it
      {{3, 2, 8, 300}, 54 + 1200, 2, 256},
      {{5, 5, 4}, 54 + 64, 5, 0},              // 4 bits: a table but no palette of its own
      {{33, 1, 1}, 54 + 8, 1, 0},
      {{7, 2, 16}, 54, 2, 0},
      {{2, 2, 32}, 54, 2, 0},                  // plain 32-bit rows, no masks
      {{1, 1, 24, 3}, 54 + 12, 1, 0},
      {{32767, 1, 1}, 54 + 8, 1, 0},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = MakeRecord(c.shape);
    SCOPED_TRACE(testing::Message() << c.shape.width << " x " << c.shape.height << " at " << c.shape.bitCount
                                    << " bits, " << c.shape.coloursUsed << " colours used");
    BitmapRecord record;
    ASSERT_TRUE(ReadBitmapRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), &record));
    EXPECT_EQ(record.info, bytes.data() + 14);
    EXPECT_EQ(record.bits - bytes.data(), static_cast<ptrdiff_t>(c.bitsOffset));
    EXPECT_EQ(record.width, c.shape.width);
    EXPECT_EQ(record.rows, static_cast<int32_t>(c.rows));
    EXPECT_EQ(record.bitCount, c.shape.bitCount);
    EXPECT_EQ(record.paletteColours, c.paletteColours);
    // One byte less and the last row no longer fits.
    EXPECT_FALSE(ReadBitmapRecord(bytes.data(), static_cast<uint32_t>(bytes.size() - 1), &record));
  }
}

TEST(BitmapRecord, RefusesWhatCannotBeDrawnSafely) {
  BitmapRecord record;
  EXPECT_FALSE(ReadBitmapRecord(nullptr, 1000, &record));
  std::vector<uint8_t> plain = MakeRecord({});
  for (uint32_t size : {0u, 1u, 14u, 53u, 54u, 57u})
    EXPECT_FALSE(ReadBitmapRecord(plain.data(), size, &record)) << size << " bytes";

  struct Case {
    const char* what;
    RecordShape shape;
  } cases[] = {
      {"0 x 0", {0, 0}},
      {"no width", {0, 5}},
      {"no height", {5, 0}},
      {"negative width", {-4, 3}},
      {"lowest height", {4, INT32_MIN}},
      {"width past the limit", {32768, 1, 1}},
      {"height past the limit", {1, 32768, 1}},
      {"top-down past the limit", {1, -32768, 1}},
      {"core header", {4, 3, 24, 0, 0, 12}},
      {"version 5 header", {4, 3, 24, 0, 0, 124}},
      {"two planes", {4, 3, 24, 0, 0, 40, 2}},
      {"no bits per pixel", {4, 3, 0}},
      {"2 bits per pixel", {4, 3, 2}},
      {"64 bits per pixel", {4, 3, 64}},
      {"run-length 8", {4, 3, 8, 0, 1}},
      {"run-length 4", {4, 3, 4, 0, 2}},
      {"bit-field masks", {4, 3, 16, 0, 3}},
      {"compressed picture", {4, 3, 24, 0, 4}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = MakeRecord(c.shape);
    bytes.resize(bytes.size() + 4096);  // room to spare: the header alone refuses it
    EXPECT_FALSE(ReadBitmapRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), &record)) << c.what;
  }

  // Sizes whose bits or table would lie far past a small record.
  struct Huge {
    const char* what;
    int32_t width, height;
    uint16_t bitCount;
    uint32_t coloursUsed;
  } huge[] = {
      {"huge width", 0x7FFFFFFF, 1, 24, 0},
      {"huge height", 1, 0x7FFFFFFF, 24, 0},
      {"the largest picture", 32767, 32767, 32, 0},
      {"huge colour count", 1, 1, 8, 0xFFFFFFFFu},
      {"colour count wrapping 32 bits", 1, 1, 8, 0x40000000u},
      {"table cut short", 1, 1, 8, 0},
  };
  for (const Huge& h : huge) {
    std::vector<uint8_t> bytes = MakeRecord({1, 1, h.bitCount});
    bytes.resize(600);
    format::WriteU32(bytes.data() + 18, static_cast<uint32_t>(h.width));
    format::WriteU32(bytes.data() + 22, static_cast<uint32_t>(h.height));
    format::WriteU32(bytes.data() + 46, h.coloursUsed);
    EXPECT_FALSE(ReadBitmapRecord(bytes.data(), static_cast<uint32_t>(bytes.size()), &record)) << h.what;
  }
}

}  // namespace
