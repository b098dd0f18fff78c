// Removing one recorded file: its shared count, its component registration,
// its font registration, and the file itself, now or at the next restart.
#pragma once

#include <stdint.h>

// flags: the file record's flags (shared, font, self-registering).
void RemoveRecordedFile(const char* path, uint8_t flags);

// Deletes a file; one in use is left to the next restart. A file already
// gone counts as removed. Failures are noted.
void DeleteNowOrAtRestart(const char* path);
