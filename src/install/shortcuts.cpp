#include "install/shortcuts.h"

#include <windows.h>
#include <shlobj.h>

#include <string.h>

#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/destination.h"
#include "install/install_loop.h"
#include "install/paths.h"
#include "install/uninstall_data.h"
#include "package/format.h"

using format::kPathBufferSize;

namespace {

constexpr char kLinkExtension[] = ".lnk";

bool ShellFolderPath(int csidl, char* folder) {
  folder[0] = 0;
  LPITEMIDLIST list = nullptr;
  if (SHGetSpecialFolderLocation(nullptr, csidl, &list) != S_OK || !list) return false;
  bool found = SHGetPathFromIDListA(list, folder) != 0;
  CoTaskMemFree(list);
  return found && folder[0];
}

bool Append(char* path, const char* text) {
  if (strlen(path) + strlen(text) >= kPathBufferSize) return false;
  AppendBounded(path, kPathBufferSize, text);
  return true;
}

// The folder that one item of a menu folder list names: the Start menu, the Startup
// folder, or a program group below Programs (the Programs folder itself
// when the item is empty).
bool MenuFolder(const char* folderItem, size_t length, char* folder) {
  char text[kPathBufferSize];
  if (length >= kPathBufferSize) return false;
  memcpy(text, folderItem, length);
  text[length] = 0;
  size_t macroLength;
  FolderMacro macro = ParseFolderMacro(text, &macroLength);
  if ((macro == kMacroStartMenu || macro == kMacroStartup) && macroLength == length)
    return ShellFolderPath(macro == kMacroStartMenu ? CSIDL_STARTMENU : CSIDL_STARTUP, folder);
  if (!ShellFolderPath(CSIDL_PROGRAMS, folder)) return false;
  return !*text || (Append(folder, "\\") && Append(folder, text));
}

// One menu shortcut and, with a file, its record. False when no record was
// written: the folder cannot be made, or a path would not fit and name
// another file.
bool MenuShortcut(const char* target, const char* folderItem, size_t length, const char* name,
                  const char* arguments, int iconIndex, FileHandle data) {
  char path[kPathBufferSize];
  if (!MenuFolder(folderItem, length, path)) return false;
  StripBackslash(path);
  if (!SetCurrentDirectoryA(path)) {
    AppendBackslash(path);
    CreateFolders(path);
    StripBackslash(path);
    if (!SetCurrentDirectoryA(path)) return false;
  }
  size_t folderLength = strlen(path);
  if (!Append(path, "\\") || !Append(path, name) || !Append(path, kLinkExtension)) return false;
  CreateShortcut(target, path, arguments, iconIndex);
  if (data == INVALID_FILE) return false;
  // The record is written whether or not the shortcut could be saved.
  return WriteCounted(data, path, static_cast<uint32_t>(folderLength)) &&
         WriteCounted(data, path + folderLength + 1, static_cast<uint32_t>(strlen(path + folderLength + 1)));
}

}  // namespace

bool WriteCounted(FileHandle file, const char* text, uint32_t length) {
  uint8_t field[2];
  format::WriteU16(field, static_cast<uint16_t>(length));
  return WriteExact(file, field, 2) == kFileOk && WriteExact(file, text, length) == kFileOk;
}

long CreateShortcut(const char* target, const char* shortcutPath, const char* arguments, int iconIndex) {
  IShellLinkA* link;
  HRESULT result = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                    reinterpret_cast<void**>(&link));
  if (FAILED(result)) return result;
  link->SetPath(target);
  const char* slash = strrchr(target, '\\');
  if (slash) {
    char folder[kPathBufferSize];
    CopyBounded(folder, static_cast<uint32_t>(slash - target + 1), target);
    link->SetWorkingDirectory(folder);
  }
  if (*arguments) link->SetArguments(arguments);
  if (iconIndex) link->SetIconLocation(target, iconIndex);
  IPersistFile* file;
  result = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (SUCCEEDED(result)) {
    WCHAR wide[kPathBufferSize];
    MultiByteToWideChar(CP_ACP, 0, shortcutPath, -1, wide, kPathBufferSize);
    result = file->Save(wide, TRUE);
    file->Release();
  }
  link->Release();
  return result;
}

bool DesktopShortcutPath(const uint8_t* entry, char* path) {
  const char* name = EntryString(entry, 4);
  if (!*name || !ShellFolderPath(CSIDL_DESKTOP, path)) return false;
  return Append(path, "\\") && Append(path, name) && Append(path, kLinkExtension);
}

void CreateDesktopShortcut(const uint8_t* entry, const char* target) {
  char path[kPathBufferSize];
  if (DesktopShortcutPath(entry, path)) CreateShortcut(target, path, EntryString(entry, 5), 0);
}

void MenuShortcutPass(FileHandle data) {
  const PackageData& package = g_setup.package;
  const uint8_t* entry = package.firstEntry;
  uint32_t headerAt = 0, count = 0;
  bool started = false;
  for (uint32_t i = 0; i < package.fileCount; ++i, entry += format::ReadU32(entry + format::kEntrySize)) {
    const char* name = EntryString(entry, 2);
    if (!*name || ResolveEntryDestination(entry) == kDestinationTooLong) continue;
    char target[kPathBufferSize];
    CopyBounded(target, kPathBufferSize, g_setup.workPathB);
    if (!started && data != INVALID_FILE) {
      uint8_t placeholder[uninstall::kHeaderSize + 4] = {};
      headerAt = FilePosition(data);
      WriteExact(data, placeholder, sizeof placeholder);
    }
    started = true;
    // The folder list, split at ';'; a ';' at its very end adds nothing.
    const char* list = EntryString(entry, 1);
    for (const char* folderItem = list;;) {
      const char* end = strchr(folderItem, ';');
      size_t length = end ? static_cast<size_t>(end - folderItem) : strlen(folderItem);
      if (MenuShortcut(target, folderItem, length, name, EntryString(entry, 3),
                       format::ReadU16(entry + format::kEntryIconIndex), data))
        ++count;
      if (!end || !end[1]) break;
      folderItem = end + 1;
    }
  }
  if (!started || data == INVALID_FILE) return;
  uint32_t endAt = FilePosition(data);
  uint8_t header[uninstall::kHeaderSize + 4];
  uninstall::PutHeader(header, uninstall::kTagShortcuts, endAt - headerAt - uninstall::kHeaderSize);
  format::WriteU32(header + uninstall::kHeaderSize, count);
  SeekFromStart(data, headerAt);
  WriteExact(data, header, sizeof header);
  SeekFromStart(data, endAt);
}
