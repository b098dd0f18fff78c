#include "install/restart_replace.h"

#include <windows.h>

#include "common/file_io.h"
#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/wininit.h"
#include "package/format.h"

namespace {

constexpr DWORD kPathSize = format::kPathBufferSize;

bool ShortPath(const char* path, char* shortPath) {
  DWORD length = GetShortPathNameA(path, shortPath, kPathSize);
  return length != 0 && length < kPathSize;
}

// Writing with all three texts absent flushes the profile cache to the file.
void FlushProfile(const char* file) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, file); }

bool PatchStandInLine(const char* file, const char* shortSource) {
  FileHandle ini = OpenExisting(file, kOpenReadWrite);
  if (ini == INVALID_FILE) return false;
  bool patched = false;
  uint32_t size = FileSize(ini);
  char* text;
  if (size != 0xFFFFFFFF && AllocBlock(size + 1, &text)) {
    patched = ReadExact(ini, text, size) == kFileOk && MarkWininitDeletion(text, size, shortSource) &&
              SeekFromStart(ini, 0) == 0 && WriteExact(ini, text, size) == kFileOk;
    FreeBlock(text);
  }
  CloseFile(ini);
  return patched;
}

bool ScheduleInWininit(const char* destination, const char* source) {
  char shortSource[format::kPathBufferSize];
  char shortDestination[format::kPathBufferSize];
  char ini[format::kPathBufferSize];
  if (!ShortPath(source, shortSource)) return false;
  if (destination && !ShortPath(destination, shortDestination)) return false;
  UINT length = GetWindowsDirectoryA(ini, kPathSize);
  if (length == 0 || length >= kPathSize) return false;
  const char* name = "\\WININIT.INI";
  AppendBounded(ini, kPathSize, ini[length - 1] == '\\' ? name + 1 : name);

  const char* key = destination ? shortDestination : kWininitStandInKey;
  bool written = WritePrivateProfileStringA(kWininitSection, key, shortSource, ini) != 0;
  FlushProfile(ini);
  if (!written || destination) return written;
  if (PatchStandInLine(ini, shortSource)) return true;
  // Left as it stands, the line would move the file to a file named xyz.
  WritePrivateProfileStringA(kWininitSection, kWininitStandInKey, nullptr, ini);
  FlushProfile(ini);
  return false;
}

}  // namespace

bool ReplaceAtRestart(const char* destination, const char* source) {
  if (!g_setup.isNt) return ScheduleInWininit(destination, source);
  DWORD flags = MOVEFILE_DELAY_UNTIL_REBOOT | (destination ? MOVEFILE_REPLACE_EXISTING : 0);
  return MoveFileExA(source, destination, flags) != 0;
}
