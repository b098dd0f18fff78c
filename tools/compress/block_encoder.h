// Codes an LZ77 parse as one stream of our format: per block the smallest of
// a dynamic, a fixed and a stored coding, then zero bytes up to the length the
// stub's decoder fetches.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <vector>

#include "tokens.h"

// data/size: the input the parse describes (stored blocks copy from it).
// thorough: try more code-length choices per block, for a few bytes more.
// finalPiece false: a piece of a longer stream; no block is marked last and
// the piece ends on a byte, after an empty stored block, without padding.
std::vector<uint8_t> EncodeStream(const uint8_t* data, size_t size, const ParsedStream& parse, bool thorough,
                                  bool finalPiece = true);
