// Making sure of the destination folder before the installation: that it
// exists (made on request), that its disk has room, and that no existing
// target file is read-only beyond repair. The destination page runs these
// on Next, an unattended installation on the folder it was given.
#pragma once

#include <stdint.h>

// Free space of the disk a path lies on, in kilobytes, and its cluster size
// in whole kilobytes (1 when unknown). False when it cannot be found.
bool QueryFreeSpace(const char* path, uint64_t* freeKilobytes, uint32_t* clusterKb);

// The space every file entry needs, each rounded up to whole clusters.
uint64_t SpaceNeeded(uint32_t clusterKb);

enum FolderResult {
  kFolderReady,     // exists; the destination folder is its full path with a trailing '\'
  kFolderDeclined,  // missing, and the user did not want it made
  kFolderFailed,    // could not be made
};

// Takes the destination folder as a full path (relative to the current
// directory) and makes it, with all missing parents, when it does not exist
// and the question (string group 6 entry 6, not asked when empty) allows.
FolderResult PrepareDestinationFolder();

// 0 go on, 9 a target file cannot be made writable (its path in the error
// file name), 11 not enough free space. Sets the read-only targets flag; a
// font already in the fonts folder stops being listed for removal.
int CheckDestination();
