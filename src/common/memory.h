// Memory wrappers: every allocation of the stub goes through these. A failed
// attempt compacts the heap once and tries again.
#pragma once

#include <stdint.h>

bool AllocRaw(uint32_t n, void** out);
// Host builds only: new blocks from AllocRaw are filled with 0xA5 instead of
// whatever the allocator had, so tests catch reads of never-written memory.
extern bool g_scribbleNewBlocks;
// Host builds only: when not negative, the number of allocations that still
// succeed before every further one fails, as when memory runs out.
extern int g_allocationsLeft;
bool AllocZeroedRaw(uint32_t n, void** out);
void FreeRaw(void* p);

template <typename T>
inline bool AllocBlock(uint32_t n, T** out) {
  void* p;
  bool ok = AllocRaw(n, &p);
  *out = static_cast<T*>(p);
  return ok;
}

template <typename T>
inline bool AllocZeroed(uint32_t n, T** out) {
  void* p;
  bool ok = AllocZeroedRaw(n, &p);
  *out = static_cast<T*>(p);
  return ok;
}

// Frees the block the pointer variable holds, if any, and clears the variable.
template <typename T>
inline void FreeBlock(T*& p) {
  if (p) FreeRaw(const_cast<void*>(static_cast<const void*>(p)));
  p = nullptr;
}
