// One run of the uninstaller: read the uninstall data behind its own program,
// check it, ask once, remove what was recorded in order, leave, and say how
// it went through the exit code.
//
//   uninstall.exe [/Q]              /Q: quiet, no question and no message
//   _uninstN.exe /CLEANUP h "path"  the temporary copy that removes the uninstaller
#include <windows.h>

#include <string.h>

#include "common/memory.h"
#include "common/safe_format.h"
#include "install/uninstall_data.h"
#include "known_folders.h"
#include "record_walk.h"
#include "report.h"
#include "self_removal.h"
#include "startup/platform.h"
#include "uninstall_state.h"
#include "uninstaller_config.h"

namespace {

constexpr uint32_t kPathSize = format::kPathBufferSize;

const char kConfirm[] = "Are you sure you want to remove %s and all of its components from your computer?";
const char kDamagedList[] =
    "\n\nThe uninstall information is damaged. These entries will be left alone:\n\n";
const char kNothingRecorded[] = "This uninstall program holds no record of what %s installed.";
const char kCannotRead[] = "The uninstall program could not read its own file, so %s cannot be removed.";
const char kNotRegistered[] =
    "This uninstall program is not the one registered for %s. Please remove it through the list of "
    "installed programs.";
const char kRemoved[] = "%s was removed from your computer.";
const char kIncomplete[] = "%s could not be removed completely. These items were left as they were:\n\n";
const char kRestartNote[] = "\n\nSome files were in use. They will be removed when Windows restarts.";

// Is the word at p the switch (after / or -, letters in any case)? The word
// is given in capitals.
bool IsSwitch(const char* p, const char* word) {
  if (*p != '/' && *p != '-') return false;
  while (*word)
    if ((*++p & ~0x20) != *word++) return false;
  return p[1] == 0 || p[1] == ' ';
}

// The data begins 8 bytes before the uninstaller's own length, where the
// setup wrote its first record header over the placeholder.
bool ReadUninstallData() {
  uint32_t programSize = UninstallerSize();
  uint32_t fileSize;
  if (programSize < uninstall::kPlaceholderSize || !ReadWholeFile(g_uninstall.ownPath, &g_uninstall.file, &fileSize))
    return false;
  uint32_t start = programSize - uninstall::kPlaceholderSize;
  if (fileSize < start) return false;
  g_uninstall.data = g_uninstall.file + start;
  g_uninstall.dataSize = fileSize - start;
  return true;
}

void FindDestinationFolder() {
  UninstallState& u = g_uninstall;
  // The zero-filled buffer ends a name that fills it on older systems.
  GetModuleFileNameA(nullptr, u.ownPath, kPathSize - 1);
  CopyBounded(u.destination, kPathSize, u.ownPath);
  char* last = strrchr(u.destination, '\\');
  if (last) *last = 0;
  last = strrchr(u.destination, '\\');
  CopyBounded(u.productName, kPathSize, last ? last + 1 : u.destination);
}

int Finish(int code, const char* text, UINT type) {
  if (!g_uninstall.quiet) ShowAboutProduct(text, nullptr, type);
  return code;
}

int Uninstall() {
  UninstallState& u = g_uninstall;
  if (!ReadUninstallData()) return Finish(kExitFailed, kCannotRead, MB_ICONSTOP);
  ReadKnownFolders();
  WalkUninstallData(kPassCheck);
  if (u.notRegistered) return Finish(kExitFailed, kNotRegistered, MB_ICONSTOP);
  if (u.itemsToRemove == 0 && !u.dataDamaged) return Finish(kExitFailed, kNothingRecorded, MB_ICONSTOP);
  if (!u.quiet) {
    char damaged[sizeof kDamagedList + 2048];
    CopyBounded(damaged, sizeof damaged, kDamagedList);
    AppendBounded(damaged, sizeof damaged, ProblemList());
    if (ShowAboutProduct(kConfirm, u.dataDamaged ? damaged : nullptr, MB_YESNO | MB_ICONQUESTION) != IDYES)
      return kExitCancelled;
  }

  WalkUninstallData(kPassFiles);
  WalkUninstallData(kPassShortcuts);
  WalkUninstallData(kPassFolders);
  WalkUninstallData(kPassKey);
  // Without its entry removed the product still shows as installed: the
  // uninstaller stays so that the entry keeps working.
  if (u.keyRemoved || (!u.keyFound && !u.dataDamaged)) RemoveUninstallerLater();

  if (!u.quiet) {
    char notes[sizeof u.problems + sizeof kRestartNote];
    CopyBounded(notes, sizeof notes, ProblemList());
    if (u.restartNeeded) AppendBounded(notes, sizeof notes, kRestartNote);
    bool complete = !HasProblems();
    ShowAboutProduct(complete ? kRemoved : kIncomplete, notes, complete ? MB_ICONINFORMATION : MB_ICONWARNING);
  }
  if (u.failed || u.dataDamaged) return kExitFailed;
  return u.restartNeeded ? kExitRestartNeeded : kExitRemoved;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandTail, int) {
  ReadPlatform();
  // A missing disk or a library that will not load is a result, not a dialog.
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
  FindDestinationFolder();
  if (IsSwitch(commandTail, "CLEANUP")) return RunCleanup(commandTail + 8);
  g_uninstall.quiet = IsSwitch(commandTail, "Q");
  // The current directory must not hold a folder of the installation open.
  char windows[format::kPathBufferSize];
  UINT length = GetWindowsDirectoryA(windows, kPathSize);
  if (length && length < kPathSize) SetCurrentDirectoryA(windows);
  int code = Uninstall();
  FreeBlock(g_uninstall.file);
  return code;
}
