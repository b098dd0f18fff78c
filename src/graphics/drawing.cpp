#include "graphics/drawing.h"

void FillColorRect(HDC dc, int x, int y, int width, int height, COLORREF colour) {
  RECT rect = {x, y, x + width, y + height};
  SetBkColor(dc, colour);
  // An empty opaque text output fills with the exact colour, with no brush to make.
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, "", 0, nullptr);
}

void DrawSunkenFrame(HDC dc, int left, int top, int right, int bottom, bool fill) {
  int width = right - left;
  int height = bottom - top;
  if (fill) FillColorRect(dc, left + 1, top + 1, width - 2, height - 2, GetSysColor(COLOR_BTNFACE));
  COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  FillColorRect(dc, left, top, width - 1, 1, shadow);
  FillColorRect(dc, left, top, 1, height - 1, shadow);
  COLORREF highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
  FillColorRect(dc, left, bottom - 1, width, 1, highlight);
  FillColorRect(dc, right - 1, top, 1, height, highlight);
}
