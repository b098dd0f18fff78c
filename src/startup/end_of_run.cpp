#include "startup/end_of_run.h"

#include <windows.h>

#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/destination.h"
#include "install/paths.h"
#include "package/format.h"

void InstallScreenSaver() {
  const uint8_t* entry = g_setup.run.screenSaverEntry;
  if (!entry || ResolveEntryDestination(entry) == kDestinationTooLong) return;
  char command[format::kPathBufferSize + 64];
  FormatWithString(command, sizeof command, "rundll32 desk.cpl,InstallScreenSaver %s", g_setup.workPathB);
  WinExec(command, SW_SHOWNORMAL);
}

void StartProgramToRun() {
  const uint8_t* entry = g_setup.run.runEntry;
  if (!g_setup.runAfterSetup || !entry || ResolveEntryDestination(entry) == kDestinationTooLong) return;
  StripBackslash(g_setup.destinationFolder);
  SetCurrentDirectoryA(g_setup.destinationFolder);
  // The short form holds no spaces, which WinExec would take as the end of
  // the program's name.
  DWORD length = GetShortPathNameA(g_setup.workPathB, g_setup.workPathA, format::kPathBufferSize);
  if (length && length < format::kPathBufferSize) WinExec(g_setup.workPathA, SW_SHOWNORMAL);
}
