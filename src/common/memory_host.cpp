#include "common/memory.h"

#include <stdlib.h>
#include <string.h>

bool g_scribbleNewBlocks = false;

bool AllocRaw(uint32_t n, void** out) {
  *out = malloc(n ? n : 1);
  // Fresh memory from the system is often zero, which would hide code that
  // reads a block before writing it; tests ask for a fill that is not.
  if (*out && g_scribbleNewBlocks) memset(*out, 0xA5, n);
  return *out != nullptr;
}

bool AllocZeroedRaw(uint32_t n, void** out) {
  *out = calloc(n ? n : 1, 1);
  return *out != nullptr;
}

void FreeRaw(void* p) { free(p); }
