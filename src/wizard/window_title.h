// The background window's title in framed mode: the program title, " - " and
// the page caption, cut to the buffer, never overrun.
#pragma once

#include <stdint.h>

void ComposeWindowTitle(char* destination, uint32_t capacity, const char* title, const char* caption);
