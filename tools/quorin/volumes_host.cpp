// OpenNextVolume for the host: the same naming and remaining-count rules as the
// stub's, with a missing volume reported by name instead of a disk prompt.
#include "volumes_host.h"

#include <stdio.h>
#include <string.h>
#include <sys/stat.h>

#include "common/setup_state.h"
#include "install/paths.h"
#include "output_paths.h"
#include "package/format.h"
#include "package/volumes.h"

namespace {

std::string g_folder;            // the setup file's folder; the package path holds the name
std::string g_error;
std::vector<std::string> g_notes;
std::vector<std::string> g_warnings;
std::string g_setupPath;
std::vector<uint32_t> g_sizes;   // size field of each volume met so far, by counter
char g_packageName[format::kPathBufferSize];

uint32_t FirstDataByte(int32_t counter) {
  return counter == 0 ? g_setup.package.dataAreaStart + 4 : 4;
}

}  // namespace

bool BeginReadingVolumes(const std::string& setupPath, std::string* error) {
  g_error.clear();
  g_notes.clear();
  g_warnings.clear();
  g_setupPath = setupPath;
  size_t slash = setupPath.rfind('/');
  g_folder = slash == std::string::npos ? "" : setupPath.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? setupPath : setupPath.substr(slash + 1);
  if (name.size() >= format::kPathBufferSize) return *error = setupPath + ": the file name is too long", false;
  snprintf(g_packageName, sizeof g_packageName, "%s", name.c_str());
  g_setup.packagePath = g_packageName;
  VolumeState& v = g_setup.volume;
  v.counter = 0;
  v.volumeSize = g_setup.package.dataLength;
  v.remaining = g_setup.package.dataLength;
  g_sizes.assign(1, g_setup.package.dataLength);
  v.dataHandle = OpenExisting(setupPath.c_str(), kOpenRead);
  if (v.dataHandle == INVALID_FILE) return *error = setupPath + ": cannot open: " + strerror(errno), false;
  SeekFromStart(v.dataHandle, FirstDataByte(0));
  return true;
}

void EndReadingVolumes() {
  if (g_setup.volume.dataHandle != INVALID_FILE) CloseFile(g_setup.volume.dataHandle);
  g_setup.volume.dataHandle = INVALID_FILE;
}

uint64_t DataAreaPosition() {
  VolumeState& v = g_setup.volume;
  uint64_t before = 0;
  for (int32_t k = 0; k < v.counter && k < static_cast<int32_t>(g_sizes.size()); ++k) before += g_sizes[k];
  if (v.dataHandle == INVALID_FILE) return before;
  // Read-ahead given back across a volume change can leave the file inside
  // its size field; count that as the volume's start.
  uint32_t at = FilePosition(v.dataHandle), first = FirstDataByte(v.counter);
  return before + (at > first ? at - first : 0);
}

const std::string& VolumeError() { return g_error; }

const std::vector<std::string>& VolumeNotes() { return g_notes; }

const std::vector<std::string>& VolumeWarnings() { return g_warnings; }

std::string CurrentVolumePath() { return g_folder + g_setup.packagePath; }

bool VolumeFileExists(const std::string& setupPath, int k) {
  std::string path = VolumePath(setupPath, k);
  struct stat st;
  return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string TrailingBytesNote(const std::string& setupPath, int k, uint64_t extra, uint32_t declared) {
  std::string which = k == 0 ? "volume 0 (the setup file)" : "volume file " + VolumePath(setupPath, k);
  std::string s = std::to_string(extra) + (extra == 1 ? " byte follows" : " bytes follow") + " the data of " + which +
                  ", whose size field counts " + std::to_string(declared) + " data bytes; ";
  if (VolumeFileExists(setupPath, k + 1))
    return s + "the setup program reads them as data before it changes to " + VolumePath(setupPath, k + 1);
  return s + "the setup program reads them only when a volume file follows, and none does";
}
FileHandle OpenNextVolume() {
  VolumeState& v = g_setup.volume;
  if (v.dataHandle != INVALID_FILE) CloseFile(v.dataHandle);
  v.dataHandle = INVALID_FILE;
  uint32_t offset = 0;
  if (v.remaining != 0) {
    // The read ended inside the volume: the same file again, where it stopped.
    offset = v.volumeSize - v.remaining;
  } else {
    ++v.counter;
    char extension[16];
    snprintf(extension, sizeof extension, ".D%2.2d", v.counter);
    ReplaceExtension(g_setup.packagePath, extension);
  }
  std::string path = CurrentVolumePath();
  FileHandle file = OpenExisting(path.c_str(), kOpenRead);
  if (file == INVALID_FILE) {
    g_error = "volume file " + path + " (disk " + std::to_string(v.counter + 1) + ") is missing";
    return INVALID_FILE;
  }
  uint8_t field[4];
  if (ReadExact(file, field, 4) != kFileOk) {
    // The stub would retry this volume; here it is simply damaged.
    CloseFile(file);
    v.volumeSize = v.remaining = 0;
    g_error = "volume file " + path + " is too short to hold its 4-byte size field";
    return INVALID_FILE;
  }
  v.volumeSize = format::ReadU32(field);
  v.remaining = v.volumeSize;
  uint64_t length = FileSize(file);
  if (offset == 0 && length < 4ull + v.volumeSize)
    g_notes.push_back("volume file " + path + " says it holds " + std::to_string(v.volumeSize) + " data bytes but has " +
                      std::to_string(length - 4));
  if (offset == 0 && length > 4ull + v.volumeSize) {
    std::string note = TrailingBytesNote(g_setupPath, v.counter, length - 4 - v.volumeSize, v.volumeSize);
    (VolumeFileExists(g_setupPath, v.counter + 1) ? g_notes : g_warnings).push_back(note);
  }
  if (static_cast<size_t>(v.counter) >= g_sizes.size()) g_sizes.resize(v.counter + 1);
  g_sizes[v.counter] = v.volumeSize;
  if (offset != 0) {
    SeekRelative(file, static_cast<int32_t>(offset));
    v.remaining -= offset;
    if (FilePosition(file) != offset + 4) {
      CloseFile(file);
      v.volumeSize = v.remaining = 0;
      g_error = "volume file " + path + " ended early and cannot be read on from where it stopped";
      return INVALID_FILE;
    }
  }
  g_error.clear();
  v.dataHandle = file;
  return file;
}
