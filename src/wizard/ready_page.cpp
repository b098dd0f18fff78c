#include "common/controls.h"
#include "common/memory.h"
#include "common/safe_format.h"
#include "install/paths.h"
#include "package/messages.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"
#include "wizard/wizard_state.h"

namespace {

constexpr uint32_t kTextBufferSize = 1024;

// The destination line shows the folder without its trailing backslash,
// except a drive root's.
void ShowDestination(HWND page) {
  char* text;
  if (!AllocZeroed(kTextBufferSize, &text)) return;
  StripBackslash(g_setup.destinationFolder);
  FormatWithString(text, kTextBufferSize, GetGroupString(kPageReady, 2), g_setup.destinationFolder);
  SetDlgItemTextA(page, kIdPageText + 1, text);
  AppendBackslash(g_setup.destinationFolder);
  FreeBlock(text);
}

}  // namespace

INT_PTR CALLBACK ReadyPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitPage(page, kButtonBack | kButtonNext | kButtonCancel);
    ShowDestination(page);
    SetButtonText(kButtonNext, 3);
    SetFocus(GetDlgItem(FrameDialog(), kIdNext));
    return FALSE;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == kIdNext && g_setup.run.readOnlyTargets) {
    const char* question = GetGroupString(kMessageGroup, 7);
    if (*question && AskQuestion(kAskReadOnlyTargets, question, MB_YESNO | MB_ICONQUESTION) == IDNO)
      return MarkHandled(page);
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
