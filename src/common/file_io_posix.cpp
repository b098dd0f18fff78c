// The file wrappers' POSIX side, for the host tools and tests.
#include <errno.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>

#include "common/file_io_raw.h"

static int Fd(FileHandle file) { return static_cast<int>(reinterpret_cast<intptr_t>(file)); }
static FileHandle Handle(int fd) { return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd)); }

FileHandle OpenExisting(const char* path, int mode) {
  int flags = O_RDONLY;
  if (mode == kOpenWrite) flags = O_WRONLY;
  else if (mode == kOpenReadWrite) flags = O_RDWR;
  int fd = open(path, flags | O_CLOEXEC);
  if (fd < 0) return INVALID_FILE;
  ForgetReadAheadOf(Handle(fd));
  return Handle(fd);
}

FileHandle CreateAlways(const char* path) {
  int fd = open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
  if (fd < 0) return INVALID_FILE;
  ForgetReadAheadOf(Handle(fd));
  return Handle(fd);
}

// Like ReadFile on a disk file: keeps reading until n bytes, the end or an error.
uint32_t RawRead(FileHandle file, void* buffer, uint32_t n) {
  uint32_t done = 0;
  while (done < n) {
    ssize_t got = read(Fd(file), static_cast<char*>(buffer) + done, n - done);
    if (got < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (got == 0) break;
    done += static_cast<uint32_t>(got);
  }
  return done;
}

int RawWrite(FileHandle file, const void* buffer, uint32_t n) {
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

uint32_t RawSeek(FileHandle file, int64_t offset, int origin) {
  off_t at = lseek(Fd(file), static_cast<off_t>(offset), origin);
  return at < 0 || at >= static_cast<off_t>(kSeekFailed) ? kSeekFailed : static_cast<uint32_t>(at);
}

uint32_t RawSize(FileHandle file) {
  struct stat st;
  if (fstat(Fd(file), &st) != 0 || st.st_size >= static_cast<off_t>(kSeekFailed)) return kSeekFailed;
  return static_cast<uint32_t>(st.st_size);
}

void RawClose(FileHandle file) { close(Fd(file)); }

static std::mutex g_fileLock;
void LockFiles() { g_fileLock.lock(); }
void UnlockFiles() { g_fileLock.unlock(); }
