// Reading the data area across volume files.
#pragma once

#include "common/file_io.h"

// Called by a budgeted file source whose read came up short: closes the current
// data handle and returns the handle to continue with, or INVALID_FILE when the
// user gave up or the volume is unusable. Each program that reads the data
// area (the stub, the quorin inspector) provides its own.
FileHandle OpenNextVolume();

// Remembers where the data area starts and reads volume 0's size into the volume
// state. The file is positioned at the size field; on return it is behind it.
// Returns 0 or the file-layer result of the read.
int RecordDataArea(FileHandle file);
