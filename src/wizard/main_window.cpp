#include "wizard/main_window.h"

#include "common/controls.h"
#include "common/setup_state.h"
#include "graphics/background.h"
#include "package/strings.h"
#include "wizard/page_setup.h"
#include "wizard/wizard_state.h"

const char kBackgroundClassName[] = "QuorinClass";

namespace {

constexpr int kIconResource = 800;
constexpr DWORD kBackgroundModeStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;

LRESULT OnSysCommand(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (wParam & 0xFFF0) {
    case SC_MAXIMIZE:
    case SC_RESTORE:
      if (FrameDialog()) ShowWindow(FrameDialog(), SW_SHOWNORMAL);
      break;
    case SC_CLOSE:
      CloseWizard();
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

bool RegisterBackgroundClass() {
  HINSTANCE instance = static_cast<HINSTANCE>(g_setup.instance);
  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = BackgroundWindowProc;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(kIconResource));
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  // The window paints itself or is covered by the wizard.
  windowClass.hbrBackground = static_cast<HBRUSH>(GetStockObject(NULL_BRUSH));
  windowClass.lpszClassName = kBackgroundClassName;
  return RegisterClassA(&windowClass) != 0;
}

bool CreateBackgroundWindow() {
  HWND window = CreateWindowExA(0, kBackgroundClassName, GetGroupString(kMessageGroup, 0),
                                BackgroundMode() ? kBackgroundModeStyle : kFramedWindowStyle, 0, 0,
                                g_setup.screenWidth, g_setup.screenHeight, nullptr, nullptr,
                                static_cast<HINSTANCE>(g_setup.instance), nullptr);
  if (!window) return false;
  g_setup.backgroundWindow = window;
  g_wizard.centreX = g_setup.screenWidth / 2;
  g_wizard.centreY = g_setup.screenHeight / 2;
  return true;
}

LRESULT CALLBACK BackgroundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);  // ends the last message loop of the run
      break;
    case WM_PAINT:
      if (BackgroundMode() && !IsIconic(window)) {
        const PackageData& package = g_setup.package;
        PaintBackground(window, package.backgroundBitmap, package.backgroundBitmapSize, package.backgroundTitle,
                        package.titleStyle, package.titleStyleSize);
        if (FrameDialog()) RedrawWindow(FrameDialog(), nullptr, nullptr, RDW_FRAME);
        return 0;
      }
      break;
    case WM_ACTIVATEAPP:
      // The frame dialog is a child window: its caption follows the program's activation.
      if (FrameDialog()) PostMessageA(FrameDialog(), WM_NCACTIVATE, wParam, 0);
      break;
    case WM_SYSCOMMAND:
      return OnSysCommand(window, message, wParam, lParam);
    case WM_ACTIVATE:
      // Remember where the keyboard was inside the frame dialog when a
      // message box or another program takes over.
      if (LOWORD(wParam) == WA_INACTIVE) {
        HWND focus = GetFocus();
        if (focus && FrameDialog() && IsChild(FrameDialog(), focus)) g_wizard.savedFocus = focus;
      }
      break;
    case WM_SETFOCUS:
      if (g_wizard.savedFocus && IsWindow(g_wizard.savedFocus) && IsChild(FrameDialog(), g_wizard.savedFocus))
        SetFocus(g_wizard.savedFocus);
      FocusIntoFrame();
      return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}
