// The stub links no C++ runtime library: these replace the pieces of it that
// the compiler's output refers to. Win32-side tests use the real runtime instead.
#include <windows.h>

#include "common/memory.h"

// new and delete go through the memory wrappers.
void* operator new(size_t n) {
  void* p;
  AllocZeroedRaw(static_cast<uint32_t>(n), &p);
  return p;
}
void* operator new[](size_t n) { return operator new(n); }
void operator delete(void* p) noexcept { if (p) FreeRaw(p); }
void operator delete[](void* p) noexcept { if (p) FreeRaw(p); }
void operator delete(void* p, size_t) noexcept { if (p) FreeRaw(p); }
void operator delete[](void* p, size_t) noexcept { if (p) FreeRaw(p); }

extern "C" void __cxa_pure_virtual() { ExitProcess(3); }
