#include "graphics/background.h"

#include "common/setup_state.h"
#include "graphics/bitmaps.h"
#include "graphics/gradient.h"
#include "package/format.h"

namespace {

// Title style record: the first pass's colour, the second pass's colour, the font.
constexpr uint32_t kStyleFirstColour = 0;
constexpr uint32_t kStyleSecondColour = 4;
constexpr uint32_t kStyleFont = 8;
static_assert(kStyleFont + sizeof(LOGFONTA) == format::kTitleStyleSize, "two colours and a LOGFONTA");

// The tiles start at the top-left corner and cover the whole client area; the
// device context clips them to the paint rectangle.
void DrawTiles(HDC dc, const RECT& client, const BitmapRecord& record) {
  SelectedPalette palette = SelectBitmapPalette(dc, record);
  int32_t columns = TileCount(client.right, record.width);
  int32_t rows = TileCount(client.bottom, record.rows);
  for (int32_t row = 0; row < rows; ++row)
    for (int32_t column = 0; column < columns; ++column)
      DrawBitmapAt(dc, record, column * record.width, row * record.rows);
  ReleaseBitmapPalette(dc, palette);
}

// One row at a time over the paint rectangle, its last row included; a brush
// is made only where the colour changes.
void DrawBandedGradient(HDC dc, const RECT& paint, int height) {
  HBRUSH brush = nullptr;
  COLORREF brushColour = CLR_INVALID;  // no gradient colour: the first row makes a brush
  for (int y = paint.top; y <= paint.bottom; ++y) {
    COLORREF colour = GradientColour(y, height);
    if (colour != brushColour) {
      DeleteObject(brush);  // null the first time, which deletes nothing
      brush = CreateSolidBrush(colour);
      brushColour = colour;
    }
    RECT row = {paint.left, y, paint.right, y + 1};
    FillRect(dc, &row, brush);
  }
  DeleteObject(brush);
}

// Bands of 8 rows over the whole client width, each filled with an 8 x 8
// pattern that mixes the colours of the band's row and the seven rows 8, 16,
// ..., 56 below it.
void DrawDitheredGradient(HDC dc, const RECT& client) {
  struct {
    BITMAPINFOHEADER header;
    uint8_t pixels[gradient::kTileBytes];
  } tile = {};
  static_assert(sizeof(tile) == 232, "a 40-byte header and 192 bytes of pixels");
  tile.header.biSize = sizeof(BITMAPINFOHEADER);
  tile.header.biWidth = 8;
  tile.header.biHeight = 8;
  tile.header.biPlanes = 1;
  tile.header.biBitCount = 24;
  tile.header.biSizeImage = gradient::kTileBytes;
  for (int band = 0; band < client.bottom; band += gradient::kBandRows) {
    FillDitherTile(tile.pixels, band, client.bottom);
    HBRUSH brush = CreateDIBPatternBrushPt(&tile, DIB_RGB_COLORS);
    RECT rows = {client.left, band, client.right, band + gradient::kBandRows};
    FillRect(dc, &rows, brush);
    DeleteObject(brush);
  }
}

// The title twice: the first colour at (14, 14) as the shadow, then the second
// colour at (10, 10) on top of it.
void DrawTitle(HDC dc, const char* title, const uint8_t* style) {
  HFONT font = CreateFontIndirectA(reinterpret_cast<const LOGFONTA*>(style + kStyleFont));
  HGDIOBJ previousFont = font ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  RECT rect = {14, 14, g_setup.screenWidth, g_setup.screenHeight};
  SetTextColor(dc, format::ReadU32(style + kStyleFirstColour));
  DrawTextA(dc, title, -1, &rect, DT_NOPREFIX | DT_NOCLIP);
  rect.left = rect.top = 10;
  SetTextColor(dc, format::ReadU32(style + kStyleSecondColour));
  DrawTextA(dc, title, -1, &rect, DT_NOPREFIX | DT_NOCLIP);
  if (font) {
    SelectObject(dc, previousFont);
    DeleteObject(font);
  }
}

}  // namespace

void PaintBackground(HWND window, const uint8_t* bitmap, uint32_t bitmapSize, const char* title,
                     const uint8_t* titleStyle, uint32_t titleStyleSize) {
  RECT client;
  GetClientRect(window, &client);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(window, &paint);
  BitmapRecord record;
  if (ReadBitmapRecord(bitmap, bitmapSize, &record)) {
    DrawTiles(dc, client, record);
  } else if (client.bottom > 0) {
    if (GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL) <= 8 || g_setup.isNt4)
      DrawBandedGradient(dc, paint.rcPaint, client.bottom);
    else
      DrawDitheredGradient(dc, client);
  }
  if (title && *title && titleStyle && titleStyleSize >= format::kTitleStyleSize) DrawTitle(dc, title, titleStyle);
  EndPaint(window, &paint);
}
