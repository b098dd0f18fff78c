#include "graphics/bitmaps.h"

#include "graphics/drawing.h"

namespace {

// The system's twenty static colours sit at both ends of the palette.
constexpr int kStaticColours = 10;

struct BitmapPalette {
  WORD version;
  WORD count;
  PALETTEENTRY entries[bitmap::kPaletteSize];
};
static_assert(sizeof(BitmapPalette) == 1028, "a LOGPALETTE of 256 entries");

// A palette of the bitmap's colour table; entries the table does not hold stay
// black, so nothing past the record is read.
HPALETTE MakeBitmapPalette(HDC dc, const BitmapRecord& record) {
  BitmapPalette palette = {};
  palette.version = 0x300;
  palette.count = bitmap::kPaletteSize;
  const uint8_t* table = record.info + bitmap::kInfoHeaderSize;
  for (uint32_t i = 0; i < bitmap::kPaletteSize; ++i) {
    PALETTEENTRY& entry = palette.entries[i];
    if (i < record.paletteColours) {
      entry.peRed = table[4 * i + 2];
      entry.peGreen = table[4 * i + 1];
      entry.peBlue = table[4 * i];
    }
    if (i < kStaticColours || i >= bitmap::kPaletteSize - kStaticColours) entry.peFlags = PC_NOCOLLAPSE;
  }
  // On a 256-colour palette display the static colours stay the system's own.
  if (GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL) == 8 && (GetDeviceCaps(dc, RASTERCAPS) & RC_PALETTE)) {
    GetSystemPaletteEntries(dc, 0, kStaticColours, palette.entries);
    GetSystemPaletteEntries(dc, bitmap::kPaletteSize - kStaticColours, kStaticColours,
                            palette.entries + bitmap::kPaletteSize - kStaticColours);
  }
  return CreatePalette(reinterpret_cast<LOGPALETTE*>(&palette));
}

}  // namespace

SelectedPalette SelectBitmapPalette(HDC dc, const BitmapRecord& record) {
  SelectedPalette selected = {};
  if (record.paletteColours == 0) return selected;
  selected.made = MakeBitmapPalette(dc, record);
  if (!selected.made) return selected;
  selected.previous = SelectPalette(dc, selected.made, FALSE);
  RealizePalette(dc);
  return selected;
}

void ReleaseBitmapPalette(HDC dc, const SelectedPalette& palette) {
  if (!palette.made) return;
  SelectPalette(dc, palette.previous, TRUE);
  DeleteObject(palette.made);
}

void DrawBitmapAt(HDC dc, const BitmapRecord& record, int x, int y) {
  // A top-down bitmap (negative height in its header) is drawn with its row
  // count as the height, so it lands the right way up like any other.
  StretchDIBits(dc, x, y, record.width, record.rows, 0, 0, record.width, record.rows, record.bits,
                reinterpret_cast<const BITMAPINFO*>(record.info), DIB_RGB_COLORS, SRCCOPY);
}

// The control's window rectangle in the window's client coordinates; false
// when the window has no such control.
static bool GetControlRect(HWND window, int controlId, RECT* rect) {
  HWND control = GetDlgItem(window, controlId);
  if (!control) return false;
  GetWindowRect(control, rect);
  MapWindowPoints(nullptr, window, reinterpret_cast<POINT*>(rect), 2);
  return true;
}

void DrawControlFrame(HWND window, HDC dc, int controlId, bool fill) {
  RECT rect;
  if (GetControlRect(window, controlId, &rect)) DrawSunkenFrame(dc, rect.left, rect.top, rect.right, rect.bottom, fill);
}

void DrawSideBitmap(HWND window, HDC dc, int controlId, const uint8_t* bitmap, uint32_t bitmapSize) {
  RECT area;
  if (!GetControlRect(window, controlId, &area)) return;
  IntersectClipRect(dc, area.left, area.top, area.right, area.bottom);
  BitmapRecord record;
  if (!ReadBitmapRecord(bitmap, bitmapSize, &record)) return;
  SelectedPalette palette = SelectBitmapPalette(dc, record);
  // Centred, each half rounded toward zero; a larger bitmap is cut to its middle by the clip.
  int x = area.left + (area.right - area.left - record.width) / 2;
  int y = area.top + (area.bottom - area.top - record.rows) / 2;
  DrawBitmapAt(dc, record, x, y);
  ReleaseBitmapPalette(dc, palette);
  DrawSunkenFrame(dc, x, y, x + record.width, y + record.rows, false);
}
