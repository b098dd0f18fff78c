#include "startup/unattended.h"

#include <windows.h>

#include "common/setup_state.h"
#include "install/destination_check.h"
#include "install/install_loop.h"
#include "package/format.h"
#include "package/messages.h"
#include "startup/install_log.h"

int RunUnattended() {
  if (g_setup.switchTooLong) {
    LogLine("error", "a folder or file given with /T or /L passes 259 characters");
    return kExitFailed;
  }
  if (PrepareDestinationFolder() != kFolderReady) {
    LogLine("error", "the destination folder cannot be made");
    LogLine("destination", g_setup.destinationFolder);
    return kExitFailed;
  }
  int check = CheckDestination();
  if (check == 11) {
    AskQuestion(kAskNotEnoughSpace, GetGroupString(6, 11), MB_YESNO | MB_ICONQUESTION);
    return kExitFailed;
  }
  if (check) {
    char text[1024];
    FormatErrorMessage(text, sizeof text, check);
    LogLine("error", text);
    return kExitFailed;
  }
  if (BeginInstallation()) {
    while (InstallNextFile()) {
    }
  }
  FinishInstallation();
  if (g_setup.run.errorCode) return kExitFailed;
  return g_setup.run.restartNeeded ? kExitRestartNeeded : kExitInstalled;
}
