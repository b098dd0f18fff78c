// Minimal destination page until the folder choice is built: it shows the
// folder and lets the wizard be walked, skipping an empty information page
// on Back as the real page does.
#include "common/controls.h"
#include "common/setup_state.h"
#include "install/paths.h"
#include "wizard/page_runner.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"

INT_PTR CALLBACK DestinationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitPage(page, kButtonBack | kButtonNext | kButtonCancel);
    StripBackslash(g_setup.destinationFolder);
    SetDlgItemTextA(page, kIdFolderField, g_setup.destinationFolder);
    AppendBackslash(g_setup.destinationFolder);
    return TRUE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == kIdBack && !SinglePageMode() && !HasInformationPage()) {
    JumpToPage(kPageWelcome);
    return MarkHandled(page);
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
