// A bitmap record of the package (side bitmap 0x1236, background tile 0x1237)
// is laid out as a bitmap file:
//
//   0   14  file header, not read
//   14  40  BITMAPINFOHEADER (biSize 40, biWidth, biHeight, biPlanes 1, biBitCount,
//           biCompression, biSizeImage, two resolutions, biClrUsed, biClrImportant)
//   54  T   colour table, RGBQUAD entries (blue, green, red, reserved)
//   54+T    pixel bits, rows padded to 4 bytes
//
// The stub draws such a record straight from the package data, so it is read
// here, without Windows headers, and accepted only when the header, the colour
// table and every row of bits lie inside the record.
#pragma once

#include <stdint.h>

namespace bitmap {

constexpr uint32_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBitsOffsetBase = kFileHeaderSize + kInfoHeaderSize;  // 54
constexpr uint32_t kPaletteSize = 256;
// The 9x family of Windows draws with 16-bit coordinates; a larger side keeps
// all centring and tiling sums far from overflowing an int.
constexpr int32_t kMaxSide = 32767;

}  // namespace bitmap

struct BitmapRecord {
  const uint8_t* info;   // BITMAPINFOHEADER and colour table, as StretchDIBits takes them
  const uint8_t* bits;
  int32_t width;
  int32_t rows;          // the row count, positive also for a top-down bitmap
  uint16_t bitCount;
  // Colour-table entries a palette of an 8-bit bitmap takes; entries past them
  // stay black. 0: the bitmap gets no palette of its own.
  uint32_t paletteColours;
};

// Colour-table size in bytes: 4 x biClrUsed when it is not 0, else 4 x
// 2^biBitCount kept to 16 bits (8, 64, 1,024 bytes for 1, 4, 8 bits per pixel,
// 0 for 16, 24 and 32). Never overflows: a count past the record is refused
// by ReadBitmapRecord before it is used.
uint64_t ColourTableSize(uint16_t bitCount, uint32_t coloursUsed);

// Fills *out and returns true when the record can be drawn safely: a 40-byte
// header, one plane, 1, 4, 8, 16, 24 or 32 bits per pixel without compression
// or bit-field masks, a width of 1 to kMaxSide, a height of 1 to kMaxSide
// either way up, and the colour table and all pixel rows inside the record.
bool ReadBitmapRecord(const uint8_t* record, uint32_t size, BitmapRecord* out);

// Tiles of `tile` pixels needed to cover `extent` pixels from 0; 0 when either is not positive.
int32_t TileCount(int32_t extent, int32_t tile);
