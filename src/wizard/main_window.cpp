#include "wizard/main_window.h"

#include "common/setup_state.h"

const char kBackgroundClassName[] = "QuorinClass";

constexpr int kIconResource = 800;

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

LRESULT CALLBACK BackgroundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) PostQuitMessage(0);  // ends the last message loop of the run
  return DefWindowProcA(window, message, wParam, lParam);
}
