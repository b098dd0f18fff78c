// Minimal progress page until the installation engine is built: it installs
// nothing and moves on to the finish page at once, as an empty file list does.
#include "common/controls.h"
#include "wizard/page_runner.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitPage(page, kButtonCancel);
    SetButtonText(kButtonCancel, 5);
    if (!SinglePageMode()) JumpToPage(kPageFinish);
    return TRUE;
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
