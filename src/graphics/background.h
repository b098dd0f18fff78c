// The painted background of background mode: tiles of the package's
// background bitmap, or else a blue gradient, and the title over either.
#pragma once

#include <windows.h>
#include <stdint.h>

// Answers WM_PAINT of the background window: begins and ends the paint
// itself. Any of bitmap, title and titleStyle may be null; a bitmap record
// that cannot be drawn safely is passed over for the gradient, and a style
// shorter than its 68 bytes draws no title.
void PaintBackground(HWND window, const uint8_t* bitmap, uint32_t bitmapSize, const char* title,
                     const uint8_t* titleStyle, uint32_t titleStyleSize);
