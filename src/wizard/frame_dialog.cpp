// The frame dialog: navigation buttons, side bitmap and the place of the
// pages. Commands go to the current page first; what it leaves is handled here.
#include "common/controls.h"
#include "common/setup_state.h"
#include "graphics/bitmaps.h"
#include "package/messages.h"
#include "wizard/main_window.h"
#include "wizard/page_runner.h"
#include "wizard/page_setup.h"
#include "wizard/progress_page.h"
#include "wizard/wizard_state.h"

namespace {

// x = centre - size / 2, kept inside the parent; 0 where the dialog is larger.
int CentredOffset(int centre, int size, int parentSize) {
  int offset = centre - size / 2;
  int room = parentSize - size;
  if (offset < 0 || room < 0) return 0;
  return offset < room ? offset : room;
}

void CentreOnScreen(HWND dialog) {
  RECT parent, own;
  GetWindowRect(BackgroundWindow(), &parent);
  GetWindowRect(dialog, &own);
  int x = CentredOffset(g_wizard.centreX, own.right - own.left, parent.right - parent.left);
  int y = CentredOffset(g_wizard.centreY, own.bottom - own.top, parent.bottom - parent.top);
  SetWindowPos(dialog, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

void OnCancel() {
  if (g_wizard.buttonState & kCancelWithoutQuestion) {
    g_setup.pageResult = kResultCancel;
    return;
  }
  if (AskQuestion(kAskCancelWizard, GetGroupString(kMessageGroup, 14), MB_YESNO | MB_ICONQUESTION) != IDYES) return;
  ShowMessage(GetGroupString(kMessageGroup, 15), MB_ICONINFORMATION);
  g_setup.pageResult = kResultCancel;
  ClearFinishEntries();
}

void OnCommand(WPARAM wParam, LPARAM lParam) {
  if (g_wizard.currentPage && SendMessageA(g_wizard.currentPage, WM_COMMAND, wParam, lParam)) return;
  switch (LOWORD(wParam)) {
    case kIdNext: g_setup.pageResult = kResultNext; break;
    case kIdBack: g_setup.pageResult = kResultBack; break;
    case kIdCancel: OnCancel(); break;
  }
}

void OnPaint(HWND dialog) {
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(dialog, &paint);
  if (dc) {
    DrawControlFrame(dialog, dc, kIdFramedArea, true);
    const PackageData& package = g_setup.package;
    if (package.sideBitmap) DrawSideBitmap(dialog, dc, kIdSideBitmap, package.sideBitmap, package.sideBitmapSize);
  }
  EndPaint(dialog, &paint);
}

}  // namespace

void CloseWizard() {
  // Files are being installed: closing is a cancel, which asks first.
  if (g_setup.run.running) {
    if (!g_progress.cancelPending) SendMessageA(FrameDialog(), WM_COMMAND, kIdCancel, 0);
    return;
  }
  g_setup.pageResult = kResultCancel;
}

INT_PTR CALLBACK FrameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      CentreOnScreen(dialog);
      ApplyDialogFont(dialog);
      PostMessageA(dialog, WM_NCACTIVATE, 1, 0);  // a child window's caption is drawn inactive otherwise
      return TRUE;
    case WM_PAINT:
      OnPaint(dialog);
      break;
    case WM_COMMAND:
      OnCommand(wParam, lParam);
      break;
    case WM_SYSCOMMAND:
      switch (wParam & 0xFFF0) {
        case SC_MINIMIZE:
          ShowWindow(BackgroundWindow(), SW_MINIMIZE);
          break;
        case SC_CLOSE:
          // The default handling would post a second Cancel, which would end
          // the closing page at once: closing is fully handled here.
          CloseWizard();
          return TRUE;
      }
      break;
  }
  return CommonDialogHandler(dialog, message, wParam, lParam);
}

bool CreateFrameDialog() {
  g_wizard.frameTemplate = LoadTemplate(BackgroundMode() ? 1 : 0);
  if (!g_wizard.frameTemplate) return false;
  HWND background = BackgroundWindow();
  HWND frame = CreateDialogIndirectParamA(static_cast<HINSTANCE>(g_setup.instance),
                                          static_cast<LPCDLGTEMPLATEA>(g_wizard.frameTemplate), background,
                                          FrameDialogProc, 0);
  if (!frame) {
    FreeTemplate(g_wizard.frameTemplate);
    g_wizard.frameTemplate = nullptr;
    return false;
  }
  g_setup.frameDialog = frame;
  if (!BackgroundMode()) {
    // The background window shrinks to a captioned window whose client area
    // is exactly the frame dialog, where the dialog centred itself.
    RECT rect;
    GetWindowRect(frame, &rect);
    AdjustWindowRectEx(&rect, kFramedWindowStyle, FALSE, 0);
    SetWindowPos(background, nullptr, rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                 SWP_NOZORDER);
    SetWindowPos(frame, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  }
  ShowWindow(background, SW_SHOWNORMAL);
  UpdateWindow(background);
  return true;
}

void DestroyFrameDialog() {
  if (FrameDialog()) DestroyWindow(FrameDialog());
  g_setup.frameDialog = nullptr;
  FreeTemplate(g_wizard.frameTemplate);
  g_wizard.frameTemplate = nullptr;
}
