// Thin file wrappers used by every file operation of the stub and, compiled
// against POSIX, by the host tools. A read or write either finishes or fails;
// offsets are 32-bit because setup files and volumes stay below 4 GiB.
//
// Reads go through one read-ahead of 64 KiB for the file read last, so that
// streams read in small pieces one after another cost few system calls. What
// the wrappers report is always the reader's view (a seek back into what was
// read ahead costs nothing); the file's own position is set right before any
// other file is read and before a write. A file read through these wrappers
// must therefore be positioned, written and closed through them as well.
#pragma once

#include <stdint.h>

typedef void* FileHandle;
#define INVALID_FILE ((FileHandle)(intptr_t)-1)

enum OpenMode {
  kOpenRead = 0,       // read access, others may read
  kOpenWrite = 1,      // write access, no sharing
  kOpenReadWrite = 2,  // read and write access, others may read
};

// File-layer results: 0 success, 1 read failed or short, 2 write failed, 3 short write.
enum FileResult { kFileOk = 0, kFileReadFailed = 1, kFileWriteFailed = 2, kFileShortWrite = 3 };

FileHandle OpenExisting(const char* path, int mode);
FileHandle CreateAlways(const char* path);
int ReadExact(FileHandle file, void* buffer, uint32_t n);
// Reads until n bytes, the end of the file or a failure; the number read.
uint32_t ReadSome(FileHandle file, void* buffer, uint32_t n);
int WriteExact(FileHandle file, const void* buffer, uint32_t n);
// Positions and seeks give the new position from the start, or kSeekFailed;
// a position of 4 GiB - 1 or more counts as failed (it does not fit).
constexpr uint32_t kSeekFailed = 0xFFFFFFFFu;
uint32_t FilePosition(FileHandle file);
uint32_t SeekFromStart(FileHandle file, uint32_t offset);
uint32_t SeekRelative(FileHandle file, int32_t offset);
uint32_t SeekFromEnd(FileHandle file, int32_t offset);
// The file's length, kSeekFailed for 4 GiB - 1 or more; the position is kept.
uint32_t FileSize(FileHandle file);
void CloseFile(FileHandle file);
