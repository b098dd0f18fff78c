// What follows every entry that was placed, kept or found identical: the
// shared-file count, font registration, the marks for the end of the run, the
// desktop shortcut and the progress percentage.
#pragma once

#include <stdint.h>

void RunFollowUpActions(const uint8_t* entry, const char* destination, unsigned percentage);

// Raises the count of a shared file under SharedDLLs, or starts it at 1.
void CountSharedFile(const char* path);
