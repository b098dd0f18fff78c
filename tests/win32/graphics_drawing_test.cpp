// The wizard's drawing on a memory device context, read back with GetPixel:
// the sunken frame, the control frame, the side bitmap centred and clipped in
// its placeholder, palettes of 8-bit bitmaps, top-down bitmaps, and bitmap
// records that must draw nothing. Every record lies at the very end of its
// memory, in front of a page that cannot be read, so any read past it crashes.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdint.h>
#include <string.h>

#include <functional>
#include <vector>

#include "graphics/background.h"
#include "graphics/bitmaps.h"
#include "graphics/drawing.h"
#include "package/format.h"

namespace {

const COLORREF kPaper = RGB(1, 2, 3);
constexpr int kPlaceholderId = 1011;
constexpr int kFramedId = 1012;

// A 32-bit memory device context whose pixels start as kPaper.
class Canvas {
 public:
  Canvas(int width, int height) : width_(width), height_(height) {
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height;
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    dc_ = CreateCompatibleDC(nullptr);
    void* bits;
    bitmap_ = CreateDIBSection(dc_, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    previous_ = SelectObject(dc_, bitmap_);
    FillColorRect(dc_, 0, 0, width, height, kPaper);
  }
  ~Canvas() {
    SelectObject(dc_, previous_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  HDC dc() const { return dc_; }
  COLORREF at(int x, int y) const { return GetPixel(dc_, x, y); }

  // Compares every pixel with the expected colour; reports the first few differences.
  int Differences(const std::function<COLORREF(int, int)>& expected) const {
    int differences = 0;
    for (int y = 0; y < height_; ++y)
      for (int x = 0; x < width_; ++x) {
        COLORREF want = expected(x, y), got = at(x, y);
        if (want != got && ++differences <= 5)
          ADD_FAILURE() << "pixel (" << x << ", " << y << ") is " << std::hex << got << ", expected " << want;
      }
    return differences;
  }

 private:
  int width_, height_;
  HDC dc_;
  HBITMAP bitmap_;
  HGDIOBJ previous_;
};

// Bytes that end exactly where a no-access page begins.
class GuardedBytes {
 public:
  explicit GuardedBytes(const std::vector<uint8_t>& bytes) {
    SYSTEM_INFO system;
    GetSystemInfo(&system);
    size_t page = system.dwPageSize;
    size_t dataPages = (bytes.size() + page - 1) / page + 1;
    base_ = static_cast<uint8_t*>(VirtualAlloc(nullptr, (dataPages + 1) * page, MEM_COMMIT, PAGE_READWRITE));
    DWORD old;
    VirtualProtect(base_ + dataPages * page, page, PAGE_NOACCESS, &old);
    data_ = base_ + dataPages * page - bytes.size();
    if (!bytes.empty()) memcpy(data_, bytes.data(), bytes.size());
    size_ = static_cast<uint32_t>(bytes.size());
  }
  ~GuardedBytes() { VirtualFree(base_, 0, MEM_RELEASE); }
  const uint8_t* data() const { return data_; }
  uint32_t size() const { return size_; }

 private:
  uint8_t* base_;
  uint8_t* data_;
  uint32_t size_;
};

// The colour of pixel (x, y) of the test pictures, counted from their top row.
COLORREF PictureColour(int x, int y) { return RGB(x + 1, y % 256, 100 + y / 256); }

// A 24-bit bitmap record of the test picture, stored bottom-up or top-down.
std::vector<uint8_t> Picture24(int width, int height, bool topDown = false) {
  int stride = (width * 3 + 3) & ~3;
  std::vector<uint8_t> record(54 + static_cast<size_t>(stride) * height);
  uint8_t* info = record.data() + 14;
  format::WriteU32(info, 40);
  format::WriteU32(info + 4, width);
  format::WriteU32(info + 8, topDown ? -height : height);
  format::WriteU16(info + 12, 1);
  format::WriteU16(info + 14, 24);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = record.data() + 54 + static_cast<size_t>(stride) * (topDown ? y : height - 1 - y);
    for (int x = 0; x < width; ++x) {
      COLORREF c = PictureColour(x, y);
      row[3 * x] = GetBValue(c);
      row[3 * x + 1] = GetGValue(c);
      row[3 * x + 2] = GetRValue(c);
    }
  }
  return record;
}

// An 8-bit bitmap record whose colour table entry k is (k, 255 - k, 7); its
// pixels use the indexes 0 to colours - 1.
COLORREF TableColour(int k) { return RGB(k, 255 - k, 7); }
int PictureIndex(int x, int y, int colours) { return (x + 16 * y) % colours; }

std::vector<uint8_t> Picture8(int width, int height, uint32_t coloursUsed) {
  int colours = coloursUsed ? coloursUsed : 256;
  int stride = (width + 3) & ~3;
  std::vector<uint8_t> record(54 + 4 * colours + static_cast<size_t>(stride) * height);
  uint8_t* info = record.data() + 14;
  format::WriteU32(info, 40);
  format::WriteU32(info + 4, width);
  format::WriteU32(info + 8, height);
  format::WriteU16(info + 12, 1);
  format::WriteU16(info + 14, 8);
  format::WriteU32(info + 32, coloursUsed);
  for (int k = 0; k < colours; ++k) {
    record[54 + 4 * k] = GetBValue(TableColour(k));
    record[54 + 4 * k + 1] = GetGValue(TableColour(k));
    record[54 + 4 * k + 2] = GetRValue(TableColour(k));
  }
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      record[54 + 4 * colours + static_cast<size_t>(stride) * (height - 1 - y) + x] =
          static_cast<uint8_t>(PictureIndex(x, y, colours));
  return record;
}

// What DrawSunkenFrame leaves at (x, y) for the frame (left, top, right, bottom),
// or `inside` / `outside` elsewhere.
COLORREF FramePixel(int x, int y, int left, int top, int right, int bottom, COLORREF inside, COLORREF outside) {
  if (x < left || x >= right || y < top || y >= bottom) return outside;
  if (y == bottom - 1 || x == right - 1) return GetSysColor(COLOR_BTNHIGHLIGHT);
  if (y == top || x == left) return GetSysColor(COLOR_BTNSHADOW);
  return inside;
}

// A hidden window (client area = window) with one static control of the given
// identifier and rectangle in its client coordinates.
class ControlWindow {
 public:
  ControlWindow(int id, int x, int y, int width, int height) {
    window_ = CreateWindowExA(0, "STATIC", "", WS_POPUP, 140, 90, 400, 400, nullptr, nullptr, nullptr, nullptr);
    CreateWindowExA(0, "STATIC", "", WS_CHILD | WS_VISIBLE, x, y, width, height, window_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
  }
  ~ControlWindow() { DestroyWindow(window_); }
  HWND window() const { return window_; }

 private:
  HWND window_;
};

TEST(SunkenFrame, AroundTenByFourHasItsFourLines) {
  for (bool fill : {false, true}) {
    Canvas canvas(30, 20);
    DrawSunkenFrame(canvas.dc(), 5, 6, 15, 10, fill);
    COLORREF shadow = GetSysColor(COLOR_BTNSHADOW), highlight = GetSysColor(COLOR_BTNHIGHLIGHT);
    int top = 0, left = 0, bottom = 0, right = 0;
    for (int x = 0; x < 30; ++x) top += canvas.at(x, 6) == shadow, bottom += canvas.at(x, 9) == highlight;
    for (int y = 0; y < 20; ++y) left += canvas.at(5, y) == shadow, right += canvas.at(14, y) == highlight;
    EXPECT_EQ(top, 9);
    EXPECT_EQ(left, 3);
    EXPECT_EQ(bottom, 10);
    EXPECT_EQ(right, 4);
    COLORREF inside = fill ? GetSysColor(COLOR_BTNFACE) : kPaper;
    EXPECT_EQ(canvas.Differences([&](int x, int y) { return FramePixel(x, y, 5, 6, 15, 10, inside, kPaper); }), 0)
        << (fill ? "filled" : "not filled");
  }
}

TEST(ControlFrame, LiesOnTheControlAndNeedsIt) {
  ControlWindow window(kFramedId, 40, 50, 100, 60);
  Canvas canvas(400, 400);
  DrawControlFrame(window.window(), canvas.dc(), kFramedId, true);
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  EXPECT_EQ(canvas.Differences([&](int x, int y) { return FramePixel(x, y, 40, 50, 140, 110, face, kPaper); }), 0);

  Canvas untouched(400, 400);
  DrawControlFrame(window.window(), untouched.dc(), 4242, true);
  EXPECT_EQ(untouched.Differences([](int, int) { return kPaper; }), 0);
}

// The side bitmap of 150 x 300 in a placeholder at (20, 30) of the given size.
struct SideCase {
  const char* what;
  int width, height;   // the placeholder
  int offset;          // where the bitmap lands inside it, both ways
  bool topDown;
};

TEST(SideBitmap, IsCentredFramedAndClippedToItsPlaceholder) {
  const SideCase cases[] = {
      {"larger placeholder", 160, 310, 5, false},
      {"smaller placeholder", 140, 290, -5, false},
      {"top-down, larger placeholder", 160, 310, 5, true},
      {"top-down, smaller placeholder", 140, 290, -5, true},
  };
  for (const SideCase& c : cases) {
    SCOPED_TRACE(c.what);
    GuardedBytes record(Picture24(150, 300, c.topDown));
    ControlWindow window(kPlaceholderId, 20, 30, c.width, c.height);
    Canvas canvas(400, 400);
    DrawSideBitmap(window.window(), canvas.dc(), kPlaceholderId, record.data(), record.size());
    int left = 20 + c.offset, top = 30 + c.offset;
    EXPECT_EQ(canvas.Differences([&](int x, int y) {
      bool inPlaceholder = x >= 20 && x < 20 + c.width && y >= 30 && y < 30 + c.height;
      if (!inPlaceholder) return kPaper;
      COLORREF picture = x >= left && x < left + 150 && y >= top && y < top + 300 ? PictureColour(x - left, y - top)
                                                                                  : kPaper;
      return FramePixel(x, y, left, top, left + 150, top + 300, picture, kPaper);
    }), 0);
  }
}

TEST(SideBitmap, EightBitPicturesShowTheirColourTable) {
  for (uint32_t coloursUsed : {0u, 100u}) {
    SCOPED_TRACE(coloursUsed);
    GuardedBytes record(Picture8(20, 10, coloursUsed));
    ControlWindow window(kPlaceholderId, 10, 10, 40, 30);
    Canvas canvas(100, 100);
    DrawSideBitmap(window.window(), canvas.dc(), kPlaceholderId, record.data(), record.size());
    int colours = coloursUsed ? coloursUsed : 256;
    EXPECT_EQ(canvas.Differences([&](int x, int y) {
      COLORREF picture = x >= 20 && x < 40 && y >= 20 && y < 30 ? TableColour(PictureIndex(x - 20, y - 20, colours))
                                                                : kPaper;
      return FramePixel(x, y, 20, 20, 40, 30, picture, kPaper);
    }), 0);
  }
}

TEST(SideBitmap, BadRecordsDrawNothing) {
  struct Bad {
    const char* what;
    std::vector<uint8_t> bytes;
  };
  std::vector<Bad> bad;
  std::vector<uint8_t> good = Picture24(4, 3);
  bad.push_back({"empty", {}});
  bad.push_back({"header cut short", std::vector<uint8_t>(good.begin(), good.begin() + 40)});
  bad.push_back({"bits cut short", std::vector<uint8_t>(good.begin(), good.end() - 1)});
  auto with = [&](const char* what, std::vector<uint8_t> bytes, size_t offset, uint32_t value) {
    format::WriteU32(bytes.data() + offset, value);
    bad.push_back({what, bytes});
  };
  with("0 x 0", Picture24(0, 0), 18, 0);
  with("negative width", good, 18, static_cast<uint32_t>(-4));
  with("lowest height", good, 22, 0x80000000u);
  with("huge width", good, 18, 0x7FFFFFFF);
  with("huge height", good, 22, 0x7FFFFFFF);
  with("version 5 header", good, 14, 124);
  with("bit-field masks", good, 30, 3);
  std::vector<uint8_t> eight = Picture8(4, 4, 0);
  with("run-length 8", eight, 30, 1);
  with("colour table past the end", eight, 46, 300);
  bad.push_back({"8-bit table cut short", std::vector<uint8_t>(eight.begin(), eight.begin() + 54 + 600)});

  ControlWindow window(kPlaceholderId, 10, 10, 60, 60);
  for (const Bad& b : bad) {
    SCOPED_TRACE(b.what);
    GuardedBytes record(b.bytes);
    Canvas canvas(100, 100);
    DrawSideBitmap(window.window(), canvas.dc(), kPlaceholderId, record.data(), record.size());
    EXPECT_EQ(canvas.Differences([](int, int) { return kPaper; }), 0);
  }
}

// A background window that paints itself with the record under test.
const uint8_t* g_background;
uint32_t g_backgroundSize;

LRESULT CALLBACK BackgroundProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT) {
    PaintBackground(window, g_background, g_backgroundSize, nullptr, nullptr, 0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

TEST(Background, BadRecordsLeaveTheGradient) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = BackgroundProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "GraphicsTestBackground";
  ASSERT_TRUE(RegisterClassA(&windowClass));
  std::vector<uint8_t> good = Picture24(4, 3);
  std::vector<uint8_t> huge = good;
  format::WriteU32(huge.data() + 22, 0x7FFFFFFF);
  std::vector<uint8_t> flat = good;
  format::WriteU32(flat.data() + 22, 0);
  for (const std::vector<uint8_t>* bytes : {&huge, &flat}) {
    GuardedBytes record(*bytes);
    g_background = record.data();
    g_backgroundSize = record.size();
    HWND window = CreateWindowExA(0, windowClass.lpszClassName, "", WS_POPUP | WS_VISIBLE, 0, 0, 200, 160, nullptr,
                                  nullptr, nullptr, nullptr);
    ASSERT_TRUE(window);
    UpdateWindow(window);
    HDC dc = GetDC(window);
    COLORREF top = GetPixel(dc, 3, 0), bottom = GetPixel(dc, 3, 159);
    ReleaseDC(window, dc);
    DestroyWindow(window);
    EXPECT_EQ(top & 0xFFFF, 0u) << std::hex << top;          // no red, no green
    EXPECT_GE(GetBValue(top), 240) << std::hex << top;        // blue at the top
    EXPECT_LE(GetBValue(bottom), 20) << std::hex << bottom;   // near black at the bottom
  }
  UnregisterClassA(windowClass.lpszClassName, windowClass.hInstance);
}

}  // namespace
