// The platform's side of the file wrappers (file_io_win32.cpp for the stub,
// file_io_posix.cpp for the host tools), under the read-ahead of file_io.cpp.
#pragma once

#include <stdint.h>

#include "common/file_io.h"

// Seek origins, numbered as both platforms number them.
enum SeekOrigin { kFromStart = 0, kFromHere = 1, kFromEnd = 2 };

// OpenExisting and CreateAlways are the platform's; each hands the new handle
// here, in case the read-ahead still holds a file closed behind the wrappers'
// back whose handle the system gives out again.
void ForgetReadAheadOf(FileHandle file);
// Reads until n bytes, the end of the file or a failure; the number read.
uint32_t RawRead(FileHandle file, void* buffer, uint32_t n);
// A FileResult.
int RawWrite(FileHandle file, const void* buffer, uint32_t n);
// The new position; kSeekFailed when the seek failed or the position is 4 GiB - 1 or more.
uint32_t RawSeek(FileHandle file, int64_t offset, int origin);
// The length; kSeekFailed when unknown or 4 GiB - 1 or more.
uint32_t RawSize(FileHandle file);
void RawClose(FileHandle file);

// Held around every wrapper, since the read-ahead is one for the process: a
// mutex in the host tools, nothing in the stub, which has one thread.
void LockFiles();
void UnlockFiles();
