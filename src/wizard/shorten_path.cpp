#include "wizard/shorten_path.h"

#include <string.h>

void ShortenPath(char* text, size_t limit) {
  size_t length = strlen(text);
  if (length <= limit) return;
  char* first = strchr(text, '\\');
  char* last = strrchr(text, '\\');
  if (!first || last < first + 4) return;
  size_t tail = strlen(last);
  // Keep whole leading folders while the kept part and the tail stay below
  // the limit and the tail stays at least four characters away.
  char* cut = first + 1;
  for (char* p = first; p && p < last; p = strchr(p + 1, '\\')) {
    if (last < p + 4 || static_cast<size_t>(p - text) + tail >= limit) break;
    cut = p + 1;
  }
  memmove(cut + 3, last, tail + 1);
  memcpy(cut, "...", 3);
}
