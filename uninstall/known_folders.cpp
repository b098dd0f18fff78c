#include "known_folders.h"

#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/restart_replace.h"
#include "install/uninstall_data.h"
#include "uninstall_state.h"

namespace {

constexpr UINT kPathSize = format::kPathBufferSize;

void ShellFolder(int csidl, char* folder) {
  LPITEMIDLIST list = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK || !list) return;
  if (!SHGetPathFromIDListA(list, folder)) folder[0] = 0;
  CoTaskMemFree(list);
}

// The directory calls return the length they need when the buffer is too
// small and leave the buffer undefined then.
void SystemFolder(UINT (WINAPI* query)(LPSTR, UINT), char* folder) {
  UINT length = query(folder, kPathSize);
  if (length == 0 || length >= kPathSize) folder[0] = 0;
}

}  // namespace

void ReadKnownFolders() {
  char (*folders)[format::kPathBufferSize] = g_uninstall.knownFolders;
  SystemFolder(GetWindowsDirectoryA, folders[kFolderWindows]);
  SystemFolder(GetSystemDirectoryA, folders[kFolderSystem]);
  ShellFolder(CSIDL_FONTS, folders[kFolderFonts]);
  ShellFolder(CSIDL_DESKTOP, folders[kFolderDesktop]);
  ShellFolder(CSIDL_STARTMENU, folders[kFolderStartMenu]);
  ShellFolder(CSIDL_PROGRAMS, folders[kFolderPrograms]);
  ShellFolder(CSIDL_STARTUP, folders[kFolderStartup]);
}

const char* KnownFolderHolding(const char* path, unsigned set) {
  const char* innermost = nullptr;
  for (int i = 0; i < kKnownFolderCount; ++i) {
    const char* folder = g_uninstall.knownFolders[i];
    // An empty folder (one that could not be had) holds nothing.
    if ((set >> i & 1) && IsInsideFolder(path, folder) && (!innermost || strlen(folder) > strlen(innermost)))
      innermost = folder;
  }
  return innermost;
}

void RemoveEmptyFoldersUpTo(const char* folder, const char* root) {
  char path[format::kPathBufferSize];
  CopyBounded(path, kPathSize, folder);
  size_t rootLength = strlen(root);
  while (strlen(path) > rootLength && IsInsideFolder(path, root) && RemoveDirectoryA(path)) {
    char* last = strrchr(path, '\\');
    if (!last) break;
    *last = 0;
  }
}

void RemoveFoldersAtRestart(const char* folder, const char* root) {
  // Windows 9x removes no folders at the restart; a drive's root is never removed.
  if (!g_setup.isNt || !strchr(root, '\\')) return;
  char path[format::kPathBufferSize];
  CopyBounded(path, kPathSize, folder);
  size_t rootLength = strlen(root);
  while (IsInsideFolder(path, root) && ReplaceAtRestart(nullptr, path) && strlen(path) > rootLength)
    *strrchr(path, '\\') = 0;
}
