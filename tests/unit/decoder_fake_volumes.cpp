// The tests' stand-in for the volume change: hands out prepared handles.
#include "decoder_fake_volumes.h"

#include <deque>

namespace {
std::deque<FileHandle> g_nextVolumes;
int g_volumeCalls = 0;
std::function<void()> g_hook;
}  // namespace

void QueueNextVolume(FileHandle file) { g_nextVolumes.push_back(file); }
int NextVolumeCalls() { return g_volumeCalls; }
void ResetFakeVolumes() {
  g_nextVolumes.clear();
  g_volumeCalls = 0;
  g_hook = nullptr;
}
void OnNextVolume(std::function<void()> hook) { g_hook = hook; }

FileHandle OpenNextVolume() {
  ++g_volumeCalls;
  if (g_hook) g_hook();
  if (g_nextVolumes.empty()) return INVALID_FILE;
  FileHandle file = g_nextVolumes.front();
  g_nextVolumes.pop_front();
  return file;
}
