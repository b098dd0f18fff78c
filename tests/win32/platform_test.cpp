// The platform flags under each Windows family. Wine takes the version it
// reports from the prefix's settings when a process starts, so each case runs
// this program again as a child after changing the setting.
#include <gtest/gtest.h>

#include <windows.h>

#include <string>

#include "common/setup_state.h"
#include "startup/platform.h"

namespace {

const char kChildVariable[] = "QUORIN_PLATFORM_CHILD";

// In the child: reports the flags as its exit code.
TEST(PlatformChild, DISABLED_Report) {
  if (!GetEnvironmentVariableA(kChildVariable, nullptr, 0)) GTEST_SKIP();
  ReadPlatform();
  ExitProcess((g_setup.isNt ? 1 : 0) | (g_setup.isNt4 ? 2 : 0));
}

bool SetWineVersion(const char* version) {
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\Wine", &key) != ERROR_SUCCESS) return false;
  LONG rc = version ? RegSetValueExA(key, "Version", 0, REG_SZ, reinterpret_cast<const BYTE*>(version),
                                     static_cast<DWORD>(strlen(version) + 1))
                    : RegDeleteValueA(key, "Version");
  RegCloseKey(key);
  return rc == ERROR_SUCCESS || !version;
}

int ChildFlags() {
  char self[MAX_PATH];
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  std::string command = std::string("\"") + self +
                        "\" --gtest_filter=PlatformChild.DISABLED_Report --gtest_also_run_disabled_tests";
  SetEnvironmentVariableA(kChildVariable, "1");
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  BOOL started = CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &process);
  SetEnvironmentVariableA(kChildVariable, nullptr);
  if (!started) return -1;
  WaitForSingleObject(process.hProcess, 60000);
  DWORD code = 0xFF;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return static_cast<int>(code);
}

struct VersionCase {
  const char* version;
  bool nt;
  bool nt4;
};

TEST(Platform, FlagsFollowTheWindowsFamily) {
  const VersionCase cases[] = {{"win98", false, false}, {"win95", false, false}, {"nt40", true, true},
                               {"win2k", true, false},  {"winxp", true, false},  {"win7", true, false}};
  for (const VersionCase& c : cases) {
    ASSERT_TRUE(SetWineVersion(c.version));
    int flags = ChildFlags();
    EXPECT_EQ(flags & 1, c.nt ? 1 : 0) << c.version;
    EXPECT_EQ((flags & 2) != 0, c.nt4) << c.version;
  }
  SetWineVersion(nullptr);
}

}  // namespace
