#pragma once

#include <windows.h>

#include <stdint.h>

// Begins and ends the paint itself. Any of the three may be null.
void PaintBackground(HWND window, const uint8_t* bitmap, uint32_t bitmapSize, const char* title,
                     const uint8_t* titleStyle, uint32_t titleStyleSize);
