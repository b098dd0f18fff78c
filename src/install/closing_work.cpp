// The closing work after the last file: the uninstall data appended to the
// installed uninstaller, the menu shortcuts, the system's uninstall entry,
// the remembered folder, and the registration of self-registering components.
#include <windows.h>

#include <string.h>

#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/destination.h"
#include "install/install_loop.h"
#include "install/install_state.h"
#include "install/paths.h"
#include "install/shortcuts.h"
#include "install/uninstall_data.h"
#include "package/format.h"
#include "package/strings.h"

using namespace format;

namespace {

constexpr char kRunOnceKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
constexpr uint32_t kRegCtrlNames = 100;

uint8_t* NextEntry(const uint8_t* entry) { return const_cast<uint8_t*>(entry) + ReadU32(entry + kEntrySize); }

bool Placed(const uint8_t* entry) {
  uint16_t status = ReadU16(entry + kEntryStatus);
  return status == kStatusReplaced || status == kStatusNew || status == kStatusAtRestart;
}

bool WriteFileRecord(FileHandle data, const char* path, uint8_t flags) {
  char folder[kPathBufferSize];
  RecordedFolderOf(folder, path, g_setup.destinationFolder);
  const char* name = LastComponent(path);
  return WriteCounted(data, folder, static_cast<uint32_t>(strlen(folder))) &&
         WriteCounted(data, name, static_cast<uint32_t>(strlen(name))) && WriteExact(data, &flags, 1) == kFileOk;
}

// The file records: every placed entry listed for removal, and every desktop
// shortcut an entry names, whatever became of its file.
void WriteFileRecords(FileHandle data, uint32_t start) {
  uint32_t count = 0;
  const uint8_t* entry = g_setup.package.firstEntry;
  for (uint32_t i = 0; i < g_setup.package.fileCount; ++i, entry = NextEntry(entry)) {
    if (ResolveEntryDestination(entry) == kDestinationTooLong) continue;
    if (Placed(entry) && entry[kEntryKind] == kEntryListedForRemoval) {
      uint8_t flags = 0;
      if (entry[kEntryDestKind] != kDestFolder && entry[kEntryShared] == 1) flags |= uninstall::kFileShared;
      if (entry[kEntryDestKind] == kDestFonts) flags |= uninstall::kFileFont;
      if (entry[kEntrySpecial] == kSpecialSelfRegister) flags |= uninstall::kFileSelfRegistering;
      if (WriteFileRecord(data, g_setup.workPathB, flags)) ++count;
    }
    char shortcut[kPathBufferSize];
    if (DesktopShortcutPath(entry, shortcut) && WriteFileRecord(data, shortcut, 0)) ++count;
  }
  // The header takes the place of the uninstaller's last 8 bytes.
  uint32_t end = FilePosition(data);
  uint8_t header[uninstall::kHeaderSize + 4];
  uninstall::PutHeader(header, uninstall::kTagFiles, end - start);
  WriteU32(header + uninstall::kHeaderSize, count);
  SeekFromStart(data, start - uninstall::kHeaderSize);
  WriteExact(data, header, sizeof header);
  SeekFromStart(data, end);
}

void SetText(HKEY key, const char* name, const char* text) {
  if (*text) RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(strlen(text)));
}

