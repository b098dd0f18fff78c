// The frame dialog's pictures: the side bitmap centred and framed in its
// placeholder control, and the sunken frame around another control.
#pragma once

#include <windows.h>
#include <stdint.h>

#include "graphics/bitmap_record.h"

// The sunken frame over the child control's rectangle, in the window's client
// coordinates; nothing when the control does not exist.
void DrawControlFrame(HWND window, HDC dc, int controlId, bool fill);

// Clips the device context to the placeholder control and draws the bitmap
// record (which may be null) centred in it, with a sunken frame on its
// outermost pixels. A record that cannot be drawn safely draws nothing.
void DrawSideBitmap(HWND window, HDC dc, int controlId, const uint8_t* bitmap, uint32_t bitmapSize);

struct SelectedPalette {
  HPALETTE made;      // null when the bitmap has none
  HPALETTE previous;
};

// Makes a palette of the bitmap's own colours when it has 8 bits per pixel and
// selects and realizes it in the foreground; without one, nothing changes.
SelectedPalette SelectBitmapPalette(HDC dc, const BitmapRecord& record);
// Selects the previous palette back and deletes the one made.
void ReleaseBitmapPalette(HDC dc, const SelectedPalette& palette);

// Draws the whole bitmap unscaled with its top-left corner at (x, y).
void DrawBitmapAt(HDC dc, const BitmapRecord& record, int x, int y);
