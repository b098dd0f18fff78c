// Reads the setup package behind the stub into the package data of the setup state.
#pragma once

#include <stdint.h>

#include "common/file_io.h"

struct RecordHeader {
  uint16_t tag;
  uint8_t flags;
  uint32_t bodyLength;
};

// Loader results: 0 success, 1 read failed, short or undecodable, 5 no memory
// for a body, 12 no memory for a string group.
enum LoadResult { kLoadOk = 0, kLoadReadFailed = 1, kLoadNoMemory = 5, kLoadNoGroupMemory = 12 };

// True when the package is usable. Shows the one message of an incomplete
// package (string group 6, entry 31); every other failure is silent.
bool LoadPackage();

// Reads the body of a record positioned at its first byte: stored, or a u32
// expanded size and a compressed stream. The buffer holds one zero byte more
// than the body, so a text body is always terminated, and what a stream does
// not fill of its stated size is zero. On failure no buffer is left.
int ReadRecordBody(FileHandle file, const RecordHeader& header, uint8_t** out, uint32_t* size);

// True when the file list body holds its count of entries, each with its
// fixed part, its optional blocks and its six strings inside the body.
bool FileListIsSound(const uint8_t* body, uint32_t size, uint32_t count);

// Frees everything LoadPackage kept.
void ReleasePackage();
