#include "common/file_io.h"

#include <windows.h>

FileHandle OpenExisting(const char* path, int mode) {
  DWORD access = GENERIC_READ;
  DWORD share = FILE_SHARE_READ;
  if (mode == kOpenWrite) {
    access = GENERIC_WRITE;
    share = 0;
  } else if (mode == kOpenReadWrite) {
    access = GENERIC_READ | GENERIC_WRITE;
  }
  return CreateFileA(path, access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
}

FileHandle CreateAlways(const char* path) {
  return CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
}

int ReadExact(FileHandle file, void* buffer, uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(file, buffer, n, &got, nullptr) || got != n) return kFileReadFailed;
  return kFileOk;
}

uint32_t ReadSome(FileHandle file, void* buffer, uint32_t n) {
  DWORD got = 0;
  if (!ReadFile(file, buffer, n, &got, nullptr)) return 0;
  return got;
}

int WriteExact(FileHandle file, const void* buffer, uint32_t n) {
  DWORD written = 0;
  if (!WriteFile(file, buffer, n, &written, nullptr)) return kFileWriteFailed;
  return written == n ? kFileOk : kFileShortWrite;
}

uint32_t FilePosition(FileHandle file) { return SetFilePointer(file, 0, nullptr, FILE_CURRENT); }

uint32_t SeekFromStart(FileHandle file, uint32_t offset) {
  return SetFilePointer(file, static_cast<LONG>(offset), nullptr, FILE_BEGIN);
}

uint32_t SeekRelative(FileHandle file, int32_t offset) {
  return SetFilePointer(file, offset, nullptr, FILE_CURRENT);
}

uint32_t SeekFromEnd(FileHandle file, int32_t offset) {
  return SetFilePointer(file, offset, nullptr, FILE_END);
}

uint32_t FileSize(FileHandle file) {
  uint32_t here = FilePosition(file);
  uint32_t end = SeekFromEnd(file, 0);
  SeekFromStart(file, here);
  return end;
}

void CloseFile(FileHandle file) { CloseHandle(file); }
