// Stands in for a setup stub that is already running: a minimised window of
// the stub's class. It ends with 0 once something restores it (what a second
// stub must do), or with 1 when nothing did within a minute.
#include <windows.h>

static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER) {
    if (!IsIconic(window)) PostQuitMessage(0);
    else if (GetTickCount() - static_cast<DWORD>(GetWindowLongPtrA(window, GWLP_USERDATA)) > 60000)
      PostQuitMessage(1);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.lpszClassName = "QuorinClass";
  if (!RegisterClassA(&windowClass)) return 2;
  HWND window = CreateWindowExA(0, "QuorinClass", "First instance", WS_OVERLAPPEDWINDOW, 10, 10, 300, 200,
                                nullptr, nullptr, instance, nullptr);
  if (!window) return 2;
  SetWindowLongPtrA(window, GWLP_USERDATA, static_cast<LONG_PTR>(GetTickCount()));
  ShowWindow(window, SW_SHOWMINIMIZED);
  SetTimer(window, 1, 100, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return static_cast<int>(message.wParam);
}
