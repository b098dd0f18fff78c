#include "wizard/folder_browser.h"

#include <commdlg.h>

#include "common/memory.h"
#include "common/safe_format.h"
#include "package/format.h"
#include "package/strings.h"
#include "wizard/page_runner.h"
#include "wizard/page_setup.h"

using format::kPathBufferSize;

namespace {

constexpr int kIdFolder = 101;
constexpr int kIdFolderLabel = 1009;
constexpr int kIdDrivesLabel = 1091;

struct BrowserState {
  UINT selectionChanged;  // "commdlg_LBSelChangedNotify", registered on first use
  char* path;             // the folder shown, while a browse is open
  bool initialised;
};
BrowserState g_browser;

// Centred over the parent, or over the screen; never at a negative place.
void Centre(HWND dialog) {
  RECT own, around = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  GetWindowRect(dialog, &own);
  HWND parent = GetParent(dialog);
  if (parent) GetWindowRect(parent, &around);
  int x = around.left + ((around.right - around.left) - (own.right - own.left)) / 2;
  int y = around.top + ((around.bottom - around.top) - (own.bottom - own.top)) / 2;
  SetWindowPos(dialog, nullptr, x < 0 ? 0 : x, y < 0 ? 0 : y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

}  // namespace

UINT_PTR CALLBACK FolderBrowserHook(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  if (message == g_browser.selectionChanged && g_browser.initialised) {
    // The dialog makes the folder the user opens the current directory. Its
    // full path is already in the ANSI code page: no conversion.
    char* path = g_browser.path;
    DWORD length = GetFullPathNameA(".", kPathBufferSize, path, nullptr);
    if (!length || length >= kPathBufferSize) path[0] = 0;
    SetDlgItemTextA(dialog, kIdFolder, path);
    return 0;
  }
  if (message == WM_INITDIALOG) {
    ApplyDialogFont(dialog);
    SetDlgItemTextA(dialog, kIdFolder, g_browser.path);
    g_browser.initialised = true;
    SetWindowTextA(dialog, GetGroupString(6, 1));
    SetDlgItemTextA(dialog, kIdFolderLabel, GetGroupString(6, 2));
    SetDlgItemTextA(dialog, kIdDrivesLabel, GetGroupString(6, 3));
    SetDlgItemTextA(dialog, IDOK, GetGroupString(7, 4));
    SetDlgItemTextA(dialog, IDCANCEL, GetGroupString(7, 5));
    Centre(dialog);
    return 1;
  }
  if (message == WM_COMMAND && LOWORD(wParam) == IDOK) {
    GetDlgItemTextA(dialog, kIdFolder, g_browser.path, kPathBufferSize);
    // A typed folder ends the dialog with it; the dialog's own OK handling
    // still runs.
    if (g_browser.path[0]) PostMessageA(dialog, WM_COMMAND, IDABORT, 1);
  }
  return 0;
}

BOOL BrowseForFolder(HWND owner, char* folder) {
  if (!g_browser.selectionChanged) g_browser.selectionChanged = RegisterWindowMessageA("commdlg_LBSelChangedNotify");
  char* fileName = nullptr;
  OPENFILENAMEA* dialog = nullptr;
  BOOL result = 0;
  if (AllocZeroed(kPathBufferSize, &g_browser.path) && AllocZeroed(kPathBufferSize, &fileName) &&
      AllocZeroed(sizeof(OPENFILENAMEA), &dialog)) {
    void* dialogTemplate = LoadTemplate(7);
    dialog->lStructSize = sizeof(OPENFILENAMEA);
    dialog->hwndOwner = owner;
    dialog->hInstance = static_cast<HINSTANCE>(dialogTemplate);
    dialog->lpstrFilter = "*.*\0*.*\0";
    dialog->nFilterIndex = 1;
    dialog->lpstrFile = fileName;
    dialog->nMaxFile = kPathBufferSize;
    CopyBounded(g_browser.path, kPathBufferSize, folder);
    dialog->lpstrInitialDir = g_browser.path;
    dialog->Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE;
    dialog->lpfnHook = FolderBrowserHook;
    g_browser.initialised = false;
    result = GetSaveFileNameA(dialog);
    if (result) CopyBounded(folder, kPathBufferSize, g_browser.path);
    FreeTemplate(dialogTemplate);
  }
  FreeBlock(dialog);
  FreeBlock(fileName);
  FreeBlock(g_browser.path);
  return result;
}
