// A stand-in for the background window: a borderless window over the whole
// screen (or a given rectangle) that paints itself with PaintBackground, so a
// screenshot can be checked against the gradient, the tiles and the title.
//
//   paint_harness [--rect X,Y,W,H] [--bitmap FILE] [--title TEXT] [--ready-file PATH]
//
// Prints "client X Y W H" (the client area on the screen), "display bits=N
// nt4=0|1" and "ready" once painted, then waits until the ready file exists
// (or 60 s) and ends with 0. The title style: red first pass, yellow second
// pass, 40-pixel bold Tahoma without smoothing, so both passes have the very
// same pixels.
#include <windows.h>

#include <fcntl.h>
#include <io.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "common/setup_state.h"
#include "graphics/background.h"
#include "package/format.h"
#include "startup/platform.h"

namespace {

std::vector<uint8_t> g_bitmap;
bool g_hasBitmap = false;
const char* g_title = nullptr;
uint8_t g_style[format::kTitleStyleSize];

LRESULT CALLBACK HarnessProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_PAINT && !IsIconic(window)) {
    PaintBackground(window, g_hasBitmap ? g_bitmap.data() : nullptr, static_cast<uint32_t>(g_bitmap.size()), g_title,
                    g_style, sizeof g_style);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void MakeStyle() {
  format::WriteU32(g_style, RGB(255, 0, 0));
  format::WriteU32(g_style + 4, RGB(255, 255, 0));
  LOGFONTA font = {};
  font.lfHeight = -40;
  font.lfWeight = FW_BOLD;
  font.lfCharSet = ANSI_CHARSET;
  font.lfQuality = NONANTIALIASED_QUALITY;
  strcpy(font.lfFaceName, "Tahoma");
  memcpy(g_style + 8, &font, sizeof font);
}

bool ReadWholeFile(const char* path, std::vector<uint8_t>* bytes) {
  FILE* file = fopen(path, "rb");
  if (!file) return false;
  uint8_t buffer[65536];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, file)) > 0) bytes->insert(bytes->end(), buffer, buffer + n);
  fclose(file);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  _setmode(_fileno(stdout), _O_BINARY);  // lines end in LF alone, for the shell
  ReadPlatform();
  g_setup.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  g_setup.screenHeight = GetSystemMetrics(SM_CYSCREEN);
  int x = 0, y = 0, width = g_setup.screenWidth, height = g_setup.screenHeight;
  const char* readyFile = nullptr;
  MakeStyle();
  for (int i = 1; i < argc; ++i) {
    bool hasValue = i + 1 < argc;
    if (!strcmp(argv[i], "--rect") && hasValue) {
      if (sscanf(argv[++i], "%d,%d,%d,%d", &x, &y, &width, &height) != 4) return 2;
    } else if (!strcmp(argv[i], "--bitmap") && hasValue) {
      if (!ReadWholeFile(argv[++i], &g_bitmap)) {
        fprintf(stderr, "cannot read %s\n", argv[i]);
        return 2;
      }
      g_hasBitmap = true;
    } else if (!strcmp(argv[i], "--title") && hasValue) {
      g_title = argv[++i];
    } else if (!strcmp(argv[i], "--ready-file") && hasValue) {
      readyFile = argv[++i];
    } else {
      fprintf(stderr, "usage: paint_harness [--rect X,Y,W,H] [--bitmap FILE] [--title TEXT] [--ready-file PATH]\n");
      return 2;
    }
  }

  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = HarnessProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));  // as the stub's
  windowClass.lpszClassName = "QuorinPaintHarness";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, windowClass.lpszClassName, "Paint harness", WS_POPUP | WS_VISIBLE, x, y, width,
                                height, nullptr, nullptr, windowClass.hInstance, nullptr);
  if (!window) return 1;
  UpdateWindow(window);
  GdiFlush();

  RECT client;
  GetClientRect(window, &client);
  POINT origin = {0, 0};
  ClientToScreen(window, &origin);
  HDC dc = GetDC(window);
  int bits = GetDeviceCaps(dc, PLANES) * GetDeviceCaps(dc, BITSPIXEL);
  ReleaseDC(window, dc);
  printf("client %ld %ld %ld %ld\n", origin.x, origin.y, client.right, client.bottom);
  printf("display bits=%d nt4=%d\n", bits, g_setup.isNt4 ? 1 : 0);
  printf("ready\n");
  fflush(stdout);

  DWORD start = GetTickCount();
  while (GetTickCount() - start < 60000) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    if (readyFile && GetFileAttributesA(readyFile) != INVALID_FILE_ATTRIBUTES) break;
    Sleep(50);
  }
  DestroyWindow(window);
  return 0;
}
