#pragma once

#include <windows.h>

#include <stdint.h>

void DrawControlFrame(HWND window, HDC dc, int controlId, bool fill);
void DrawSideBitmap(HWND window, HDC dc, int controlId, const uint8_t* bitmap, uint32_t bitmapSize);
