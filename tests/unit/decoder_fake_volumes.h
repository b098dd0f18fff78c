// Controls the tests' OpenNextVolume: each call takes the next queued handle,
// or gives INVALID_FILE (the user gave up) when none is left.
#pragma once

#include <functional>

#include "common/file_io.h"
#include "package/volumes.h"

void QueueNextVolume(FileHandle file);
int NextVolumeCalls();
void ResetFakeVolumes();
// Runs at every OpenNextVolume call, before it answers.
void OnNextVolume(std::function<void()> hook);
