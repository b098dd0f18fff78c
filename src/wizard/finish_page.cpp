// The finish page reports success or the installation's error, offers a
// restart when files wait for it, a file to view and the program to start.
#include "common/controls.h"
#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/destination.h"
#include "package/format.h"
#include "package/strings.h"
#include "wizard/document_opener.h"
#include "wizard/page_runner.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"
#include "wizard/wizard_state.h"

namespace {

constexpr uint32_t kErrorBufferSize = 2048;

const char* FinishText(int entry) { return GetGroupString(kPageFinish, entry); }

HWND Item(HWND page, int id) { return GetDlgItem(page, id); }

RECT ItemRect(HWND page, int id) {
  RECT rect = {0, 0, 0, 0};
  HWND item = Item(page, id);
  if (item) {
    GetWindowRect(item, &rect);
    MapWindowPoints(nullptr, page, reinterpret_cast<POINT*>(&rect), 2);
  }
  return rect;
}

// An entry left at "replace failed" after an otherwise clean run.
bool ReplaceFailedSomewhere() {
  const uint8_t* entry = g_setup.package.firstEntry;
  for (uint32_t i = 0; i < g_setup.package.fileCount; ++i) {
    if (format::ReadU16(entry + format::kEntryStatus) == format::kStatusReplaceFailed) return true;
    entry += format::ReadU32(entry + format::kEntrySize);
  }
  return false;
}

void ShowError(HWND page) {
  // The message takes the place of the three texts.
  ShowWindow(Item(page, kIdPageText + 1), SW_HIDE);
  ShowWindow(Item(page, kIdPageText + 2), SW_HIDE);
  RECT main = ItemRect(page, kIdPageText), last = ItemRect(page, kIdPageText + 2);
  SetWindowPos(Item(page, kIdPageText), nullptr, 0, 0, main.right - main.left, last.bottom - main.top,
               SWP_NOMOVE | SWP_NOZORDER);
  int error = g_setup.run.errorCode;
  char* text;
  if (error == 15) {
    SetDlgItemTextA(page, kIdPageText, GetGroupString(kMessageGroup, 15));
  } else if (AllocZeroed(kErrorBufferSize, &text)) {
    char* message = text + kErrorBufferSize / 2;
    FormatErrorMessage(message, kErrorBufferSize / 2, error);
    FormatWithString(text, kErrorBufferSize / 2, FinishText(4), message);
    SetDlgItemTextA(page, kIdPageText, text);
    FreeBlock(text);
  }
  // After an error nothing is opened, run or installed at the end.
  ClearFinishEntries();
}

void ShowSuccess(HWND page) {
  bool single = SinglePageMode();
  bool viewButton = false, moved = false;
  if (g_setup.run.viewEntry || single) {
    if (*FinishText(5)) {
      SetDlgItemTextA(page, kIdViewButton, FinishText(5));
      ShowWindow(Item(page, kIdViewButton), SW_SHOW);
      viewButton = true;
    } else {
      ViewFile();
    }
  }
  bool checkBox = (g_setup.run.runEntry || single) && *FinishText(6) && Item(page, kIdRunCheckBox);
  if (checkBox) {
    SetDlgItemTextA(page, kIdRunCheckBox, FinishText(6));
    ShowWindow(Item(page, kIdRunCheckBox), SW_SHOW);
    if (!viewButton && !*FinishText(2)) {
      RECT view = ItemRect(page, kIdViewButton), box = ItemRect(page, kIdRunCheckBox);
      SetWindowPos(Item(page, kIdRunCheckBox), nullptr, box.left, view.top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
      SetDlgItemTextA(page, kIdPageText + 1, FinishText(3));
      SetDlgItemTextA(page, kIdPageText + 2, "");
      moved = true;
    }
  }
  SetDlgItemTextA(page, kIdPageText + 3, "");
  if (g_setup.run.restartNeeded) {
    // The restart notice takes the first free text line.
    int line;
    if (checkBox) line = moved ? 2 : 3;
    else if (!viewButton && !*FinishText(2)) line = 1;
    else if (!*FinishText(3)) line = 2;
    else line = 3;
    SetDlgItemTextA(page, kIdPageText + line, FinishText(7));
  }
}

void Restart() {
  if (g_setup.isNt) {
    HANDLE token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, &token)) return;
    TOKEN_PRIVILEGES privileges = {};
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &privileges.Privileges[0].Luid);
    privileges.PrivilegeCount = 1;
    privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    AdjustTokenPrivileges(token, FALSE, &privileges, 0, nullptr, nullptr);
    CloseHandle(token);
  }
  ExitWindowsEx(EWX_REBOOT, 0);
}

}  // namespace

void ViewFile() {
  const uint8_t* entry = g_setup.run.viewEntry;
  if (!entry || ResolveEntryDestination(entry) == kDestinationTooLong) return;
  const char* path = g_setup.workPathB;
  HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  CloseHandle(file);
  const char* dot = strrchr(path, '.');
  OpenDocument(path, dot ? dot : ".");
}

INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    RunState& run = g_setup.run;
    if (run.errorCode) run.restartNeeded = false;
    InitPage(page, kButtonNext | kCancelWithoutQuestion | (run.restartNeeded ? kButtonBack : 0));
    SetDlgItemTextA(page, kIdPageText + 3, "");
    if (run.restartNeeded) SetButtonText(kButtonBack, 6);
    ShowWindow(Item(page, kIdViewButton), SW_HIDE);
    if (Item(page, kIdRunCheckBox)) {
      CheckDlgButton(page, kIdRunCheckBox, g_setup.runAfterSetup ? BST_CHECKED : BST_UNCHECKED);
      ShowWindow(Item(page, kIdRunCheckBox), SW_HIDE);
    }
    if (!run.errorCode && ReplaceFailedSomewhere()) run.errorCode = 22;
    if (run.errorCode) ShowError(page);
    else ShowSuccess(page);
    SetFocus(GetDlgItem(FrameDialog(), kIdNext));
    return FALSE;
  }
  if (message == WM_COMMAND) {
    switch (LOWORD(wParam)) {
      case kIdNext:
      case kIdCancel:
        g_setup.pageResult = kResultCancel;
        return MarkHandled(page);
      case kIdBack:
        if (g_setup.run.restartNeeded) Restart();
        else JumpToPage(kPageDestination);
        return MarkHandled(page);
      case kIdViewButton:
        ViewFile();
        return MarkHandled(page);
      case kIdRunCheckBox:
        g_setup.runAfterSetup = IsDlgButtonChecked(page, kIdRunCheckBox) == BST_CHECKED;
        return MarkHandled(page);
    }
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
