// A running program cannot delete its own file. When the work is done the
// uninstaller copies itself to the temporary folder and starts the copy in
// cleanup mode: the copy waits for the uninstaller to end, deletes its file
// and the destination folder if that is now empty, and has itself deleted at
// the next restart. The uninstaller's exit code still reaches whoever started
// it, because the copy is a separate process that reports nothing.
#pragma once

#include <stdint.h>

// Reads a file whole (at most 64 MiB) into a block; false when it cannot.
bool ReadWholeFile(const char* path, uint8_t** contents, uint32_t* size);

// Starts the cleanup copy; when no copy can be made or started, the
// uninstaller and its folder are left to the next restart instead.
void RemoveUninstallerLater();

// The copy's side: the command-line tail after "/CLEANUP".
int RunCleanup(const char* arguments);
