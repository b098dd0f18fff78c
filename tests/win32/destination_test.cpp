// Destination folder at start-up and destination paths of file entries, on a
// real file system and registry: remembered folders from the registry and an
// INI file, folder macros, stored names of short and wrongly cased paths, and
// shared system files held open by another process.
#include <windows.h>

#include <shlobj.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/setup_state.h"
#include "install/destination.h"
#include "package/format.h"

namespace {

const char kTestKey[] = "Software\\QuorinDestinationTest";
const char kHeldReadyEvent[] = "QuorinDestinationTestHeldReady";
const char kHeldReleaseEvent[] = "QuorinDestinationTestRelease";

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return s;
}

std::string WindowsFolder() {
  char folder[MAX_PATH];
  GetWindowsDirectoryA(folder, sizeof(folder));
  return folder;
}

std::string SystemFolder() {
  char folder[MAX_PATH];
  GetSystemDirectoryA(folder, sizeof(folder));
  return folder;
}

std::string ProgramFilesFromRegistry() {
  char value[MAX_PATH] = "";
  DWORD size = sizeof(value);
  RegGetValueA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir",
               RRF_RT_REG_SZ, nullptr, value, &size);
  return value;
}

std::string CurrentFolder() {
  char folder[MAX_PATH] = "";
  GetCurrentDirectoryA(sizeof(folder), folder);
  return folder;
}

void WriteSmallFile(const std::string& path) {
  HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
  DWORD written;
  WriteFile(h, "data", 4, &written, nullptr);
  CloseHandle(h);
}

// A file entry with destination kind, entry kind and file name; the other
// five strings are empty.
std::vector<uint8_t> Entry(uint8_t destinationKind, uint8_t entryKind, const std::string& name) {
  std::vector<uint8_t> e(format::kEntryFixedSize, 0);
  e[format::kEntryDestKind] = destinationKind;
  e[format::kEntryKind] = entryKind;
  e.insert(e.end(), name.begin(), name.end());
  e.insert(e.end(), 6, 0);
  format::WriteU32(e.data(), static_cast<uint32_t>(e.size()));
  return e;
}

class Destination : public ::testing::Test {
 protected:
  void SetUp() override {
    g_setup = SetupState();
    AllocatePathBuffers();
    ASSERT_NE(g_setup.destinationFolder, nullptr);
    savedCurrent_ = CurrentFolder();

    char temp[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof(temp), temp), 0u);
    char longTemp[MAX_PATH];
    ASSERT_NE(GetLongPathNameA(temp, longTemp, sizeof(longTemp)), 0u);
    root_ = std::string(longTemp) + "Quorin Destination " + std::to_string(GetCurrentProcessId());
    MakeFolder(root_);
  }

  void TearDown() override {
    SetCurrentDirectoryA(savedCurrent_.c_str());
    RegDeleteKeyA(HKEY_CURRENT_USER, kTestKey);
    for (auto it = created_.rbegin(); it != created_.rend(); ++it) {
      SetFileAttributesA(it->c_str(), FILE_ATTRIBUTE_NORMAL);
      if (!RemoveDirectoryA(it->c_str())) DeleteFileA(it->c_str());
    }
    for (char* text : owned_) delete[] text;
    g_setup.package = PackageData();
    ReleasePathBuffers();
  }

  void MakeFolder(const std::string& path) {
    ASSERT_TRUE(CreateDirectoryA(path.c_str(), nullptr)) << path;
    created_.push_back(path);
  }
  void MakeFile(const std::string& path) {
    WriteSmallFile(path);
    created_.push_back(path);
  }

  // Package texts live as long as the test.
  char* Text(const std::string& s) {
    char* text = new char[s.size() + 1];
    memcpy(text, s.c_str(), s.size() + 1);
    owned_.push_back(text);
    return text;
  }

  void SetDefault(const std::string& folder) { strcpy(g_setup.destinationFolder, folder.c_str()); }

  void RememberInRegistry(const char* valueName, const std::string& value) {
    HKEY key;
    ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kTestKey, &key), ERROR_SUCCESS);
    RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                   static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    g_setup.package.locationRoot = 1;  // current user
    g_setup.package.locationKey = Text(kTestKey);
    g_setup.package.locationValue = valueName ? Text(valueName) : nullptr;
  }

  void RememberInIni(const std::string& value) {
    std::string ini = root_ + "\\remembered.ini";
    ASSERT_TRUE(WritePrivateProfileStringA("Setup", "Folder", value.c_str(), ini.c_str()));
    created_.push_back(ini);
    g_setup.package.locationIniFile = Text(ini);
    g_setup.package.locationIniSection = Text("Setup");
    g_setup.package.locationIniKey = Text("Folder");
  }

  std::string Resolved() {
    ResolveDestinationFolder();
    return g_setup.destinationFolder;
  }

  std::string root_;
  std::string savedCurrent_;
  std::vector<std::string> created_;
  std::vector<char*> owned_;
};

