#pragma once

#include <stdint.h>

// The uninstaller's configuration block in its initialised data: 'w' 'w'
// "UnIn", u32 length of the uninstaller file including its 8-byte
// placeholder (written after linking), 8 bytes unused. The uninstall data
// begins 8 bytes before that length, where the setup wrote its first record
// over the placeholder.
extern "C" const volatile uint8_t g_uninstallerConfig[18];

uint32_t UninstallerSize();
