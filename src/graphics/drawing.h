#pragma once

#include <windows.h>

void FillColorRect(HDC dc, int x, int y, int width, int height, COLORREF colour);
void DrawSunkenFrame(HDC dc, int left, int top, int right, int bottom, bool fill);
