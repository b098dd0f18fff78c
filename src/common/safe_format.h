// Bounded text output, and formatting of package texts that carry one
// argument. A package text is data, not a trusted format: only the one
// conversion the caller supplies an argument for is substituted.
//
//   "%%"               -> "%"
//   first expected one -> the argument; string texts expect "%s", number
//                         texts "%d" "%i" "%ld" "%li" (signed) or "%u" "%lu"
//   anything else      -> printed as it stands: "%n", "%-5s", "%99999s", a
//                         second "%s", a "%" at the end of the text
//
// Every function writes at most capacity - 1 characters and always ends the
// result with a NUL (nothing is written when capacity is 0). Formatting also
// stops at 1,024 bytes, as the system formatter it stands in for does.
#pragma once

#include <stdint.h>

// Copies or appends text, cutting it to the buffer.
void CopyBounded(char* destination, uint32_t capacity, const char* source);
void AppendBounded(char* destination, uint32_t capacity, const char* source);

void FormatWithString(char* destination, uint32_t capacity, const char* format, const char* argument);
void FormatWithNumber(char* destination, uint32_t capacity, const char* format, uint32_t argument);
