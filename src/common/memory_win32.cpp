#include "common/memory.h"

#include <windows.h>

static bool Allocate(uint32_t n, UINT flags, void** out) {
  void* p = GlobalAlloc(flags, n);
  if (!p) {
    // Compacting can free enough room for a block that failed at first.
    GlobalCompact(0xFFFFFFFF);
    p = GlobalAlloc(flags, n);
  }
  *out = p;
  return p != nullptr;
}

bool AllocRaw(uint32_t n, void** out) { return Allocate(n, GMEM_FIXED, out); }
bool AllocZeroedRaw(uint32_t n, void** out) { return Allocate(n, GPTR, out); }
void FreeRaw(void* p) { GlobalFree(p); }