void SetNumber(HKEY key, const char* name, DWORD value) {
  RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

// DisplayVersion, Publisher, DisplayIcon, InstallLocation, EstimatedSize,
// NoModify and NoRepair, as the package's uninstall-entry values ask.
void WriteEntryValues(HKEY key) {
  const uint8_t* values = g_setup.package.uninstallValues;
  uint32_t size = g_setup.package.uninstallValuesSize;
  if (!values || size < kUninstallValuesFixedSize) return;
  uint32_t flags = ReadU32(values);
  // The loader keeps a zero byte behind every body, so the texts end.
  const char* text = reinterpret_cast<const char*>(values + kUninstallValuesFixedSize);
  const char* version = text;
  const char* publisher = version + strlen(version) + 1;
  bool hasPublisher = publisher < text + size - kUninstallValuesFixedSize;
  const char* icon = hasPublisher ? publisher + strlen(publisher) + 1 : "";
  if (!hasPublisher || icon >= text + size - kUninstallValuesFixedSize) icon = "";
  SetText(key, "DisplayVersion", version);
  if (hasPublisher) SetText(key, "Publisher", publisher);
  char folder[kPathBufferSize];
  CopyBounded(folder, kPathBufferSize, g_setup.destinationFolder);
  StripBackslash(folder);
  if (*icon) {
    char path[kPathBufferSize];
    bool absolute = (icon[0] && icon[1] == ':') || (icon[0] == '\\' && icon[1] == '\\');
    if (absolute ? (CopyBounded(path, kPathBufferSize, icon), strlen(icon) < kPathBufferSize) : JoinPath(path, folder, icon))
      SetText(key, "DisplayIcon", path);
  }
  if (flags & kValueInstallLocation) SetText(key, "InstallLocation", folder);
  if (flags & kValueEstimatedSize) SetNumber(key, "EstimatedSize", ReadU32(values + 4));
  if (flags & kValueNoModify) SetNumber(key, "NoModify", 1);
  if (flags & kValueNoRepair) SetNumber(key, "NoRepair", 1);
}

// The system's uninstall entry and its record in the uninstall data.
void WriteUninstallEntry(FileHandle data) {
  const char* name = g_setup.package.uninstallName;
  if (!name || !*name) return;
  char path[kPathBufferSize];
  CopyBounded(path, kPathBufferSize, uninstall::kUninstallKeyPrefix);
  if (strlen(path) + strlen(name) >= kPathBufferSize) return;
  AppendBounded(path, kPathBufferSize, name);
  HKEY key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, path, &key) == ERROR_SUCCESS) {
    SetText(key, "DisplayName", name);
    SetText(key, "UninstallString", g_setup.uninstallerPath);
    WriteEntryValues(key);
    RegCloseKey(key);
  }
  uint32_t length = static_cast<uint32_t>(strlen(path));
  uint8_t header[uninstall::kHeaderSize + 4];
  uninstall::PutHeader(header, uninstall::kTagKey, length + 6);
  WriteU32(header + uninstall::kHeaderSize, uninstall::kRootLocalMachine);
  WriteExact(data, header, sizeof header);
  WriteCounted(data, path, length);
}

// Appends the uninstall data to the uninstaller, at its own length less the
// 8-byte placeholder, and cuts the file after it: a reinstallation over an
// uninstaller that already carries records does not stack new ones behind
// them. An uninstaller waiting for the restart gets them in its new file.
// Without the file the shortcuts are still made, but no uninstall entry
// points at a program without records.
void WriteUninstallData() {
  const uint8_t* entry = g_setup.package.firstEntry;
  uint32_t size = 0;
  for (uint32_t i = 0; i < g_setup.package.fileCount; ++i, entry = NextEntry(entry))
    if (entry[kEntryOptions] & kOptionUninstaller) size = ReadU32(entry + kEntryFileSize);
  const char* path = g_install.uninstallerFile ? g_install.uninstallerFile : g_setup.uninstallerPath;
  FileHandle data = size >= uninstall::kHeaderSize ? OpenExisting(path, kOpenReadWrite) : INVALID_FILE;
  if (data == INVALID_FILE) {
    MenuShortcutPass(INVALID_FILE);
    return;
  }
  AppendBackslash(g_setup.destinationFolder);
  SeekFromStart(data, size);
  uint8_t count[4] = {};
  WriteExact(data, count, 4);
  WriteFileRecords(data, size);
  MenuShortcutPass(data);
  WriteUninstallEntry(data);
  uint8_t end[uninstall::kHeaderSize];
  uninstall::PutHeader(end, uninstall::kTagEnd, 0);
  WriteExact(data, end, sizeof end);
  SetEndOfFile(data);
  CloseFile(data);
}

