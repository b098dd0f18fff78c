#include "common/controls.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"

// Its texts are placed by InitPage; Back, Next and Cancel are the frame's.
INT_PTR CALLBACK InformationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitPage(page, kButtonBack | kButtonNext | kButtonCancel);
    return TRUE;
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
