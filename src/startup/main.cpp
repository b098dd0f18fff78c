// One run of the setup stub, in its fixed order: single instance, state,
// platform, command line, removable-media relaunch, window class, package,
// destination folder, then the wizard and the end-of-run actions.
#include <windows.h>
#include <ole2.h>

#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/destination.h"
#include "install/restart_replace.h"
#include "package/format.h"
#include "package/loader.h"
#include "startup/command_line.h"
#include "startup/end_of_run.h"
#include "startup/install_log.h"
#include "startup/platform.h"
#include "startup/relaunch.h"
#include "startup/unattended.h"
#include "wizard/dialog_objects.h"
#include "wizard/main_window.h"
#include "wizard/page_runner.h"
#include "install/install_state.h"

// Another instance already runs: bring its window, or the box it shows, forward.
static void BringInstanceForward(HWND running) {
  HWND popup = GetLastActivePopup(running);
  BringWindowToTop(running);
  if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
  if (popup != running) BringWindowToTop(popup);
}

// GetModuleFileNameA leaves a name of the full buffer length unterminated on
// older systems: the whole buffer is offered, so a path of 259 characters
// fits, and the terminator is set here.
static void GetOwnFileName(char* path) {
  GetModuleFileNameA(nullptr, path, format::kPathBufferSize);
  path[format::kPathBufferSize - 1] = 0;
}

// Destroying the background window posts the quit message that ends the
// last message loop of the run.
static void CloseWindows() {
  DestroyWindow(static_cast<HWND>(g_setup.backgroundWindow));
  g_setup.backgroundWindow = nullptr;
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0)) DispatchMessageA(&message);
}

static void ReleaseStartupState() {
  OleUninitialize();
  ReleasePathBuffers();
  ReleaseDialogObjects();
}

// How a wizard run ended, for its log.
static const char* WizardResult() {
  if (!g_install.finished) return "not installed";
  if (g_setup.run.errorCode) return "failed";
  return g_setup.run.restartNeeded ? "installed; a restart is needed" : "installed";
}

static const char* UnattendedResult(int code) {
  switch (code) {
    case kExitInstalled: return "installed";
    case kExitRestartNeeded: return "installed; a restart is needed";
    case kExitCancelled: return "cancelled";
    default: return "failed";
  }
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int showCommand) {
  HWND running = FindWindowA(kBackgroundClassName, nullptr);
  g_setup.instance = instance;
  g_setup.volume.dataHandle = INVALID_FILE;
  g_setup.runAfterSetup = true;
  OleInitialize(nullptr);
  CreateDialogBrush();
  if (!AllocatePathBuffers()) {
    ReleaseStartupState();
    return -1;
  }
  GetOwnFileName(g_setup.sourcePath);

  ReadPlatform();
  ParseCommandLine(commandTail);
  bool quiet = g_setup.quietSwitch;
  if (running) {
    // An unattended run tells its host that another setup is under way.
    if (!quiet) BringInstanceForward(running);
    ReleaseStartupState();
    return quiet ? kExitAnotherInstallation : 0;
  }

  GetOwnFileName(g_setup.workPathB);
  if (g_setup.selfDeleteSwitch) {
    // A relaunch copy never tests for removable media again.
    ReplaceAtRestart(nullptr, g_setup.workPathB);
  } else if (StartedFromRemovableMedia()) {
    int copyExitCode = 0;
    if (RelaunchFromTemporaryCopy(showCommand, &copyExitCode)) {
      ReleaseStartupState();
      return copyExitCode;
    }
  }

  if (!RegisterBackgroundClass()) return quiet ? kExitFailed : 0;
  g_setup.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  g_setup.screenHeight = GetSystemMetrics(SM_CYSCREEN);

  OpenInstallLog();
  if (!LoadPackage()) {
    int code = quiet ? kExitFailed : -1;
    CloseInstallLog("the setup files cannot be read", code);
    return code;
  }
  ResolveDestinationFolder();
  if (g_setup.targetFolder[0]) CopyBounded(g_setup.destinationFolder, format::kPathBufferSize, g_setup.targetFolder);
  // An unattended run keeps a hidden window, by which another setup finds it.
  if (!CreateBackgroundWindow()) {
    int code = quiet ? kExitFailed : -1;
    CloseInstallLog("no window could be made", code);
    return code;
  }
  int code = 0;
  if (quiet) {
    code = RunUnattended();
  } else {
    if (CreateFrameDialog()) RunPageSequence();
    DestroyFrameDialog();
    InstallScreenSaver();
  }
  CloseWindows();
  if (!quiet) StartProgramToRun();
  CloseInstallLog(quiet ? UnattendedResult(code) : WizardResult(), code);
  ReleasePackage();
  ReleaseStartupState();
  return code;
}
