#include "graphics/bitmap_record.h"

#include "package/format.h"

using format::ReadU16;
using format::ReadU32;

uint64_t ColourTableSize(uint16_t bitCount, uint32_t coloursUsed) {
  if (coloursUsed != 0) return 4ull * coloursUsed;
  return bitCount < 16 ? (4u << bitCount) & 0xFFFF : 0;
}

bool ReadBitmapRecord(const uint8_t* record, uint32_t size, BitmapRecord* out) {
  if (!record || size < bitmap::kBitsOffsetBase) return false;
  const uint8_t* info = record + bitmap::kFileHeaderSize;
  int32_t width = static_cast<int32_t>(ReadU32(info + 4));
  int32_t height = static_cast<int32_t>(ReadU32(info + 8));
  uint16_t bitCount = ReadU16(info + 14);
  uint32_t coloursUsed = ReadU32(info + 32);
  // Other header sizes put the colour table elsewhere; compressed bits and
  // bit-field masks have lengths and tables the colour-table rule does not cover.
  if (ReadU32(info) != bitmap::kInfoHeaderSize || ReadU16(info + 12) != 1 || ReadU32(info + 16) != 0)
    return false;
  if (bitCount != 1 && bitCount != 4 && bitCount != 8 && bitCount != 16 && bitCount != 24 && bitCount != 32)
    return false;
  if (width < 1 || width > bitmap::kMaxSide || height == 0 || height < -bitmap::kMaxSide || height > bitmap::kMaxSide)
    return false;
  int32_t rows = height < 0 ? -height : height;

  uint32_t available = size - bitmap::kBitsOffsetBase;
  uint64_t table = ColourTableSize(bitCount, coloursUsed);
  if (table > available) return false;
  available -= static_cast<uint32_t>(table);
  // At most 32767 x 32 bits: the stride fits 32 bits.
  uint32_t stride = ((static_cast<uint32_t>(width) * bitCount + 31) >> 5) << 2;
  if (static_cast<uint32_t>(rows) > available / stride) return false;

  out->info = info;
  out->bits = info + bitmap::kInfoHeaderSize + table;
  out->width = width;
  out->rows = rows;
  out->bitCount = bitCount;
  uint32_t entries = static_cast<uint32_t>(table / 4);
  out->paletteColours = bitCount != 8 ? 0 : entries < bitmap::kPaletteSize ? entries : bitmap::kPaletteSize;
  return true;
}

int32_t TileCount(int32_t extent, int32_t tile) {
  if (extent <= 0 || tile <= 0) return 0;
  return (extent - 1) / tile + 1;
}
