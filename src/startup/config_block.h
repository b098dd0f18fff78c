#pragma once

#include <stdint.h>

// The stub configuration block in the stub's initialised data: 'w' 'w' "gT)H",
// u32 stub size (written after linking), 8 bytes carried along. A stub started
// with /S and a zero stub size takes the block of its source file instead.
extern "C" volatile uint8_t g_stubConfig[18];

uint32_t StubSize();
