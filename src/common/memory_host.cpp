#include "common/memory.h"

#include <stdlib.h>
#include <string.h>

bool g_scribbleNewBlocks = false;
int g_allocationsLeft = -1;

// Tests make the system run out of memory after a number of allocations.
static bool OutOfMemory() { return g_allocationsLeft >= 0 && g_allocationsLeft-- == 0; }

bool AllocRaw(uint32_t n, void** out) {
  *out = OutOfMemory() ? nullptr : malloc(n ? n : 1);
  // Fresh memory from the system is often zero, which would hide code that
  // reads a block before writing it; tests ask for a fill that is not.
  if (*out && g_scribbleNewBlocks) memset(*out, 0xA5, n);
  return *out != nullptr;
}

bool AllocZeroedRaw(uint32_t n, void** out) {
  *out = OutOfMemory() ? nullptr : calloc(n ? n : 1, 1);
  return *out != nullptr;
}

void FreeRaw(void* p) { free(p); }
