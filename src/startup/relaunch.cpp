// Started from a floppy or another removable disk, the stub moves itself off
// the disk so that the disk can be changed while the copy installs.
#include "startup/relaunch.h"

#include <windows.h>

#include "common/file_io.h"
#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "package/format.h"
#include "startup/config_block.h"

using format::kPathBufferSize;

bool StartedFromRemovableMedia() {
  char* path = g_setup.workPathB;
  // Drive-letter paths are tested at their root; a network path (\\server)
  // goes whole, and GetDriveTypeA never calls it removable.
  if (path[0] && path[1] == ':' && !(path[0] == '\\' && path[1] == '\\')) path[3] = '\0';
  return GetDriveTypeA(path) == DRIVE_REMOVABLE;
}

// Creates the first free "_inst%d.exe" in the temporary folder; its name is
// left in work path A.
static FileHandle CreateTemporaryCopy() {
  char* name = g_setup.workPathA;
  for (int n = 0; n < 999; ++n) {
    DWORD length = GetTempPathA(kPathBufferSize, name);
    if (length == 0 || length >= kPathBufferSize) return INVALID_FILE;
    if (name[length - 1] != '\\') AppendBounded(name, kPathBufferSize, "\\");
    char file[16];
    wsprintfA(file, "_inst%d.exe", n);
    if (lstrlenA(name) + lstrlenA(file) >= static_cast<int>(kPathBufferSize)) return INVALID_FILE;
    AppendBounded(name, kPathBufferSize, file);
    FileHandle existing = OpenExisting(name, kOpenRead);
    if (existing != INVALID_FILE) {
      CloseFile(existing);
      continue;
    }
    FileHandle created = CreateAlways(name);
    if (created != INVALID_FILE) return created;
  }
  return INVALID_FILE;
}

static bool CopyStub(FileHandle source, FileHandle copy) {
  uint32_t size = StubSize();
  uint8_t* buffer;
  if (!AllocBlock(size, &buffer)) return false;
  bool ok = ReadExact(source, buffer, size) == kFileOk && WriteExact(copy, buffer, size) == kFileOk;
  FreeBlock(buffer);
  return ok;
}

// Appends " /X \"path\"" for a switch that was given.
static void AppendSwitch(char* command, uint32_t capacity, const char* name, const char* path) {
  if (!path[0]) return;
  AppendBounded(command, capacity, name);
  AppendBounded(command, capacity, "\"");
  AppendBounded(command, capacity, path);
  AppendBounded(command, capacity, "\"");
}

// Starts the copy and waits for it; its exit code becomes this run's.
static bool RunAndWait(char* command, int showCommand, int* exitCode) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = static_cast<WORD>(showCommand);
  PROCESS_INFORMATION process;
  if (!CreateProcessA(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return false;
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  *exitCode = static_cast<int>(code);
  return true;
}

bool RelaunchFromTemporaryCopy(int showCommand, int* exitCode) {
  *exitCode = 0;
  // A stub without its own size has no stub part to copy.
  if (StubSize() == 0) return false;
  FileHandle copy = CreateTemporaryCopy();
  if (copy == INVALID_FILE) return false;
  FileHandle source = OpenExisting(g_setup.sourcePath, kOpenRead);
  bool copied = source != INVALID_FILE && CopyStub(source, copy);
  if (source != INVALID_FILE) CloseFile(source);
  CloseFile(copy);
  // A copy that could not be written whole would not start: remove it and run
  // from the disk instead.
  if (!copied) {
    DeleteFileA(g_setup.workPathA);
    return false;
  }

  // The command line holds up to four full paths, more than one path buffer takes.
  char* command;
  const uint32_t capacity = 4 * kPathBufferSize + 32;
  if (!AllocZeroed(capacity, &command)) {
    DeleteFileA(g_setup.workPathA);
    return false;
  }
  // The copy's own name is quoted too: a temporary folder may hold spaces.
  CopyBounded(command, capacity, "\"");
  AppendBounded(command, capacity, g_setup.workPathA);
  AppendBounded(command, capacity, "\" /S\"");
  AppendBounded(command, capacity, g_setup.sourcePath);
  AppendBounded(command, capacity, "\" /DEL");
  bool started = true;
  if (g_setup.quietSwitch) {
    AppendBounded(command, capacity, " /Q");
    AppendSwitch(command, capacity, " /T", g_setup.targetFolder);
    AppendSwitch(command, capacity, " /L", g_setup.logPath);
    started = RunAndWait(command, showCommand, exitCode);
  } else {
    WinExec(command, showCommand);
  }
  FreeBlock(command);
  if (!started) DeleteFileA(g_setup.workPathA);
  return started;
}
