#pragma once

#include <stddef.h>

// Reads the switches of the command-line tail into the setup state:
// /S path (source), /R (no verify), /DEL (self-delete), and for unattended
// installs /Q (quiet), /T folder (destination) and /L file (log), which take
// their argument as /S does; '-' works like '/', letters in any case.
// Anything that does not start with a switch ends parsing.
void ParseCommandLine(const char* tail);

// Copies one argument, quoted or not, into destination (at most size - 1
// characters, always terminated) and returns the position behind it.
const char* ParseArgument(const char* p, char* destination, size_t size);
