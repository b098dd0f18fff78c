#include "startup/config_block.h"

#include "package/format.h"

// volatile: the size is patched into the file after linking and may be
// overwritten at run time, so the compiler must not fold the initial zero.
extern "C" {
__attribute__((used)) volatile uint8_t g_stubConfig[18] = {
    'w', 'w', 'g', 'T', ')', 'H', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

uint32_t StubSize() {
  const volatile uint8_t* p = g_stubConfig + format::kConfigStubSizeOffset;
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