void RememberFolder() {
  const PackageData& package = g_setup.package;
  char* folder = g_setup.destinationFolder;
  StripBackslash(folder);
  HKEY key;
  if ((package.flags & kFlagRememberInRegistry) && package.locationKey &&
      RegCreateKeyA(LocationRootKey(package.locationRoot), package.locationKey, &key) == ERROR_SUCCESS) {
    RegSetValueExA(key, package.locationValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(folder),
                   static_cast<DWORD>(strlen(folder) + 1));
    RegCloseKey(key);
  }
  if ((package.flags & kFlagRememberInIni) && package.locationIniFile && package.locationIniSection &&
      package.locationIniKey) {
    WritePrivateProfileStringA(package.locationIniSection, package.locationIniKey, folder, package.locationIniFile);
    WritePrivateProfileStringA(nullptr, nullptr, nullptr, package.locationIniFile);
  }
  AppendBackslash(folder);
}

// A component that only arrives at the next restart registers at the next
// logon, under the first free name RegCtrl000 to RegCtrl099.
void RegisterAtLogon(const char* path) {
  static uint32_t counter;
  HKEY key;
  if (RegCreateKeyA(HKEY_LOCAL_MACHINE, kRunOnceKey, &key) != ERROR_SUCCESS) return;
  while (counter < kRegCtrlNames) {
    char name[16] = "RegCtrl000";
    uint32_t n = counter++;
    name[7] = static_cast<char>('0' + n / 100);
    name[8] = static_cast<char>('0' + n / 10 % 10);
    name[9] = static_cast<char>('0' + n % 10);
    char value[360];
    DWORD size = sizeof value;
    if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size) != ERROR_FILE_NOT_FOUND)
      continue;
    char shortPath[kPathBufferSize];
    DWORD length = GetShortPathNameA(path, shortPath, kPathBufferSize);
    if (length == 0 || length >= kPathBufferSize) break;
    CopyBounded(value, sizeof value, "regsvr32 /s ");
    AppendBounded(value, sizeof value, shortPath);
    SetText(key, name, value);
    break;
  }
  RegCloseKey(key);
}

void RegisterComponents() {
  const uint8_t* entry = g_setup.package.firstEntry;
  for (uint32_t i = 0; i < g_setup.package.fileCount; ++i, entry = NextEntry(entry)) {
    if (entry[kEntrySpecial] != kSpecialSelfRegister || ResolveEntryDestination(entry) == kDestinationTooLong)
      continue;
    if (ReadU16(entry + kEntryStatus) == kStatusAtRestart) {
      RegisterAtLogon(g_setup.workPathB);
      continue;
    }
    HMODULE library = LoadLibraryA(g_setup.workPathB);
    if (!library) continue;
    typedef HRESULT(STDAPICALLTYPE * Register)();
    Register registerServer =
        reinterpret_cast<Register>(reinterpret_cast<void*>(GetProcAddress(library, "DllRegisterServer")));
    if (registerServer) registerServer();
    FreeLibrary(library);
  }
}

// Tells the log, if one is kept, how the installation ended.
void NoteEnd() {
  void (*note)(const char*, const char*) = g_install.hooks.note;
  if (!note) return;
  int error = g_setup.run.errorCode;
  if (!error) {
    note("closing work", g_setup.run.restartNeeded ? "done; files wait for the next restart" : "done");
    return;
  }
  char text[1024];
  FormatErrorMessage(text, sizeof text, error);
  char label[16] = "error ";
  label[6] = static_cast<char>('0' + error / 10 % 10);
  label[7] = static_cast<char>('0' + error % 10);
  label[8] = 0;
  note(label, text);
}

}  // namespace

void FinishInstallation() {
  AbandonInstallation();
  if (g_setup.run.errorCode == 0) {
    if (g_setup.uninstallerPath[0]) WriteUninstallData();
    else MenuShortcutPass(INVALID_FILE);
    RememberFolder();
    RegisterComponents();
  }
  FreeBlock(g_install.uninstallerFile);
  g_install.finished = true;
  NoteEnd();
}
