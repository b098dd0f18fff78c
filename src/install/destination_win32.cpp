#include "install/destination.h"

#include <shlobj.h>
#include <string.h>
#include <winver.h>

#include "common/file_io.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "package/format.h"

namespace {

constexpr uint32_t kPathSize = static_cast<uint32_t>(format::kPathBufferSize);

// The directory calls return the length they need when the buffer is too
// small and leave it undefined then.
void DirectoryOrEmpty(UINT (WINAPI* query)(LPSTR, UINT), char* folder) {
  UINT length = query(folder, kPathSize);
  if (length == 0 || length >= kPathSize) folder[0] = 0;
}

void ShellFolder(int csidl, char* folder) {
  folder[0] = 0;
  LPITEMIDLIST list = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK || !list) return;
  if (!SHGetPathFromIDListA(list, folder)) folder[0] = 0;
  CoTaskMemFree(list);
}

// Reads a registry value of any type as text. The buffer is zeroed first, so
// a shorter value without its NUL still ends; one that fills all 260 bytes
// without a NUL is too long, and a cut path would name another folder, so it
// reads as absent.
void ReadValueText(HKEY key, const char* name, char* text) {
  memset(text, 0, kPathSize);
  DWORD size = kPathSize;
  if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS ||
      text[kPathSize - 1])
    text[0] = 0;
}

void ProgramFilesFolder(char* folder) {
  folder[0] = 0;
  HKEY key;
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", &key) != ERROR_SUCCESS)
    return;
  ReadValueText(key, "ProgramFilesDir", folder);
  RegCloseKey(key);
}

bool FindStoredName(const char* path, char* foundName) {
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA(path, &found);
  if (search == INVALID_HANDLE_VALUE) return false;
  FindClose(search);
  CopyBounded(foundName, kPathSize, found.cFileName);
  return true;
}

void RememberedInRegistry(char* candidate) {
  const PackageData& package = g_setup.package;
  if (!package.locationKey) return;
  HKEY key;
  if (RegOpenKeyExA(LocationRootKey(package.locationRoot), package.locationKey, 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return;
  ReadValueText(key, package.locationValue, candidate);
  RegCloseKey(key);
}

// The profile call cuts a value that does not fit without saying so; one
// byte more of buffer tells a value of 259 characters from a longer one,
// which reads as absent.
void RememberedInIniFile(char* candidate) {
  const PackageData& package = g_setup.package;
  if (!package.locationIniFile || !package.locationIniSection || !package.locationIniKey) return;
  char value[format::kPathBufferSize + 1];
  DWORD length = GetPrivateProfileStringA(package.locationIniSection, package.locationIniKey,
                                          g_setup.destinationFolder, value, sizeof value, package.locationIniFile);
  if (length == 0 || length >= kPathSize) {
    candidate[0] = 0;
    return;
  }
  memcpy(candidate, value, length + 1);
}

// The folder must still exist; a value naming a file inside it counts for the
// folder. Entering the folder is the test, so it stays the current directory.
bool StillExists(char* candidate) {
  if (SetCurrentDirectoryA(candidate)) return true;
  return CutFileComponent(candidate) && SetCurrentDirectoryA(candidate);
}

void ExpandDestinationMacro(char* folder) {
  size_t length;
  FolderMacro macro = ParseFolderMacro(folder, &length);
  if (macro == kMacroNone) return;
  char value[format::kPathBufferSize];
  value[0] = 0;
  // The shell folders are macros of the shortcut folder lists only.
  if (macro == kMacroWindows || macro == kMacroSystem || macro == kMacroProgramFiles)
    GetFolderMacroValue(macro, value);
  ReplaceFolderMacro(folder, length, value);
}

// Some version libraries never report a file in use; an exclusive open that
// meets a sharing violation is the same test made directly.
bool HeldOpenElsewhere(const char* path) {
  FileHandle file = OpenExisting(path, kOpenWrite);
  if (file != INVALID_FILE) {
    CloseFile(file);
    return false;
  }
  return GetLastError() == ERROR_SHARING_VIOLATION;
}

int ResolveSharedSystemFile(const char* name, char* path) {
  const char* fileName = LastComponent(name);
  char windowsFolder[format::kPathBufferSize];
  char applicationFolder[format::kPathBufferSize];
  char currentFolder[format::kPathBufferSize] = "";
  char proposedFolder[format::kPathBufferSize] = "";
  DirectoryOrEmpty(GetWindowsDirectoryA, windowsFolder);
  CopyBounded(applicationFolder, kPathSize, g_setup.destinationFolder);
  StripBackslash(applicationFolder);
  UINT currentLength = kPathSize;
  UINT proposedLength = kPathSize;
  DWORD found = VerFindFileA(VFFF_ISSHAREDFILE, const_cast<char*>(fileName), windowsFolder, applicationFolder,
                             currentFolder, &currentLength, proposedFolder, &proposedLength);
  proposedFolder[kPathSize - 1] = 0;
  if (!proposedFolder[0]) DirectoryOrEmpty(GetSystemDirectoryA, proposedFolder);
  if (!JoinPath(path, proposedFolder, fileName)) return kDestinationTooLong;

  if ((found & VFF_FILEINUSE) || HeldOpenElsewhere(path)) return 1;
  // A read-only file fails the runtime's write-access check just the same;
  // a missing one does not.
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) ? 1 : 0;
}

}  // namespace