TEST_F(Destination, RememberedInTheRegistryWinsInItsStoredForm) {
  std::string folder = root_ + "\\Remembered Tool Folder";
  MakeFolder(folder);
  RememberInRegistry("InstallDir", Upper(folder));
  SetDefault("#Program Files#\\Default");
  EXPECT_EQ(Resolved(), folder);
  // Entering the folder was the existence test.
  EXPECT_EQ(Upper(CurrentFolder()), Upper(folder));
}

TEST_F(Destination, RegistryDefaultValueOfTheKey) {
  std::string folder = root_ + "\\Default Value";
  MakeFolder(folder);
  RememberInRegistry(nullptr, folder);
  SetDefault("C:\\Elsewhere");
  EXPECT_EQ(Resolved(), folder);
}

TEST_F(Destination, RememberedInAnIniFile) {
  std::string folder = root_ + "\\From Ini";
  MakeFolder(folder);
  RememberInIni(folder);
  SetDefault("#Windows#\\Default");
  EXPECT_EQ(Resolved(), folder);
}

TEST_F(Destination, EmptyRegistryValueFallsThroughToTheIniFile) {
  std::string folder = root_ + "\\Ini After Registry";
  MakeFolder(folder);
  RememberInRegistry("InstallDir", "");
  RememberInIni(folder);
  SetDefault("C:\\Elsewhere");
  EXPECT_EQ(Resolved(), folder);
}

TEST_F(Destination, MissingIniKeyGivesThePackageDefault) {
  std::string ini = root_ + "\\empty.ini";
  ASSERT_TRUE(WritePrivateProfileStringA("Other", "Key", "x", ini.c_str()));
  created_.push_back(ini);
  g_setup.package.locationIniFile = Text(ini);
  g_setup.package.locationIniSection = Text("Setup");
  g_setup.package.locationIniKey = Text("Folder");
  // The INI call returns the default, which does not exist as typed, so the
  // default is then expanded as usual.
  SetDefault("#System#\\Sub");
  EXPECT_EQ(Resolved(), SystemFolder() + "\\Sub");
}

TEST_F(Destination, VanishedFolderFallsBackToTheExpandedDefault) {
  RememberInRegistry("InstallDir", root_ + "\\Deleted Folder");
  SetDefault("#Program Files#\\Tools");
  std::string programFiles = ProgramFilesFromRegistry();
  ASSERT_FALSE(programFiles.empty());
  EXPECT_EQ(Resolved(), programFiles + "\\Tools");
}

TEST_F(Destination, ValueNamingAFileInsideAnExistingFolder) {
  std::string folder = root_ + "\\Apps\\Tool";
  MakeFolder(root_ + "\\Apps");
  MakeFolder(folder);
  RememberInRegistry("InstallDir", Upper(folder) + "\\tool.exe");
  SetDefault("C:\\Elsewhere");
  EXPECT_EQ(Resolved(), folder);
}

