// The file wrappers over the platform's calls, with one read-ahead for the
// file read last. The decoder reads streams in pieces of up to 4,096 bytes and
// gives back what it read beyond a stream's end; without the read-ahead every
// small stream would cost a read and a seek of the file.
#include "common/file_io.h"

#include <string.h>

#include "common/file_io_raw.h"
#include "common/memory.h"

namespace {

constexpr uint32_t kReadAheadSize = 65536;
// What a refill keeps of the bytes before it: the decoder gives back at most
// one piece of 4,096 bytes, which then stays inside the read-ahead.
constexpr uint32_t kKeptBehind = 4096;

// The file read last and what was read of it ahead of its reader: the file's
// own position is `end`, the reader's is `at` bytes into `data`.
struct ReadAhead {
  FileHandle file;  // meaningful while held
  bool held;
  uint8_t* data;    // kReadAheadSize bytes, taken at the first read and kept
  uint32_t end;
  uint32_t filled;  // bytes in data
  uint32_t at;
};
ReadAhead g_ahead;

class FilesLocked {
 public:
  FilesLocked() { LockFiles(); }
  ~FilesLocked() { UnlockFiles(); }
};

bool Holds(FileHandle file) { return g_ahead.held && g_ahead.file == file; }

uint32_t ReaderPosition() { return g_ahead.end - (g_ahead.filled - g_ahead.at); }

// Lets go of the read-ahead, giving the file its reader's position back.
void Release() {
  if (!g_ahead.held) return;
  g_ahead.held = false;
  if (g_ahead.at < g_ahead.filled) RawSeek(g_ahead.file, -static_cast<int64_t>(g_ahead.filled - g_ahead.at), kFromHere);
}

// Lets go of the read-ahead of a file that is closed, or that was closed
// behind the wrappers' back when its handle comes again from an open.
void Forget(FileHandle file) {
  if (Holds(file)) g_ahead.held = false;
}

}  // namespace

void ForgetReadAheadOf(FileHandle file) {
  FilesLocked lock;
  Forget(file);
}

// Makes the read-ahead the file's; false without memory for it, or for a
// file without positions: then reads go straight through.
static bool Adopt(FileHandle file) {
  Release();
  uint32_t here = RawSeek(file, 0, kFromHere);
  if (here == kSeekFailed || (!g_ahead.data && !AllocBlock(kReadAheadSize, &g_ahead.data))) return false;
  g_ahead.file = file;
  g_ahead.held = true;
  g_ahead.end = here;
  g_ahead.filled = g_ahead.at = 0;
  return true;
}

uint32_t ReadSome(FileHandle file, void* buffer, uint32_t n) {
  if (file == INVALID_FILE) return 0;
  FilesLocked lock;
  if (!Holds(file) && !Adopt(file)) return RawRead(file, buffer, n);
  uint8_t* to = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  for (;;) {
    uint32_t have = g_ahead.filled - g_ahead.at;
    if (have > n - done) have = n - done;
    memcpy(to + done, g_ahead.data + g_ahead.at, have);
    g_ahead.at += have;
    done += have;
    if (done == n) return done;
    // The read-ahead is used up: a large rest goes straight to the caller.
    if (n - done >= kReadAheadSize) {
      uint32_t got = RawRead(file, to + done, n - done);
      g_ahead.end += got;
      g_ahead.filled = g_ahead.at = 0;
      return done + got;
    }
    // (A read-ahead that short met the end of the file: nothing to keep.)
    uint32_t kept = g_ahead.filled >= 2 * kKeptBehind ? kKeptBehind : 0;
    memcpy(g_ahead.data, g_ahead.data + g_ahead.filled - kept, kept);
    uint32_t got = RawRead(file, g_ahead.data + kept, kReadAheadSize - kept);
    g_ahead.end += got;
    g_ahead.filled = g_ahead.at = kept;
    g_ahead.filled += got;
    if (got == 0) return done;
  }
}

int ReadExact(FileHandle file, void* buffer, uint32_t n) {
  if (file == INVALID_FILE) return kFileReadFailed;
  return ReadSome(file, buffer, n) == n ? kFileOk : kFileReadFailed;
}

int WriteExact(FileHandle file, const void* buffer, uint32_t n) {
  if (file == INVALID_FILE) return kFileWriteFailed;
  FilesLocked lock;
  if (Holds(file)) Release();
  return RawWrite(file, buffer, n);
}

uint32_t FilePosition(FileHandle file) {
  FilesLocked lock;
  return Holds(file) ? ReaderPosition() : RawSeek(file, 0, kFromHere);
}

// A seek of the file held: inside what was read ahead it only moves the
// reader; beyond it the file's own position is given back and set anew.
static uint32_t SeekHeld(int64_t to) {
  uint32_t first = g_ahead.end - g_ahead.filled;  // the offset of data[0]
  if (to >= first && to <= g_ahead.end) {
    g_ahead.at = static_cast<uint32_t>(to - first);
    return static_cast<uint32_t>(to);
  }
  FileHandle file = g_ahead.file;
  Release();
  return RawSeek(file, to, kFromStart);
}

uint32_t SeekFromStart(FileHandle file, uint32_t offset) {
  FilesLocked lock;
  return Holds(file) ? SeekHeld(offset) : RawSeek(file, offset, kFromStart);
}

uint32_t SeekRelative(FileHandle file, int32_t offset) {
  FilesLocked lock;
  return Holds(file) ? SeekHeld(static_cast<int64_t>(ReaderPosition()) + offset) : RawSeek(file, offset, kFromHere);
}

uint32_t SeekFromEnd(FileHandle file, int32_t offset) {
  FilesLocked lock;
  if (Holds(file)) Release();
  return RawSeek(file, offset, kFromEnd);
}

uint32_t FileSize(FileHandle file) { return RawSize(file); }

void CloseFile(FileHandle file) {
  if (file == INVALID_FILE) return;
  FilesLocked lock;
  Forget(file);
  RawClose(file);
}
