// Stand-ins until the painting code lands: the frame and the background are
// left to the system's default painting.
#include "graphics/background.h"
#include "graphics/bitmaps.h"
#include "graphics/drawing.h"

void FillColorRect(HDC dc, int x, int y, int width, int height, COLORREF colour) {
  SetBkColor(dc, colour);
  RECT rect = {x, y, x + width, y + height};
  ExtTextOutA(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr);
}
void DrawSunkenFrame(HDC, int, int, int, int, bool) {}
void DrawControlFrame(HWND, HDC, int, bool) {}
void DrawSideBitmap(HWND, HDC, int, const uint8_t*, uint32_t) {}
void PaintBackground(HWND window, const uint8_t*, uint32_t, const char*, const uint8_t*, uint32_t) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  if (dc) FillRect(dc, &paint.rcPaint, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
  EndPaint(window, &paint);
}
