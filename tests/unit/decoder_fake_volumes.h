// Controls the tests' OpenNextVolume: each call takes the next queued handle,
// or gives INVALID_FILE (the user gave up) when none is left.
#pragma once

#include "common/file_io.h"
#include "package/volumes.h"

void QueueNextVolume(FileHandle file);
int NextVolumeCalls();
void ResetFakeVolumes();