TEST_F(Destination, ValueNamingAFileInADeletedFolder) {
  RememberInRegistry("InstallDir", root_ + "\\Gone\\tool.exe");
  SetDefault("#windows#\\Fonts2");
  EXPECT_EQ(Resolved(), WindowsFolder() + "\\Fonts2");
}

TEST_F(Destination, OverlongRememberedValueIsIgnored) {
  RememberInRegistry("InstallDir", root_ + "\\" + std::string(400, 'x'));
  SetDefault("C:\\Default");
  EXPECT_EQ(Resolved(), "C:\\Default");

  // Cut to 259 characters, a value naming a file in an existing folder would
  // count for that folder: a value that does not fit counts as absent.
  std::string folder = root_ + "\\Existing";
  MakeFolder(folder);
  std::string named = folder + "\\tool.";  // a dot: the last component names a file
  std::string overlong = named + std::string(300 - named.size(), 'y');
  RememberInIni(overlong);
  SetDefault("C:\\Default");
  EXPECT_EQ(Resolved(), "C:\\Default");

  // 260 bytes without a NUL, as a binary value may hold them.
  std::string exact = named + std::string(260 - named.size(), 'z');
  RememberInRegistry("InstallDir", "");
  HKEY key;
  ASSERT_EQ(RegCreateKeyA(HKEY_CURRENT_USER, kTestKey, &key), ERROR_SUCCESS);
  RegSetValueExA(key, "InstallDir", 0, REG_BINARY, reinterpret_cast<const BYTE*>(exact.data()), 260);
  RegCloseKey(key);
  g_setup.package.locationIniFile = nullptr;
  SetDefault("C:\\Default");
  EXPECT_EQ(Resolved(), "C:\\Default");

  // 259 characters still fit: the folder of the named file is used.
  std::string fits = named + std::string(259 - named.size(), 'w');
  RememberInIni(fits);
  SetDefault("C:\\Default");
  EXPECT_EQ(Resolved(), folder);
}

TEST_F(Destination, FolderMacrosInAnyCase) {
  struct {
    const char* text;
    std::string expected;
  } cases[] = {
      {"#Windows#", WindowsFolder() + "\\"},
      {"#windows#\\Fonts2", WindowsFolder() + "\\Fonts2"},
      {"#SYSTEM#\\Sub\\Dir", SystemFolder() + "\\Sub\\Dir"},
      {"#program files#\\Tools", ProgramFilesFromRegistry() + "\\Tools"},
      {"#PROGRAM FILES#Tools", ProgramFilesFromRegistry() + "\\Tools"},
      // Words that name no folder here leave only the rest.
      {"#Other#\\Tools", "Tools"},
      {"#Start Menu#\\Tools", "Tools"},
      // No closing '#', or not at the start: the text as it stands.
      {"#Program Files\\Tools", "#Program Files\\Tools"},
      {"C:\\#Windows#\\x", "C:\\#Windows#\\x"},
  };
  for (const auto& c : cases) {
    SetDefault(c.text);
    EXPECT_EQ(Resolved(), c.expected) << c.text;
  }
}

