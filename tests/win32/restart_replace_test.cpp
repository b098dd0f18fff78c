// Replace at restart on both families: the pending operations the NT family
// keeps in the registry, and the "Rename" section of WININIT.INI on Windows
// 9x with its deletion lines; a scheduling that fails says so.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/setup_state.h"
#include "install/restart_replace.h"

namespace {

std::string TempFolder() {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  std::string path = std::string(folder) + "restart replace test";
  CreateDirectoryA(path.c_str(), nullptr);
  return path;
}

std::string MakeFile(const std::string& name) {
  std::string path = TempFolder() + "\\" + name;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  EXPECT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written;
  WriteFile(file, "x", 1, &written, nullptr);
  CloseHandle(file);
  return path;
}

std::string ShortPath(const std::string& path) {
  char shortPath[MAX_PATH] = "";
  GetShortPathNameA(path.c_str(), shortPath, sizeof shortPath);
  return shortPath;
}

// The pending operations as text, the strings of the multi-string joined by '|'.
std::string PendingOperations() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Control\\Session Manager", 0, KEY_QUERY_VALUE,
                    &key) != ERROR_SUCCESS)
    return "";
  std::vector<char> value(65536);
  DWORD size = static_cast<DWORD>(value.size());
  LONG result = RegQueryValueExA(key, "PendingFileRenameOperations", nullptr, nullptr,
                                 reinterpret_cast<BYTE*>(value.data()), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return "";
  std::string text(value.data(), size);
  for (char& c : text)
    if (c == 0) c = '|';
  return text;
}

std::string WininitPath() {
  char windows[MAX_PATH];
  GetWindowsDirectoryA(windows, sizeof windows);
  return std::string(windows) + "\\WININIT.INI";
}

std::string WininitText() {
  std::string text;
  HANDLE file = CreateFileA(WininitPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return text;
  char buffer[4096];
  DWORD got;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got) text.append(buffer, got);
  CloseHandle(file);
  return text;
}

TEST(ReplaceAtRestart, NtFamilyKeepsPendingOperations) {
  g_setup.isNt = true;
  std::string source = MakeFile("new.$$A");
  std::string destination = MakeFile("in use.dll");
  std::string doomed = MakeFile("doomed.exe");
  EXPECT_TRUE(ReplaceAtRestart(destination.c_str(), source.c_str()));
  EXPECT_TRUE(ReplaceAtRestart(nullptr, doomed.c_str()));
  std::string pending = PendingOperations();
  EXPECT_NE(pending.find(source + "|!\\??\\" + destination), std::string::npos) << pending;
  EXPECT_NE(pending.find(doomed + "||"), std::string::npos) << pending;
  // The system refuses a name that no file can have: that is a failure.
  EXPECT_FALSE(ReplaceAtRestart(nullptr, ""));
}

TEST(ReplaceAtRestart, Windows9xWritesWininit) {
  g_setup.isNt = false;
  DeleteFileA(WininitPath().c_str());
  std::string source = MakeFile("NEWFILE.$$A");
  std::string destination = MakeFile("in use long name.dll");
  std::string first = MakeFile("first doomed file.exe");
  std::string second = MakeFile("second doomed file.exe");
  EXPECT_TRUE(ReplaceAtRestart(destination.c_str(), source.c_str()));
  EXPECT_TRUE(ReplaceAtRestart(nullptr, first.c_str()));
  EXPECT_TRUE(ReplaceAtRestart(nullptr, second.c_str()));
  std::string text = WininitText();
  EXPECT_NE(text.find("[Rename]"), std::string::npos) << text;
  EXPECT_NE(text.find(ShortPath(destination) + "=" + ShortPath(source)), std::string::npos) << text;
  // Two deletions end as two lines of their own, each with its short path.
  EXPECT_NE(text.find("NUL=" + ShortPath(first) + "\r\n"), std::string::npos) << text;
  EXPECT_NE(text.find("NUL=" + ShortPath(second) + "\r\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("xyz"), std::string::npos) << text;

  // A file whose short path cannot be had: nothing is written, and the
  // caller hears of it.
  std::string missing = TempFolder() + "\\no such file.exe";
  EXPECT_FALSE(ReplaceAtRestart(nullptr, missing.c_str()));
  EXPECT_FALSE(ReplaceAtRestart(missing.c_str(), source.c_str()));
  EXPECT_EQ(WininitText(), text);
  DeleteFileA(WininitPath().c_str());
}

}  // namespace
