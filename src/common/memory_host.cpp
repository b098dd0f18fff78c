#include "common/memory.h"

#include <stdlib.h>

bool AllocRaw(uint32_t n, void** out) {
  *out = malloc(n ? n : 1);
  return *out != nullptr;
}

bool AllocZeroedRaw(uint32_t n, void** out) {
  *out = calloc(n ? n : 1, 1);
  return *out != nullptr;
}

void FreeRaw(void* p) { free(p); }
