// The destination page: the user chooses the folder, sees the space needed
// and free, and Next makes sure of the folder before the ready page follows.
#include "common/controls.h"
#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/destination_check.h"
#include "install/paths.h"
#include "install/space.h"
#include "package/format.h"
#include "package/messages.h"
#include "wizard/folder_browser.h"
#include "wizard/page_runner.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"

using format::kPathBufferSize;

namespace {

constexpr uint32_t kSpaceTextSize = 100;
constexpr uint32_t kMessageSize = 1024;

const char* DestinationText(int entry) { return GetGroupString(kPageDestination, entry); }

void ShowMegabytes(HWND page, int id, uint32_t megabytes) {
  char text[kSpaceTextSize];
  FormatWithNumber(text, kSpaceTextSize, DestinationText(7), megabytes);
  SetDlgItemTextA(page, id, text);
}

// The field is the master copy of the destination folder while the page shows.
void TakeField(HWND page) {
  GetDlgItemTextA(page, kIdFolderField, g_setup.destinationFolder, kPathBufferSize);
}

void ShowFolder(HWND page) {
  StripBackslash(g_setup.destinationFolder);
  SetDlgItemTextA(page, kIdFolderField, g_setup.destinationFolder);
}

void ShowSpace(HWND page) {
  uint64_t freeKilobytes = 0;
  uint32_t clusterKb;
  if (!QueryFreeSpace(g_setup.destinationFolder, &freeKilobytes, &clusterKb)) freeKilobytes = 0;
  ShowMegabytes(page, kIdSpaceFree, MegabytesOfKilobytes(freeKilobytes));
  ShowMegabytes(page, kIdSpaceNeeded, MegabytesOfBytes(SpaceNeeded(clusterKb)));
}

void ShowCheckFailure(int result) {
  char* text;
  if (!AllocZeroed(kMessageSize, &text)) return;
  CopyBounded(text, kMessageSize, GetGroupString(kMessageGroup, 8));
  AppendBounded(text, kMessageSize, "\n\n");
  uint32_t used = static_cast<uint32_t>(lstrlenA(text));
  FormatErrorMessage(text + used, kMessageSize - used, result);
  ShowMessage(text, MB_ICONINFORMATION);
  FreeBlock(text);
}

// Next: the folder as a full path, made when missing, then checked. True
// when the ready page may follow.
bool AcceptFolder(HWND page) {
  TakeField(page);
  FolderResult folder = PrepareDestinationFolder();
  if (folder == kFolderDeclined) return false;
  if (folder == kFolderFailed) {
    ShowMessage(GetGroupString(kMessageGroup, 5), MB_ICONINFORMATION);
    return false;
  }
  SetDlgItemTextA(page, kIdPageText + 1, GetGroupString(kMessageGroup, 4));
  SetDlgItemTextA(page, kIdPageText + 2, "");
  SetDlgItemTextA(page, kIdPageText + 3, "");
  UpdateWindow(page);
  int result = CheckDestination();
  if (result == 11 &&
      AskQuestion(kAskNotEnoughSpace, GetGroupString(kMessageGroup, 11), MB_YESNO | MB_ICONQUESTION) == IDYES)
    result = 0;
  else if (result && result != 11)
    ShowCheckFailure(result);
  if (result == 0) return true;
  for (int i = 1; i <= 3; ++i) SetDlgItemTextA(page, kIdPageText + i, DestinationText(i + 1));
  return false;
}

}  // namespace

INT_PTR CALLBACK DestinationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    InitPage(page, kButtonBack | kButtonNext | kButtonCancel);
    ShowFolder(page);
    AppendBackslash(g_setup.destinationFolder);
    SetDlgItemTextA(page, kIdSpaceNeededLabel, DestinationText(5));
    SetDlgItemTextA(page, kIdSpaceFreeLabel, DestinationText(6));
    ShowSpace(page);
    if (g_setup.package.flags & format::kFlagEditableFolder) {
      SetFocus(GetDlgItem(page, kIdFolderField));
      return FALSE;
    }
    SendDlgItemMessageA(page, kIdFolderField, EM_SETREADONLY, TRUE, 0);
    EnableWindow(GetDlgItem(page, kIdBrowse), FALSE);
    return TRUE;
  }
  if (message == WM_COMMAND) {
    switch (LOWORD(wParam)) {
      case kIdFolderField:
        TakeField(page);
        ShowSpace(page);
        break;
      case kIdBrowse:
        TakeField(page);
        BrowseForFolder(page, g_setup.destinationFolder);
        ShowFolder(page);
        break;
      case kIdBack:
        if (SinglePageMode() || HasInformationPage()) break;
        JumpToPage(kPageWelcome);
        return MarkHandled(page);
      case kIdNext:
        if (SinglePageMode() || AcceptFolder(page)) break;
        return MarkHandled(page);
    }
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
