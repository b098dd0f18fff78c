// Checks that a .bmp file is one the stub can draw straight from the package:
// file header, 40-byte BITMAPINFOHEADER, uncompressed, bottom-up, whole.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

struct BitmapInfo {
  int32_t width;
  int32_t height;
  uint16_t bitCount;
};

bool CheckBitmap(const uint8_t* data, size_t size, BitmapInfo* info, std::string* why);
