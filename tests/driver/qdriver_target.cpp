// A small Win32 program shaped like the setup wizard (a main window holding a
// frame dialog with Back, Next and Cancel, which holds a page dialog with
// texts), for testing qdriver before the real wizard relies on it. Its exit
// code tells what the driver did to it:
//   Next:   16 + 1 (the question was answered Yes) + 2 (I agree checked)
//              + 4 (the edit field held "C:\Quorin Target")
//   Cancel confirmed: -1;   window closed from its system menu: 3.
// Started with --hello it first shows a message box that has no owner; with
// --fail it ends with 5 at once, as a program that cannot start would.
#include <windows.h>

#include <string.h>

#include "target_ids.h"

namespace {

const char kClassName[] = "QuorinTargetClass";
const char kTitle[] = "Driver Target";

HINSTANCE g_instance;
HWND g_main;
HWND g_frame;
HWND g_page;
int g_answer;
int g_exitCode = 3;

INT_PTR CALLBACK PageProc(HWND page, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message == WM_COMMAND && LOWORD(wParam) == IDC_TARGET_AGREE && HIWORD(wParam) == BN_CLICKED) {
    // Next is allowed only with the box checked, as a licence page would do.
    EnableWindow(GetDlgItem(g_frame, IDOK), IsDlgButtonChecked(page, IDC_TARGET_AGREE) == BST_CHECKED);
    return TRUE;
  }
  return FALSE;
}

int ExitCodeForNext() {
  char folder[MAX_PATH] = {};
  GetDlgItemTextA(g_page, IDC_TARGET_EDIT, folder, sizeof(folder));
  int code = 16;
  if (g_answer == IDYES) code += 1;
  if (IsDlgButtonChecked(g_page, IDC_TARGET_AGREE) == BST_CHECKED) code += 2;
  if (strcmp(folder, "C:\\Quorin Target") == 0) code += 4;
  return code;
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wParam, LPARAM) {
  if (message == WM_INITDIALOG) return TRUE;
  if (message != WM_COMMAND || HIWORD(wParam) != BN_CLICKED) return FALSE;
  switch (LOWORD(wParam)) {
    case IDC_TARGET_ASK:
      g_answer = MessageBoxA(frame, "Do you want to continue?", "Driver Target Question",
                             MB_YESNO | MB_ICONQUESTION);
      SetDlgItemTextA(g_page, IDC_TARGET_TEXT, g_answer == IDYES ? "You said yes." : "You said no.");
      return TRUE;
    case IDC_TARGET_BACK:
      SetDlgItemTextA(g_page, IDC_TARGET_TEXT, "Back pressed.");
      return TRUE;
    case IDOK:
      g_exitCode = ExitCodeForNext();
      DestroyWindow(g_main);
      return TRUE;
    case IDCANCEL:
      if (MessageBoxA(frame, "Really cancel?", kTitle, MB_YESNO | MB_ICONQUESTION) == IDYES) {
        g_exitCode = -1;
        DestroyWindow(g_main);
      }
      return TRUE;
  }
  return FALSE;
}

LRESULT CALLBACK MainProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    PostQuitMessage(g_exitCode);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int) {
  g_instance = instance;
  if (commandLine && strstr(commandLine, "--fail")) return 5;
  if (commandLine && strstr(commandLine, "--hello")) {
    MessageBoxA(nullptr, "Hello before any window.", kTitle, MB_OK | MB_ICONINFORMATION);
  }

  WNDCLASSA windowClass = {};
  windowClass.style = CS_HREDRAW | CS_VREDRAW;
  windowClass.lpfnWndProc = MainProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = kClassName;
  if (!RegisterClassA(&windowClass)) return 2;

  g_main = CreateWindowExA(0, kClassName, "Driver Target - Welcome", WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX,
                           100, 100, 560, 380, nullptr, nullptr, instance, nullptr);
  if (!g_main) return 2;
  g_frame = CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_TARGET_FRAME), g_main, FrameProc, 0);
  g_page = g_frame ? CreateDialogParamA(instance, MAKEINTRESOURCEA(IDD_TARGET_PAGE), g_frame, PageProc, 0) : nullptr;
  if (!g_page) return 2;
  SetWindowPos(g_frame, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  SetWindowPos(g_page, nullptr, 10, 10, 0, 0, SWP_NOSIZE | SWP_NOZORDER);

  char args[512] = "args: ";
  strncat(args, commandLine ? commandLine : "", sizeof(args) - strlen(args) - 1);
  SetDlgItemTextA(g_page, IDC_TARGET_ARGS, args);

  ShowWindow(g_main, SW_SHOWNORMAL);
  UpdateWindow(g_main);

  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (IsDialogMessageA(g_frame, &message) || IsDialogMessageA(g_page, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}
