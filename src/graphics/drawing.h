// The two small drawing routines of the wizard: a plain colour fill and the
// one-pixel sunken border of the progress bar and the bitmap frames.
#pragma once

#include <windows.h>

// Fills (x, y) to (x + width, y + height) and leaves the colour as the device
// context's background colour.
void FillColorRect(HDC dc, int x, int y, int width, int height, COLORREF colour);

// Shadow on the top and left edges, highlight on the bottom and right edges;
// with `fill`, the inside is filled with the button face colour first.
void DrawSunkenFrame(HDC dc, int left, int top, int right, int bottom, bool fill);
