#include "install/space.h"

uint64_t AllocatedSize(uint64_t size, uint32_t clusterKb) {
  uint64_t cluster = static_cast<uint64_t>(clusterKb ? clusterKb : 1) * 1024;
  return (size + cluster - 1) / cluster * cluster;
}

static uint32_t Clamp(uint64_t value) { return value > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(value); }

uint32_t MegabytesOfBytes(uint64_t bytes) { return Clamp((bytes + 1048575) / 1048576); }

uint32_t MegabytesOfKilobytes(uint64_t kilobytes) { return Clamp((kilobytes + 1023) / 1024); }

bool EnoughSpace(uint64_t needBytes, uint64_t freeKilobytes) { return needBytes / 1024 < freeKilobytes; }
