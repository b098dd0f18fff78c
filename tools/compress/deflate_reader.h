// Reads a raw RFC 1951 stream, as the match-finding libraries write it, back
// into its LZ77 parse and block boundaries so it can be re-coded in our format.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include "tokens.h"

// False when the input is not a well-formed raw deflate stream or does not
// expand to exactly expectedSize bytes. Empty blocks are dropped; a stream
// without tokens yields one empty block.
bool ReadDeflateParse(const uint8_t* data, size_t size, size_t expectedSize, ParsedStream* out);