TEST_F(Destination, LongNameConversionAgainstRealFolders) {
  std::string outer = root_ + "\\Long Outer Folder Name";
  std::string inner = outer + "\\MixedCase Inner.Dir";
  MakeFolder(outer);
  MakeFolder(inner);
  MakeFile(inner + "\\Some Long File.txt");

  char shortPath[MAX_PATH];
  ASSERT_NE(GetShortPathNameA((inner + "\\Some Long File.txt").c_str(), shortPath, sizeof(shortPath)), 0u);
  std::string shortText = shortPath;
  ASSERT_NE(shortText, inner + "\\Some Long File.txt");  // the prefix made 8.3 names

  char path[format::kPathBufferSize];
  strcpy(path, shortText.c_str());
  ConvertToLongName(path);
  EXPECT_EQ(std::string(path), inner + "\\Some Long File.txt");

  strcpy(path, (Upper(inner) + "\\").c_str());
  ConvertToLongName(path);
  EXPECT_EQ(std::string(path), inner);  // trailing backslash dropped

  // Any component that cannot be found leaves the whole path alone.
  std::string missing = Upper(outer) + "\\NOT THERE\\x";
  strcpy(path, missing.c_str());
  ConvertToLongName(path);
  EXPECT_EQ(std::string(path), missing);

  for (const char* unchanged : {"\\\\server\\share\\dir", "C:\\", "relative\\dir", ""}) {
    strcpy(path, unchanged);
    ConvertToLongName(path);
    EXPECT_STREQ(path, unchanged);
  }
}

TEST_F(Destination, EntriesByDestinationKind) {
  strcpy(g_setup.destinationFolder, "C:\\Apps\\Tool\\");
  strcpy(g_setup.sourcePath, "A:\\disk1\\setup.exe");
  char fonts[MAX_PATH] = "";
  ASSERT_TRUE(SHGetSpecialFolderPathA(nullptr, fonts, CSIDL_FONTS, FALSE));

  std::vector<uint8_t> e = Entry(format::kDestFolder, format::kEntryInstalled, "bin\\tool.exe");
  EXPECT_EQ(ResolveEntryDestination(e.data()), 0);
  EXPECT_STREQ(g_setup.workPathB, "C:\\Apps\\Tool\\bin\\tool.exe");

  e = Entry(7, format::kEntryListedForRemoval, "other.dat");  // unknown kinds go to the folder
  EXPECT_EQ(ResolveEntryDestination(e.data()), 0);
  EXPECT_STREQ(g_setup.workPathB, "C:\\Apps\\Tool\\other.dat");

  e = Entry(format::kDestWindows, format::kEntryInstalled, "tool.ini");
  EXPECT_EQ(ResolveEntryDestination(e.data()), 0);
  EXPECT_EQ(std::string(g_setup.workPathB), WindowsFolder() + "\\tool.ini");

  e = Entry(format::kDestFonts, format::kEntryInstalled, "face.ttf");
  EXPECT_EQ(ResolveEntryDestination(e.data()), 0);
  EXPECT_EQ(std::string(g_setup.workPathB), std::string(fonts) + "\\face.ttf");

  // An external entry lies beside the setup file whatever its destination kind.
  for (uint8_t kind : {0, 1, 2, 3}) {
    e = Entry(kind, format::kEntryExternal, "readme.txt");
    EXPECT_EQ(ResolveEntryDestination(e.data()), 0);
    EXPECT_STREQ(g_setup.workPathB, "A:\\disk1\\readme.txt") << int(kind);
  }

  // A file name too long for the folder is never written past 259.
  strcpy(g_setup.destinationFolder, "C:\\Apps");
  e = Entry(format::kDestFolder, format::kEntryInstalled, std::string(300, 'n'));
  g_setup.workPathB[259] = 0;
  EXPECT_EQ(ResolveEntryDestination(e.data()), kDestinationTooLong);
  EXPECT_LE(strlen(g_setup.workPathB), 259u);
}

TEST_F(Destination, SharedSystemFileNotPresent) {
  strcpy(g_setup.destinationFolder, (root_ + "\\").c_str());
  std::string name = "quorin-absent-" + std::to_string(GetCurrentProcessId()) + ".dll";
  std::vector<uint8_t> e = Entry(format::kDestSharedSystem, format::kEntryInstalled, "sub\\" + name);
  EXPECT_EQ(ResolveEntryDestination(e.data()), 0);
  // Only the last component counts; the folder is the system folder, which
  // is what the version library proposes for a shared file.
  EXPECT_EQ(Upper(g_setup.workPathB), Upper(SystemFolder() + "\\" + name));
}

