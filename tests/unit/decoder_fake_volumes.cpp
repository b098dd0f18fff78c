// The tests' stand-in for the volume change: hands out prepared handles.
#include "decoder_fake_volumes.h"

#include <deque>

namespace {
std::deque<FileHandle> g_nextVolumes;
int g_volumeCalls = 0;
}  // namespace

void QueueNextVolume(FileHandle file) { g_nextVolumes.push_back(file); }
int NextVolumeCalls() { return g_volumeCalls; }
void ResetFakeVolumes() {
  g_nextVolumes.clear();
  g_volumeCalls = 0;
}

FileHandle OpenNextVolume() {
  ++g_volumeCalls;
  if (g_nextVolumes.empty()) return INVALID_FILE;
  FileHandle file = g_nextVolumes.front();
  g_nextVolumes.pop_front();
  return file;
}
