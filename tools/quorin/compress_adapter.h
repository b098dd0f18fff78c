// The one door from the builder to the stream compressor, so the rest of the
// tool does not care which encoder writes the streams.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "byte_buffer.h"

enum class PackLevel { kDefault, kBest };

// One complete compressed stream whose length is exactly the number of bytes the
// stub's decoder fetches for it, so streams can follow one another in a file and
// a file entry's packed size can serve as the decoder's byte budget.
// finalPiece false: a piece of a longer stream, to be followed by more pieces.
Bytes PackStream(const uint8_t* data, size_t size, PackLevel level, bool finalPiece = true);
