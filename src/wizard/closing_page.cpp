// The closing page ends every wizard run: Cancel, made the default button,
// closes the wizard without a question.
#include "common/controls.h"
#include "wizard/document_opener.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"
#include "wizard/wizard_state.h"

namespace {

constexpr int kCaptionBufferSize = 100;

void SetDefaultStyle(HWND button, bool on) {
  LONG style = GetWindowLongA(button, GWL_STYLE);
  SetWindowLongA(button, GWL_STYLE, on ? style | BS_DEFPUSHBUTTON : style & ~BS_DEFPUSHBUTTON);
}

}  // namespace

INT_PTR CALLBACK ClosingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitPage(page, kButtonCancel | kCancelWithoutQuestion);
    // The template carries the caption of this page in a hidden control.
    char caption[kCaptionBufferSize] = "";
    GetDlgItemTextA(page, kIdClosingCaption, caption, kCaptionBufferSize - 1);
    SetWindowTextA(BackgroundMode() ? FrameDialog() : BackgroundWindow(), caption);
    HWND cancel = GetDlgItem(FrameDialog(), kIdCancel);
    SetDefaultStyle(GetDlgItem(FrameDialog(), kIdNext), false);
    SetDefaultStyle(cancel, true);
    SetFocus(cancel);
    return FALSE;
  }
  if (message == WM_COMMAND) {
    if (LOWORD(wParam) == kIdLinkButton) {
      // The target is in plain form only while it is opened.
      Unscramble(LinkTarget());
      OpenDocument(LinkTarget(), ".htm");
      Unscramble(LinkTarget());
    } else {
      g_setup.pageResult = LOWORD(wParam);
      return MarkHandled(page);
    }
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
