#include "wizard/page_setup.h"

#include "common/controls.h"
#include "common/memory.h"
#include "package/strings.h"
#include "wizard/page_runner.h"
#include "wizard/window_title.h"
#include "wizard/wizard_state.h"

namespace {

constexpr uint32_t kTextBufferSize = 1024;

int ButtonId(unsigned selector) {
  switch (selector) {
    case kButtonBack: return kIdBack;
    case kButtonNext: return kIdNext;
    case kButtonCancel: return kIdCancel;
    default: return 0;
  }
}

// The page sits where the frame's placeholder control begins, at its own size.
void PlacePage(HWND page) {
  HWND frame = FrameDialog();
  HWND placeholder = GetDlgItem(frame, kIdPagePlaceholder);
  if (!placeholder) return;
  RECT rect;
  GetWindowRect(placeholder, &rect);
  POINT corner = {rect.left, rect.top};
  ScreenToClient(frame, &corner);
  SetWindowPos(page, nullptr, corner.x, corner.y, 0, 0, SWP_NOZORDER | SWP_NOSIZE);
}

void ShowCaption(const char* caption) {
  const char* title = GetGroupString(kMessageGroup, 0);
  SetWindowTextA(BackgroundWindow(), title);
  if (!*caption) return;
  if (BackgroundMode()) {
    SetWindowTextA(FrameDialog(), caption);
    return;
  }
  char* text;
  if (!AllocZeroed(kTextBufferSize, &text)) return;
  ComposeWindowTitle(text, kTextBufferSize, title, caption);
  SetWindowTextA(BackgroundWindow(), text);
  FreeBlock(text);
}

}  // namespace

void InitPage(HWND page, uint32_t buttonState) {
  g_wizard.currentPage = page;
  ApplyDialogFont(page);
  PlacePage(page);
  int group = g_wizard.pageIndex;
  ShowCaption(GetGroupString(group, 0));
  for (int i = 0; i < kPageTextCount; ++i) {
    HWND control = GetDlgItem(page, kIdPageText + i);
    if (control) SetWindowTextA(control, GetGroupString(group, i + 1));
  }
  SetButtonText(kButtonBack, 0);
  SetButtonText(kButtonNext, 1);
  SetButtonText(kButtonCancel, 2);
  if (SinglePageMode()) buttonState |= kCancelWithoutQuestion;
  SetButtonState(buttonState);
}

void SetButtonState(uint32_t buttonState) {
  g_wizard.buttonState = buttonState;
  HWND frame = FrameDialog();
  EnableWindow(GetDlgItem(frame, kIdBack), (buttonState & kButtonBack) != 0);
  EnableWindow(GetDlgItem(frame, kIdNext), (buttonState & kButtonNext) != 0);
  EnableWindow(GetDlgItem(frame, kIdCancel), (buttonState & kButtonCancel) != 0);
}

void SetButtonText(unsigned selector, int entry) {
  int id = ButtonId(selector);
  if (id) SetDlgItemTextA(FrameDialog(), id, GetGroupString(kButtonGroup, entry));
}

void ApplyDialogFont(HWND window) {
  if (!g_wizard.dialogFont) {
    HFONT own = reinterpret_cast<HFONT>(SendMessageA(window, WM_GETFONT, 0, 0));
    LOGFONTA description;
    if (own && GetObjectA(own, sizeof description, &description)) {
      description.lfWeight = FW_NORMAL;
      g_wizard.dialogFont = CreateFontIndirectA(&description);
    }
    if (!g_wizard.dialogFont) return;
  }
  for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT))
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(g_wizard.dialogFont), FALSE);
}

INT_PTR CommonDialogHandler(HWND, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      return reinterpret_cast<INT_PTR>(g_wizard.dialogBrush);
    default:
      return 0;
  }
}

void FocusIntoFrame() {
  HWND frame = FrameDialog();
  if (!frame) return;
  HWND focus = GetFocus();
  bool inside = focus && IsChild(frame, focus);
  if (inside && IsWindowEnabled(focus) && (GetWindowLongA(focus, GWL_STYLE) & WS_TABSTOP)) return;
  const int order[] = {kIdNext, kIdCancel, kIdBack};
  for (int id : order) {
    HWND button = GetDlgItem(frame, id);
    if (button && IsWindowVisible(button) && IsWindowEnabled(button)) {
      SendMessageA(frame, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(button), TRUE);
      return;
    }
  }
}

INT_PTR MarkHandled(HWND window) {
  SetWindowLongPtrA(window, DWLP_MSGRESULT, 1);
  return 1;
}
