// Putting a new file in place of the old one: now, or, when the old file is in
// use, at the next restart; and the version and language questions before.
#pragma once

#include <stdint.h>

// 1 to install the entry's file over the existing one at the destination
// (work path B), 0 to keep the existing one. May ask two questions.
int VersionCheck(const uint8_t* entry);

// Puts the temporary file in place of the destination (work path B) and sets
// the entry's status: 23 replaced, 25 new, 500 at the next restart, or 27
// when neither could be done.
void ReplaceNow(uint8_t* entry, const char* temporary);

// The old file is in use: identical contents keep it (the temporary file is
// deleted, 23); different ones replace it at the next restart (500), or
// nothing can be done (27).
void InUseComparison(uint8_t* entry, const char* temporary);

// Schedules the temporary file for the next restart: status 500 and the
// restart-needed flag, or 27 when the system refused.
void ReplaceEntryAtRestart(uint8_t* entry, const char* temporary);
