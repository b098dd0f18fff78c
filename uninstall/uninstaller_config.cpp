#include "uninstaller_config.h"

#include "package/format.h"

// volatile: the size is written into the file after linking, so the compiler
// must not fold the initial zero. Unlike the stub's, nothing overwrites it at
// run time, so it lies in read-only data.
extern "C" {
__attribute__((used, section(".rdata$uninstallerConfig"))) const volatile uint8_t g_uninstallerConfig[18] = {
    'w', 'w', 'U', 'n', 'I', 'n', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
}

uint32_t UninstallerSize() {
  const volatile uint8_t* p = g_uninstallerConfig + format::kConfigStubSizeOffset;
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
