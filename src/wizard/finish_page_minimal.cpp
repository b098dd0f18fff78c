// Minimal finish page until the closing work is built: it reports the error
// of the run, if any, in control 1000, and Next ends the wizard.
#include "common/controls.h"
#include "common/memory.h"
#include "common/setup_state.h"
#include "package/strings.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"

INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitPage(page, kButtonNext | kCancelWithoutQuestion | (g_setup.run.restartNeeded ? kButtonBack : 0));
    char* text;
    if (g_setup.run.errorCode && AllocZeroed(1024, &text)) {
      FormatErrorMessage(text, 1024, g_setup.run.errorCode);
      SetDlgItemTextA(page, kIdPageText, text);
      FreeBlock(text);
    }
    return TRUE;
  }
  if (message == WM_COMMAND && (LOWORD(wParam) == kIdNext || LOWORD(wParam) == kIdCancel)) {
    g_setup.pageResult = kResultCancel;
    return MarkHandled(page);
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
