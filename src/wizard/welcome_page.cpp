#include "common/controls.h"
#include "package/strings.h"
#include "wizard/page_runner.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"

// The information page exists only when it has a text.
bool HasInformationPage() { return *GetGroupString(kPageInformation, 1) != 0; }

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitPage(page, kButtonNext | kButtonCancel);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == kIdNext && !HasInformationPage()) {
    JumpToPage(kPageDestination);
    return MarkHandled(page);
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
