#include "common/controls.h"
#include "common/safe_format.h"
#include "graphics/drawing.h"
#include "wizard/progress_bar_layout.h"
#include "wizard/progress_page.h"

void DrawProgressBar(HWND page, HDC given) {
  HDC dc = given ? given : GetDC(page);
  if (!dc) return;
  char text[16];
  FormatWithNumber(text, sizeof text, "%d%%", g_progress.percentage);
  SetDlgItemTextA(page, kIdPercentage, text);

  HWND area = GetDlgItem(page, kIdProgressBar);
  RECT rect = {0, 0, 0, 0};
  if (area) {
    GetWindowRect(area, &rect);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
  }
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  HDC memory = area ? CreateCompatibleDC(dc) : nullptr;
  HBITMAP bitmap = memory ? CreateCompatibleBitmap(dc, width, height) : nullptr;
  HGDIOBJ old = bitmap ? SelectObject(memory, bitmap) : nullptr;
  if (old) {
    // Composed off-screen and copied at once, so redrawing after every file
    // does not flicker.
    FillColorRect(memory, 0, 0, width, height, GetSysColor(COLOR_BTNFACE));
    FillColorRect(memory, 0, 0, width, 1, GetSysColor(COLOR_BTNSHADOW));
    FillColorRect(memory, 0, 0, 1, height, GetSysColor(COLOR_BTNSHADOW));
    FillColorRect(memory, width - 1, 0, 1, height, GetSysColor(COLOR_BTNHIGHLIGHT));
    FillColorRect(memory, 0, height - 1, width, 1, GetSysColor(COLOR_BTNHIGHLIGHT));
    HBRUSH brush = CreateSolidBrush(GetSysColor(COLOR_ACTIVECAPTION));
    if (brush) {
      int blocks = ProgressBlockCount(width, height, g_progress.percentage);
      for (int i = 0; i < blocks; ++i) {
        int left = ProgressBlockLeft(height, i);
        RECT block = {left, 2, left + height / 2, height - 2};
        FillRect(memory, &block, brush);
      }
      BitBlt(dc, rect.left, rect.top, width, height, memory, 0, 0, SRCCOPY);
      DeleteObject(brush);
    }
    SelectObject(memory, old);
  }
  if (bitmap) DeleteObject(bitmap);
  if (memory) DeleteDC(memory);
  if (!given) ReleaseDC(page, dc);
}
