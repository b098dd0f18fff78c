#include "startup/platform.h"

#include <windows.h>

#include "common/setup_state.h"

void ReadPlatform() {
  OSVERSIONINFOA version = {};
  version.dwOSVersionInfoSize = sizeof version;
  GetVersionExA(&version);
  g_setup.isNt = version.dwPlatformId == VER_PLATFORM_WIN32_NT;
  g_setup.isNt4 = g_setup.isNt && version.dwMajorVersion == 4;
}