HKEY LocationRootKey(uint32_t index) {
  switch (index) {
    case 0: return HKEY_CLASSES_ROOT;
    case 2: return HKEY_LOCAL_MACHINE;
    case 3: return HKEY_USERS;
    default: return HKEY_CURRENT_USER;
  }
}

void GetFolderMacroValue(FolderMacro macro, char* value) {
  value[0] = 0;
  switch (macro) {
    case kMacroWindows: DirectoryOrEmpty(GetWindowsDirectoryA, value); break;
    case kMacroSystem: DirectoryOrEmpty(GetSystemDirectoryA, value); break;
    case kMacroProgramFiles: ProgramFilesFolder(value); break;
    case kMacroStartMenu: ShellFolder(CSIDL_STARTMENU, value); break;
    case kMacroStartup: ShellFolder(CSIDL_STARTUP, value); break;
    default: break;
  }
}

void ConvertToLongName(char* path) { ConvertToLongNameWith(path, FindStoredName); }

void ResolveDestinationFolder() {
  char* folder = g_setup.destinationFolder;
  if (!folder) return;
  char candidate[format::kPathBufferSize];
  candidate[0] = 0;
  RememberedInRegistry(candidate);
  if (!candidate[0]) RememberedInIniFile(candidate);
  if (candidate[0] && StillExists(candidate)) {
    CopyBounded(folder, kPathSize, candidate);
    ConvertToLongName(folder);
  }
  ExpandDestinationMacro(folder);
}

int ResolveEntryDestination(const uint8_t* entry) {
  char* path = g_setup.workPathB;
  const char* name = EntryString(entry, 0);
  if (entry[format::kEntryKind] == format::kEntryExternal)
    return BesideSourcePath(path, g_setup.sourcePath ? g_setup.sourcePath : "", name) ? 0 : kDestinationTooLong;
  char folder[format::kPathBufferSize];
  switch (entry[format::kEntryDestKind]) {
    case format::kDestWindows:
      DirectoryOrEmpty(GetWindowsDirectoryA, folder);
      break;
    case format::kDestSharedSystem:
      return ResolveSharedSystemFile(name, path);
    case format::kDestFonts:
      ShellFolder(CSIDL_FONTS, folder);
      break;
    default:
      CopyBounded(folder, kPathSize, g_setup.destinationFolder ? g_setup.destinationFolder : "");
      break;
  }
  return JoinPath(path, folder, name) ? 0 : kDestinationTooLong;
}
