// The two ways to run the decoder over one compressed stream read from a file.
// Both read the stream through a file source positioned at the stream's first
// byte and leave the file just behind the stream's last fetched byte.
#pragma once

#include <stdint.h>

#include "common/file_io.h"

// budget: bytes the source may read from the input, 0 for no limit. A budgeted
// source follows the data area across volume files (OpenNextVolume).

// Expands into caller-owned memory of exactly expandedSize bytes. A stream
// producing more output than that is damaged and fails the expansion.
bool ExpandIntoMemory(uint8_t* destination, uint32_t expandedSize, FileHandle input, uint32_t budget);

// Expands into an open file; with INVALID_FILE the output is dropped, which
// moves the input past the stream.
bool ExpandIntoFile(FileHandle output, FileHandle input, uint32_t budget);

// Expands a stream that starts at input, within inputSize bytes of memory, for
// tools that hold a whole setup file. On success *streamLength is the number
// of bytes the stream consists of (the bytes the decoder fetched).
bool ExpandMemoryIntoMemory(const uint8_t* input, uint32_t inputSize, uint8_t* destination,
                            uint32_t expandedSize, uint32_t* streamLength);
