// The arithmetic of disk space on the destination page and in the destination
// check. Sizes and free space are counted in 64 bits, so that neither sums
// of 4 GiB and more nor disks of 4 TiB and more wrap.
#pragma once

#include <stdint.h>

// A file's size rounded up to whole clusters of clusterKb kilobytes; a
// cluster size of 0 counts as 1 KB.
uint64_t AllocatedSize(uint64_t size, uint32_t clusterKb);

// Megabytes rounded up, kept within 32 bits for the text that shows them.
uint32_t MegabytesOfBytes(uint64_t bytes);
uint32_t MegabytesOfKilobytes(uint64_t kilobytes);

// True when the need fits the free space: need / 1024 below the free
// kilobytes. Equal counts as too little.
bool EnoughSpace(uint64_t needBytes, uint64_t freeKilobytes);
