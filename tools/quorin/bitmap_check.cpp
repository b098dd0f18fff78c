#include "bitmap_check.h"

#include "package/format.h"

using format::ReadU16;
using format::ReadU32;

namespace {
constexpr size_t kFileHeaderSize = 14;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kBiRgb = 0;
}  // namespace

bool CheckBitmap(const uint8_t* data, size_t size, BitmapInfo* info, std::string* why) {
  if (size < kFileHeaderSize + kInfoHeaderSize || data[0] != 'B' || data[1] != 'M')
    return *why = "not a .bmp file (no BM file header)", false;
  const uint8_t* h = data + kFileHeaderSize;
  if (ReadU32(h) != kInfoHeaderSize)
    return *why = "the bitmap header is not a 40-byte BITMAPINFOHEADER (save it as a Windows 3.x bitmap)", false;
  info->width = static_cast<int32_t>(ReadU32(h + 4));
  info->height = static_cast<int32_t>(ReadU32(h + 8));
  uint16_t planes = ReadU16(h + 12);
  info->bitCount = ReadU16(h + 14);
  uint32_t compression = ReadU32(h + 16);
  uint32_t colorsUsed = ReadU32(h + 32);
  if (info->width <= 0 || info->width > 32767) return *why = "the bitmap width must be between 1 and 32767", false;
  if (info->height <= 0 || info->height > 32767)
    return *why = "the bitmap height must be between 1 and 32767 (top-down bitmaps are not drawn)", false;
  if (planes != 1) return *why = "the bitmap must have one plane", false;
  uint16_t bits = info->bitCount;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24)
    return *why = "the bitmap must have 1, 4, 8, 16 or 24 bits per pixel", false;
  if (compression != kBiRgb) return *why = "the bitmap must be uncompressed (BI_RGB)", false;
  // The stub finds the bits behind the colour table, whose size it derives the
  // same way: 4 x biClrUsed, else 4 x 2^bits kept to 16 bits.
  uint64_t table = colorsUsed ? 4ull * colorsUsed : ((4ull << bits) & 0xFFFF);
  if (colorsUsed > (bits <= 8 ? (1u << bits) : 256u)) return *why = "the bitmap's colour count is too large", false;
  uint64_t stride = ((static_cast<uint64_t>(info->width) * bits + 31) / 32) * 4;
  uint64_t need = kFileHeaderSize + kInfoHeaderSize + table + stride * static_cast<uint64_t>(info->height);
  if (need > size)
    return *why = "the bitmap file is cut short (" + std::to_string(size) + " bytes, its header needs " +
                  std::to_string(need) + ")", false;
  return true;
}
