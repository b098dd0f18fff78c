#include "remove_file.h"

#include <windows.h>

#include <string.h>

#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/font_name.h"
#include "install/restart_replace.h"
#include "install/uninstall_data.h"
#include "report.h"
#include "uninstall_state.h"

namespace {

const char kSharedKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kFontsKeyNt[] = "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
const char kFontsKey9x[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";

const char kSharedQuestion[] =
    "The shared file\n\n%s\n\nis no longer used by any installed program. Do you want to remove it?\n\n"
    "A program that still needs it may stop working.";

// Lowers the file's count in the shared-file key. Returns true when no other
// product counts on the file any more; a value that is not a 32-bit number
// is left alone and the file kept. A file without a count (the key or value
// is missing, so the setup could not count it) is taken as used by this
// product alone.
bool ReleaseSharedFile(const char* path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return true;
  DWORD type = 0;
  DWORD count = 0;
  DWORD size = sizeof count;
  LONG result = RegQueryValueExA(key, path, nullptr, &type, reinterpret_cast<BYTE*>(&count), &size);
  bool lastUser = true;
  if (result == ERROR_SUCCESS && size == sizeof count && (type == REG_DWORD || type == REG_BINARY)) {
    if (count > 1) {
      --count;
      RegSetValueExA(key, path, 0, type, reinterpret_cast<BYTE*>(&count), sizeof count);
      lastUser = false;
    } else {
      RegDeleteValueA(key, path);
    }
  } else if (result != ERROR_FILE_NOT_FOUND) {
    NoteProblem(path, "kept: its shared count cannot be read");
    lastUser = false;
  }
  RegCloseKey(key);
  return lastUser;
}

void UnregisterComponent(const char* path) {
  HMODULE library = LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
  if (!library) return;
  typedef HRESULT(STDAPICALLTYPE * Unregister)();
  // Through void*: the system's generic procedure type differs from this one.
  Unregister unregister =
      reinterpret_cast<Unregister>(reinterpret_cast<void*>(GetProcAddress(library, "DllUnregisterServer")));
  if (unregister) unregister();
  FreeLibrary(library);
}

// The value is removed only when it names this very file: another font of
// the same name in another file keeps its registration.
void RemoveFontValue(const char* path, const char* valueName) {
  HKEY key;
  const char* keyPath = g_setup.isNt ? kFontsKeyNt : kFontsKey9x;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyPath, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &key) != ERROR_SUCCESS)
    return;
  char file[format::kPathBufferSize] = {};
  DWORD size = sizeof file - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(file), &size) == ERROR_SUCCESS &&
      type == REG_SZ && (lstrcmpiA(file, strrchr(path, '\\') + 1) == 0 || lstrcmpiA(file, path) == 0))
    RegDeleteValueA(key, valueName);
  RegCloseKey(key);
}

void UnregisterFont(const char* path) {
  char fullName[format::kPathBufferSize];
  bool named = ReadFontFullNameFromFile(path, fullName);
  // Each registration in this session added the font once more.
  bool removed = false;
  for (int i = 0; i < 16 && RemoveFontResourceA(path); ++i) removed = true;
  if (removed) {
    DWORD_PTR answer;
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer);
  }
  if (named) {
    char valueName[format::kPathBufferSize];
    MakeFontValueName(valueName, fullName);
    RemoveFontValue(path, valueName);
  }
}

}  // namespace

void DeleteNowOrAtRestart(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return;
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    g_uninstall.failed = true;
    NoteProblem(path, "a folder, not a file");
    return;
  }
  // Installed files may be read-only; the record says they go all the same.
  if (attributes & FILE_ATTRIBUTE_READONLY) SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  if (DeleteFileA(path)) return;
  DWORD error = GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
  // On the NT family a file in use gives a sharing violation, or access
  // denied for a running program or a loaded library.
  bool inUse = error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION || error == ERROR_ACCESS_DENIED;
  if (inUse && ReplaceAtRestart(nullptr, path)) {
    g_uninstall.restartNeeded = true;
    return;
  }
  g_uninstall.failed = true;
  NoteProblem(path, "could not be removed");
}

void RemoveRecordedFile(const char* path, uint8_t flags) {
  if (flags & uninstall::kFileShared) {
    if (!ReleaseSharedFile(path)) return;
    if (!g_uninstall.quiet) {
      char question[sizeof kSharedQuestion + format::kPathBufferSize];
      wsprintfA(question, kSharedQuestion, path);
      if (ShowUninstallMessage(question, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2) != IDYES) return;
    }
  }
  if (GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES) return;
  if (flags & uninstall::kFileSelfRegistering) UnregisterComponent(path);
  if (flags & uninstall::kFileFont) UnregisterFont(path);
  DeleteNowOrAtRestart(path);
}
