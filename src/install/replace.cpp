#include "install/replace.h"

#include <windows.h>

#include "common/file_io.h"
#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/restart_replace.h"
#include "package/format.h"
#include "package/messages.h"

using namespace format;

namespace {

constexpr uint32_t kQuestionBufferSize = 2048;
constexpr uint32_t kCompareBufferSize = 16384;

void SetStatus(uint8_t* entry, uint16_t status) { WriteU16(entry + kEntryStatus, status); }

// A file in use refuses deletion with one of these.
bool InUseError(DWORD error) {
  return error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
}

// Asks a version question with the destination in its "%s".
int Ask(Question question, int entry, const char* destination, unsigned style, char* text) {
  FormatWithString(text, kQuestionBufferSize, GetGroupString(6, entry), destination);
  return AskQuestion(question, text, style);
}

// Compares two open files byte for byte, in blocks of half the buffer each.
bool SameContents(FileHandle a, FileHandle b) {
  uint8_t* buffer;
  if (!AllocBlock(kCompareBufferSize, &buffer)) return false;
  const uint32_t half = kCompareBufferSize / 2;
  bool same = true;
  for (;;) {
    uint32_t gotA = ReadSome(a, buffer, half);
    uint32_t gotB = ReadSome(b, buffer + half, half);
    if (gotA != gotB) { same = false; break; }
    if (gotA == 0) break;
    for (uint32_t i = 0; i < gotA && same; ++i) same = buffer[i] == buffer[half + i];
    if (!same) break;
  }
  FreeBlock(buffer);
  return same;
}

}  // namespace

int VersionCheck(const uint8_t* entry) {
  const char* destination = g_setup.workPathB;
  char* text;
  if (!AllocZeroed(kQuestionBufferSize, &text)) return 1;
  int install = 1;
  DWORD handle;
  DWORD size = GetFileVersionInfoSizeA(destination, &handle);
  uint8_t* info = nullptr;
  if (size && AllocBlock(size, &info) && GetFileVersionInfoA(destination, 0, size, info)) {
    uint8_t options = entry[kEntryOptions];
    const uint8_t* block = entry + kEntryFixedSize;
    VS_FIXEDFILEINFO* fixed;
    UINT length;
    if ((options & kOptionCheckVersion) && VerQueryValueA(info, "\\", reinterpret_cast<void**>(&fixed), &length) &&
        length >= sizeof(VS_FIXEDFILEINFO)) {
      uint64_t existing = (static_cast<uint64_t>(fixed->dwFileVersionMS) << 32) | fixed->dwFileVersionLS;
      uint64_t packaged = (static_cast<uint64_t>(ReadU32(block + kVersionMs)) << 32) | ReadU32(block + kVersionLs);
      if (existing > packaged) {
        // An empty question keeps the newer file without asking.
        if (!*GetGroupString(6, 29) ||
            Ask(kAskReplaceNewer, 29, destination, MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, text) != IDYES)
          install = 0;
      }
    }
    WORD* translation;
    if (install && (options & kOptionCheckLanguage) &&
        VerQueryValueA(info, "\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation), &length) &&
        length >= 4 && translation[0] != ReadU32(block + kVersionLanguage)) {
      // Asked even when its text is empty.
      if (Ask(kAskReplaceLanguage, 30, destination, MB_YESNO | MB_ICONQUESTION, text) != IDYES) install = 0;
    }
  }
  FreeBlock(info);
  FreeBlock(text);
  return install;
}

void ReplaceEntryAtRestart(uint8_t* entry, const char* temporary) {
  if (ReplaceAtRestart(g_setup.workPathB, temporary)) {
    g_setup.run.restartNeeded = true;
    SetStatus(entry, kStatusAtRestart);
  } else {
    SetStatus(entry, kStatusReplaceFailed);
  }
}

void InUseComparison(uint8_t* entry, const char* temporary) {
  const char* destination = g_setup.workPathB;
  bool same = false;
  FileHandle old = OpenExisting(destination, kOpenRead);
  if (old != INVALID_FILE) {
    if (FileSize(old) == ReadU32(entry + kEntryFileSize)) {
      FileHandle fresh = OpenExisting(temporary, kOpenRead);
      if (fresh != INVALID_FILE) {
        same = SameContents(old, fresh);
        CloseFile(fresh);
      }
    }
    CloseFile(old);
  }
  if (same) {
    DeleteFileA(temporary);
    SetStatus(entry, kStatusReplaced);
    return;
  }
  ReplaceEntryAtRestart(entry, temporary);
}

void ReplaceNow(uint8_t* entry, const char* temporary) {
  const char* destination = g_setup.workPathB;
  SetStatus(entry, kStatusReplaceFailed);
  DWORD attributes = GetFileAttributesA(destination);
  bool readOnly = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY);
  if (readOnly) SetFileAttributesA(destination, FILE_ATTRIBUTE_NORMAL);
  // Most destinations are new: a delete that can only fail is not tried.
  bool deleted = attributes != INVALID_FILE_ATTRIBUTES && DeleteFileA(destination);
  if (!deleted && attributes != INVALID_FILE_ATTRIBUTES && (readOnly || InUseError(GetLastError()))) {
    InUseComparison(entry, temporary);
    return;
  }
  if (!MoveFileA(temporary, destination)) {
    // The old file may be gone already: the new one must not be lost with
    // it, so it takes the old one's place at the next restart instead.
    ReplaceEntryAtRestart(entry, temporary);
    return;
  }
  // A read-only file stays read-only when it is replaced.
  if (readOnly) SetFileAttributesA(destination, FILE_ATTRIBUTE_READONLY);
  SetStatus(entry, deleted ? kStatusReplaced : kStatusNew);
}
