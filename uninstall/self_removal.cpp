#include "self_removal.h"

#include <windows.h>

#include <string.h>

#include "common/file_io.h"
#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/restart_replace.h"
#include "uninstall_state.h"

namespace {

constexpr uint32_t kPathSize = format::kPathBufferSize;
constexpr uint32_t kLargestFile = 64u << 20;
constexpr DWORD kWaitForUninstallerMs = 60000;

// The folder of a path, without its trailing backslash.
void FolderOf(char* folder, const char* path) {
  CopyBounded(folder, kPathSize, path);
  char* last = strrchr(folder, '\\');
  if (last) *last = 0;
}

void RemoveAtRestart(const char* file) {
  char folder[format::kPathBufferSize];
  FolderOf(folder, file);
  ReplaceAtRestart(nullptr, file);
  // The NT family also removes a folder at the restart, if it is empty then.
  if (g_setup.isNt) ReplaceAtRestart(nullptr, folder);
}

bool StartCleanupCopy(const char* copy, const char* temporaryFolder) {
  HANDLE self;
  if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0))
    return false;
  char command[3 * format::kPathBufferSize];
  wsprintfA(command, "\"%s\" /CLEANUP %lu \"%s\"", copy, static_cast<unsigned long>(reinterpret_cast<uintptr_t>(self)),
            g_uninstall.ownPath);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  // The copy runs in the temporary folder, so that it holds no folder of the
  // installation open as its current directory.
  if (!CreateProcessA(copy, command, nullptr, nullptr, TRUE, 0, nullptr, temporaryFolder, &startup, &process))
    return false;
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool SameContents(const char* a, const char* b) {
  uint8_t* first;
  uint8_t* second;
  uint32_t firstSize;
  uint32_t secondSize;
  if (!ReadWholeFile(a, &first, &firstSize)) return false;
  bool same = false;
  if (ReadWholeFile(b, &second, &secondSize)) {
    same = firstSize == secondSize && memcmp(first, second, firstSize) == 0;
    FreeBlock(second);
  }
  FreeBlock(first);
  return same;
}

}  // namespace

bool ReadWholeFile(const char* path, uint8_t** contents, uint32_t* size) {
  *contents = nullptr;
  FileHandle file = OpenExisting(path, kOpenRead);
  if (file == INVALID_FILE) return false;
  *size = FileSize(file);
  bool read = *size <= kLargestFile && AllocBlock(*size + 1, contents) && ReadExact(file, *contents, *size) == kFileOk;
  CloseFile(file);
  if (!read) FreeBlock(*contents);
  return read;
}

void RemoveUninstallerLater() {
  char temporaryFolder[format::kPathBufferSize];
  DWORD length = GetTempPathA(kPathSize, temporaryFolder);
  if (length && length < kPathSize) {
    for (int n = 0; n < 100; ++n) {
      char name[32];
      char copy[format::kPathBufferSize];
      wsprintfA(name, "_uninst%d.exe", n);
      // The temporary folder comes with its trailing backslash.
      CopyBounded(copy, kPathSize, temporaryFolder);
      AppendBounded(copy, kPathSize, name);
      if (CopyFileA(g_uninstall.ownPath, copy, TRUE)) {
        if (StartCleanupCopy(copy, temporaryFolder)) return;
        DeleteFileA(copy);
        break;
      }
      DWORD error = GetLastError();
      if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
    }
  }
  RemoveAtRestart(g_uninstall.ownPath);
}

int RunCleanup(const char* arguments) {
  // "<process handle> "<uninstaller path>""
  uintptr_t handle = 0;
  const char* p = arguments;
  while (*p == ' ') ++p;
  while (*p >= '0' && *p <= '9') handle = handle * 10 + static_cast<uintptr_t>(*p++ - '0');
  while (*p == ' ') ++p;
  if (*p++ != '"') return kExitFailed;
  char uninstaller[2 * format::kPathBufferSize];
  CopyBounded(uninstaller, sizeof uninstaller, p);
  char* close = strchr(uninstaller, '"');
  if (!close) return kExitFailed;
  *close = 0;

  HANDLE process = reinterpret_cast<HANDLE>(handle);
  WaitForSingleObject(process, kWaitForUninstallerMs);
  CloseHandle(process);
  // Only the uninstaller this copy was made from: the copy is byte for byte
  // the same file, so a wrong command line cannot delete anything else.
  if (SameContents(uninstaller, g_uninstall.ownPath)) {
    bool deleted = false;
    // The ended process's file may stay locked for a moment.
    for (int tries = 0; tries < 25 && !deleted; ++tries) {
      deleted = DeleteFileA(uninstaller) || GetLastError() == ERROR_FILE_NOT_FOUND;
      if (!deleted) Sleep(200);
    }
    if (deleted) {
      char folder[format::kPathBufferSize];
      FolderOf(folder, uninstaller);
      RemoveDirectoryA(folder);
    } else {
      RemoveAtRestart(uninstaller);
    }
  }
  ReplaceAtRestart(nullptr, g_uninstall.ownPath);
  return kExitRemoved;
}
