// The file wrappers over POSIX descriptors, for the host tools and tests.
#include "common/file_io.h"

#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

static int Fd(FileHandle file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)); }
static FileHandle Handle(int fd) { return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd)); }

FileHandle OpenExisting(const char* path, int mode) {
  int flags = O_RDONLY;
  if (mode == kOpenWrite) flags = O_WRONLY;
  else if (mode == kOpenReadWrite) flags = O_RDWR;
  int fd = open(path, flags | O_CLOEXEC);
  return fd < 0 ? INVALID_FILE : Handle(fd);
}

FileHandle CreateAlways(const char* path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  return fd < 0 ? INVALID_FILE : Handle(fd);
}

// Like ReadFile on a disk file: keeps reading until n bytes, the end or an error.
static int64_t ReadFully(int fd, void* buffer, uint32_t n) {
  uint32_t done = 0;
  while (done < n) {
    ssize_t got = read(fd, static_cast<char*>(buffer) + done, n - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      return -1;
    }
    if (got == 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

int ReadExact(FileHandle file, void* buffer, uint32_t n) {
  if (file == INVALID_FILE) return kFileReadFailed;
  return ReadFully(Fd(file), buffer, n) == n ? kFileOk : kFileReadFailed;
}

uint32_t ReadSome(FileHandle file, void* buffer, uint32_t n) {
  if (file == INVALID_FILE) return 0;
  int64_t got = ReadFully(Fd(file), buffer, n);
  return got < 0 ? 0 : static_cast<uint32_t>(got);
}

int WriteExact(FileHandle file, const void* buffer, uint32_t n) {
  if (file == INVALID_FILE) return kFileWriteFailed;
  uint32_t done = 0;
  while (done < n) {
    ssize_t put = write(Fd(file), static_cast<const char*>(buffer) + done, n - done);
    if (put < 0) {
      if (errno == EINTR) continue;
      return done ? kFileShortWrite : kFileWriteFailed;
    }
    if (put == 0) return kFileShortWrite;
    done += static_cast<uint32_t>(put);
  }
  return kFileOk;
}

static uint32_t Seek(FileHandle file, off_t offset, int whence) {
  off_t at = lseek(Fd(file), offset, whence);
  return at < 0 ? 0xFFFFFFFFu : static_cast<uint32_t>(at);
}

uint32_t FilePosition(FileHandle file) { return Seek(file, 0, SEEK_CUR); }
uint32_t SeekFromStart(FileHandle file, uint32_t offset) { return Seek(file, offset, SEEK_SET); }
uint32_t SeekRelative(FileHandle file, int32_t offset) { return Seek(file, offset, SEEK_CUR); }
uint32_t SeekFromEnd(FileHandle file, int32_t offset) { return Seek(file, offset, SEEK_END); }

uint32_t FileSize(FileHandle file) {
  uint32_t here = FilePosition(file);
  uint32_t end = SeekFromEnd(file, 0);
  SeekFromStart(file, here);
  return end;
}

void CloseFile(FileHandle file) {
  if (file != INVALID_FILE) close(Fd(file));
}
