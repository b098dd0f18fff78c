// The file wrappers' Win32 side.
#include <windows.h>

#include "common/file_io_raw.h"

FileHandle OpenExisting(const char* path, int mode) {
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ;
  if (mode == kOpenWrite) {
    access = GENERIC_WRITE;
    share = 0;
  } else if (mode == kOpenReadWrite) {
    access = GENERIC_READ | GENERIC_WRITE;
  }
  FileHandle file = CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ForgetReadAheadOf(file);
  return file;
}

FileHandle CreateAlways(const char* path) {
  FileHandle file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ForgetReadAheadOf(file);
  return file;
}

// A disk file reads whole in one call up to its end.
uint32_t RawRead(FileHandle file, void* buffer, uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(file, buffer, n, &got, nullptr)) return 0;
  return got;
}

int RawWrite(FileHandle file, const void* buffer, uint32_t n) {
  DWORD written = 0;
  if (!WriteFile(file, buffer, n, &written, nullptr)) return kFileWriteFailed;
  return written == n ? kFileOk : kFileShortWrite;
}

// With its high word SetFilePointer takes offsets of 2 GiB and more as what
// they are, not as negative, and reports positions past 4 GiB instead of
// cutting them. A low word of all ones is taken as failed without asking
// GetLastError: such a position does not fit anyway.
uint32_t RawSeek(FileHandle file, int64_t offset, int origin) {
  LONG high = static_cast<LONG>(offset >> 32);
  DWORD low = SetFilePointer(file, static_cast<LONG>(offset), &high, static_cast<DWORD>(origin));
  return high != 0 ? kSeekFailed : low;
}

uint32_t RawSize(FileHandle file) {
  DWORD high = 0;
  DWORD low = GetFileSize(file, &high);
  return high != 0 ? kSeekFailed : low;
}

void RawClose(FileHandle file) { CloseHandle(file); }

void LockFiles() {}
void UnlockFiles() {}
