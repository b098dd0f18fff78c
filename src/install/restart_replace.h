// Replace at restart: what cannot be replaced or deleted now because it is in
// use is left to the next start of Windows. The NT family keeps the pending
// operations itself; Windows 9x reads them from WININIT.INI (see wininit.h).
// The road follows g_setup.isNt.
#pragma once

// Schedules `source` to replace `destination` at the next restart, or, with
// no destination, `source` to be deleted then. Returns false when nothing
// could be scheduled (the system refused, a short path could not be had,
// WININIT.INI could not be written or patched): the caller must then treat
// the file as not handled. A failed deletion leaves no stray line behind.
bool ReplaceAtRestart(const char* destination, const char* source);
