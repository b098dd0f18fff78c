#include "install/follow_up.h"

#include <windows.h>

#include "common/setup_state.h"
#include "install/install_state.h"
#include "install/fonts.h"
#include "install/shortcuts.h"
#include "package/format.h"

using namespace format;

void CountSharedFile(const char* path) {
  HKEY key;
  // A missing key is not made: the count is skipped then.
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs", 0,
                    KEY_ALL_ACCESS, &key) != ERROR_SUCCESS)
    return;
  uint8_t value[4];
  DWORD type = 0, size = sizeof value;
  LONG result = RegQueryValueExA(key, path, nullptr, &type, value, &size);
  if (result == ERROR_FILE_NOT_FOUND) {
    DWORD one = 1;
    RegSetValueExA(key, path, 0, REG_DWORD, reinterpret_cast<BYTE*>(&one), sizeof one);
  } else if (result == ERROR_SUCCESS && size == 4 && (type == REG_DWORD || type == REG_BINARY)) {
    WriteU32(value, ReadU32(value) + 1);
    RegSetValueExA(key, path, 0, type, value, size);
  }
  // Any other value is not a count this program understands: it is left alone.
  RegCloseKey(key);
}

void RunFollowUpActions(const uint8_t* entry, const char* destination, unsigned percentage) {
  RunState& run = g_setup.run;
  if (entry[kEntryKind] != kEntryExternal) {
    if (entry[kEntryDestKind] != kDestFolder && entry[kEntryShared] == 1) CountSharedFile(destination);
    if (entry[kEntryDestKind] == kDestFonts) RegisterFont(destination);
    if (entry[kEntrySpecial] == kSpecialScreenSaver) run.screenSaverEntry = entry;
  }
  if (entry[kEntryFinishAction] == kFinishView) run.viewEntry = entry;
  if (entry[kEntryFinishAction] == kFinishRun) run.runEntry = entry;
  CreateDesktopShortcut(entry, destination);
  if (g_install.hooks.setPercentage) g_install.hooks.setPercentage(percentage);
}
