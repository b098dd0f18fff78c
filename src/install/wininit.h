// Deleting a file at the next restart on Windows 9x. The system carries out
// the "Rename" section of WININIT.INI when it starts: a line
// "<short destination>=<short source>" moves a file, a line "NUL=<short path>"
// deletes one. The profile functions keep one line per key, so a second NUL
// line cannot be written through them: the line is written under a stand-in
// key and the key is then patched to NUL in the file's text.
#pragma once

#include <stdint.h>

constexpr char kWininitSection[] = "Rename";
constexpr char kWininitStandInKey[] = "xyz";

// Finds the first line "xyz=<shortPath>" of the text (size bytes, no NUL
// needed) and overwrites its key with NUL. The line must hold exactly that
// path, so a longer path that begins with it is not taken. Returns false when
// there is no such line.
bool MarkWininitDeletion(char* text, uint32_t size, const char* shortPath);
