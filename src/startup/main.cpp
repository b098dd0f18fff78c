// One run of the setup stub, in its fixed order: single instance, state,
// platform, command line, removable-media relaunch, window class, package,
// destination folder, then the wizard and the end-of-run actions.
#include <windows.h>
#include <ole2.h>

#include "common/setup_state.h"
#include "install/destination.h"
#include "install/restart_replace.h"
#include "package/format.h"
#include "package/loader.h"
#include "startup/command_line.h"
#include "startup/end_of_run.h"
#include "startup/platform.h"
#include "startup/relaunch.h"
#include "wizard/dialog_objects.h"
#include "wizard/main_window.h"
#include "wizard/page_runner.h"

// Another instance already runs: bring its window, or the box it shows, forward.
static bool BringRunningInstanceForward() {
  HWND running = FindWindowA(kBackgroundClassName, nullptr);
  if (!running) return false;
  HWND popup = GetLastActivePopup(running);
  BringWindowToTop(running);
  if (IsIconic(running)) ShowWindow(running, SW_RESTORE);
  if (popup != running) BringWindowToTop(popup);
  return true;
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

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int showCommand) {
  if (BringRunningInstanceForward()) return 0;

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

  GetOwnFileName(g_setup.workPathB);
  if (g_setup.selfDeleteSwitch) {
    // A relaunch copy never tests for removable media again.
    ReplaceAtRestart(nullptr, g_setup.workPathB);
  } else if (StartedFromRemovableMedia() && RelaunchFromTemporaryCopy(showCommand)) {
    ReleaseStartupState();
    return 0;
  }

  if (!RegisterBackgroundClass()) return 0;
  g_setup.screenWidth = GetSystemMetrics(SM_CXSCREEN);
  g_setup.screenHeight = GetSystemMetrics(SM_CYSCREEN);

  if (!LoadPackage()) return -1;
  ResolveDestinationFolder();
  if (!CreateBackgroundWindow()) return -1;
  if (CreateFrameDialog()) RunPageSequence();
  DestroyFrameDialog();

  InstallScreenSaver();
  CloseWindows();
  StartProgramToRun();
  ReleasePackage();
  ReleaseStartupState();
  return 0;
}
