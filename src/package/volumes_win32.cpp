// Following the data area into the volume files beside the setup file, and
// asking for the disk that holds the next one.
#include <windows.h>

#include "common/safe_format.h"
#include "common/setup_state.h"
#include "package/format.h"
#include "package/messages.h"
#include "package/volume_name.h"
#include "package/volumes.h"

namespace {

constexpr uint32_t kPromptBufferSize = 200;

// The user gave up: the running page ends as cancelled and error 15 tells why.
FileHandle GiveUp() {
  g_setup.pageResult = 2;
  g_setup.run.errorCode = 15;
  ClearFinishEntries();
  return INVALID_FILE;
}

// Opens the volume file and reads its size. A file whose size cannot be read
// counts as missing, so the user is asked for it instead of being retried
// without end.
FileHandle OpenVolume() {
  VolumeState& volume = g_setup.volume;
  FileHandle file = OpenExisting(g_setup.packagePath, kOpenRead);
  if (file == INVALID_FILE) return INVALID_FILE;
  uint8_t field[4];
  if (ReadExact(file, field, 4) != kFileOk) {
    volume.volumeSize = volume.remaining = 0;
    CloseFile(file);
    return INVALID_FILE;
  }
  volume.volumeSize = volume.remaining = format::ReadU32(field);
  return file;
}

}  // namespace

FileHandle OpenNextVolume() {
  VolumeState& volume = g_setup.volume;
  if (volume.dataHandle != INVALID_FILE) CloseFile(volume.dataHandle);
  volume.dataHandle = INVALID_FILE;

  // A read that ended inside the volume goes on in the same file.
  uint32_t offset = volume.volumeSize - volume.remaining;
  if (volume.remaining == 0) {
    offset = 0;
    ++volume.counter;
    // A name that had to be cut would open another file.
    if (!NextVolumeName(g_setup.packagePath, volume.counter)) return GiveUp();
  }
  for (;;) {
    FileHandle file = OpenVolume();
    if (file != INVALID_FILE) {
      if (offset) {
        uint32_t at = SeekRelative(file, static_cast<int32_t>(offset));
        volume.remaining -= offset;
        if (at != offset + 4) {
          volume.volumeSize = volume.remaining = 0;
          CloseFile(file);
          return INVALID_FILE;
        }
      }
      volume.dataHandle = file;
      return file;
    }
    char prompt[kPromptBufferSize];
    FormatWithNumber(prompt, kPromptBufferSize, GetGroupString(6, 28), static_cast<uint32_t>(volume.counter + 1));
    if (AskQuestion(kAskInsertVolume, prompt, MB_OKCANCEL | MB_ICONINFORMATION) == IDOK) continue;
    if (AskQuestion(kAskGiveUpVolume, GetGroupString(6, 13), MB_YESNO | MB_ICONQUESTION) == IDYES) return GiveUp();
  }
}
