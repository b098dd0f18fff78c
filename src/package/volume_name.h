// Names of the data volumes: volume k bears the name of the one before it
// with the extension .Dkk, at least two digits (.D01 to .D99, then .D100).
#pragma once

#include <stdint.h>

// Gives the path in a 260-byte buffer the extension of volume `counter`.
// False when the name had to be cut: such a volume cannot be opened.
bool NextVolumeName(char* path, int32_t counter);
