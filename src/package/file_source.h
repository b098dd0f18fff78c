// The decoder's input: a file read in pieces of at most 4,096 bytes, with an
// optional byte budget that follows the data area across volume files.
#pragma once

#include <stdint.h>

#include "common/file_io.h"

constexpr uint32_t kSourceBufferSize = 4096;

struct FileSource {
  uint8_t* buffer;        // kSourceBufferSize bytes while open
  uint8_t* readPosition;  // next byte to hand out
  uint32_t unread;        // bytes from readPosition to the end of what was read
  FileHandle file;        // not owned; the volume change may replace it
  uint32_t budget;        // bytes the source may still read, 0 for no limit
  // Set when the volume change gave up. It stays set: every later request
  // reports end of input, and the decoder ends its stream on seeing it.
  bool cancelled;
};

// The closed state: no buffer, nothing unread, no file.
void InitSource(FileSource* source);

// False for the invalid handle or when the buffer cannot be had; nothing is read.
bool OpenSource(FileSource* source, FileHandle file, uint32_t budget);

// A source over bytes already in memory (no file, no budget): the host tools
// read streams out of whole files this way. The bytes stay the caller's.
void OpenSourceOnMemory(FileSource* source, const uint8_t* data, uint32_t size);

// Reads the next piece into the buffer; unread stays 0 at the end of input.
void RefillSource(FileSource* source);

// Gives back what was read ahead, so the file is left just behind the last
// byte handed out; false when that seek failed. Closing a closed source does nothing.
bool CloseSource(FileSource* source);

// False at the end of input (or after a cancellation).
inline bool NextByte(FileSource* source, uint8_t* byte) {
  if (source->unread == 0) {
    if (source->cancelled) return false;
    RefillSource(source);
    if (source->unread == 0 || source->cancelled) return false;
  }
  *byte = *source->readPosition++;
  --source->unread;
  return true;
}