TEST_F(Destination, SharedSystemFileReadOnly) {
  strcpy(g_setup.destinationFolder, root_.c_str());
  std::string name = "quorin-readonly-" + std::to_string(GetCurrentProcessId()) + ".dll";
  std::string path = SystemFolder() + "\\" + name;
  MakeFile(path);
  std::vector<uint8_t> e = Entry(format::kDestSharedSystem, format::kEntryInstalled, name);
  EXPECT_EQ(ResolveEntryDestination(e.data()), 0);
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_EQ(ResolveEntryDestination(e.data()), 1);
  EXPECT_EQ(Upper(g_setup.workPathB), Upper(path));
}

// Runs this program again, as a helper that holds the file open without
// sharing until told to let go.
class HeldOpen {
 public:
  explicit HeldOpen(const std::string& path) {
    ready_ = CreateEventA(nullptr, TRUE, FALSE, kHeldReadyEvent);
    release_ = CreateEventA(nullptr, TRUE, FALSE, kHeldReleaseEvent);
    SetEnvironmentVariableA("QUORIN_HOLD_FILE", path.c_str());
    char self[MAX_PATH];
    GetModuleFileNameA(nullptr, self, sizeof(self));
    std::string command = std::string("\"") + self +
                          "\" --gtest_also_run_disabled_tests --gtest_filter=Helper.DISABLED_HoldFileOpen";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    started_ = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                              &process_);
    SetEnvironmentVariableA("QUORIN_HOLD_FILE", nullptr);
  }
  bool Ready() { return started_ && WaitForSingleObject(ready_, 30000) == WAIT_OBJECT_0; }
  ~HeldOpen() {
    SetEvent(release_);
    if (started_) {
      WaitForSingleObject(process_.hProcess, 30000);
      CloseHandle(process_.hProcess);
      CloseHandle(process_.hThread);
    }
    CloseHandle(ready_);
    CloseHandle(release_);
  }

 private:
  HANDLE ready_;
  HANDLE release_;
  PROCESS_INFORMATION process_ = {};
  BOOL started_ = FALSE;
};

TEST(Helper, DISABLED_HoldFileOpen) {
  char path[MAX_PATH];
  ASSERT_NE(GetEnvironmentVariableA("QUORIN_HOLD_FILE", path, sizeof(path)), 0u);
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                            nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  HANDLE ready = OpenEventA(EVENT_MODIFY_STATE, FALSE, kHeldReadyEvent);
  HANDLE release = OpenEventA(SYNCHRONIZE, FALSE, kHeldReleaseEvent);
  ASSERT_TRUE(ready && release);
  SetEvent(ready);
  WaitForSingleObject(release, 60000);
  CloseHandle(file);
  CloseHandle(ready);
  CloseHandle(release);
}

TEST_F(Destination, SharedSystemFileHeldOpenByAnotherProcess) {
  strcpy(g_setup.destinationFolder, root_.c_str());
  std::string name = "quorin-held-" + std::to_string(GetCurrentProcessId()) + ".dll";
  std::string path = SystemFolder() + "\\" + name;
  MakeFile(path);
  std::vector<uint8_t> e = Entry(format::kDestSharedSystem, format::kEntryInstalled, name);
  {
    HeldOpen holder(path);
    ASSERT_TRUE(holder.Ready());
    // The file cannot be opened by anyone else now.
    HANDLE probe = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(probe, INVALID_HANDLE_VALUE);
    if (probe != INVALID_HANDLE_VALUE) CloseHandle(probe);

    EXPECT_EQ(ResolveEntryDestination(e.data()), 1);
    EXPECT_EQ(Upper(g_setup.workPathB), Upper(path));
  }
  // Let go, the same file is free again.
  EXPECT_EQ(ResolveEntryDestination(e.data()), 0);
}

}  // namespace
