// Shortens a long path for the progress page: the drive part and as many
// leading folders as fit, then "...", then the last backslash and the file
// name, which is never cut. The result can still be longer than the limit.
#pragma once

#include <stddef.h>

// Shortens text in place; it must be a 260-byte buffer.
void ShortenPath(char* text, size_t limit);
