// The file list as the setup walks it, over arbitrary bodies: a body the
// loader accepts is walked entry by entry, every string is read, and every
// path the host side composes from an entry (its destination, beside the
// setup file, its temporary name, its recorded folder, a volume name) stays
// inside its 260-byte buffer and ends with its NUL. Input: a file list body.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "install/paths.h"
#include "install/temporary_name.h"
#include "install/uninstall_data.h"
#include "package/format.h"
#include "package/loader.h"
#include "package/volume_name.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

bool NothingTaken(const char*) { return false; }

// A path buffer with guard bytes behind it; a write past 260 bytes shows.
struct PathBuffer {
  char bytes[format::kPathBufferSize + 16];
  PathBuffer() { memset(bytes, 'G', sizeof bytes); }
  void CheckIntact() const {
    Check(memchr(bytes, 0, format::kPathBufferSize) != nullptr);
    for (size_t i = format::kPathBufferSize; i < sizeof bytes; ++i) Check(bytes[i] == 'G');
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > 0xFFFF) return 0;
  // The loader keeps one zero byte behind every body.
  std::vector<uint8_t> body(data, data + size);
  body.push_back(0);
  uint32_t count = format::ReadU32(body.data());
  if (!FileListIsSound(body.data(), static_cast<uint32_t>(size), count)) return 0;
  const uint8_t* entry = body.data() + 4;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* end = entry + format::ReadU32(entry + format::kEntrySize);
    for (int n = 0; n < format::kEntryStringCount; ++n) {
      const char* text = EntryString(entry, n);
      size_t length = strlen(text);
      Check(length == 0 || (reinterpret_cast<const uint8_t*>(text) >= entry &&
                            reinterpret_cast<const uint8_t*>(text) + length < end));
    }
    const char* name = EntryString(entry, 0);
    PathBuffer destination, beside, temporary, recorded, volume;
    JoinPath(destination.bytes, "C:\\Program Files\\Product", name);
    destination.CheckIntact();
    BesideSourcePath(beside.bytes, "A:\\disk1\\setup.exe", name);
    beside.CheckIntact();
    MakeTemporaryName(temporary.bytes, destination.bytes, NothingTaken);
    temporary.CheckIntact();
    RecordedFolderOf(recorded.bytes, destination.bytes, "C:\\Program Files\\Product\\");
    recorded.CheckIntact();
    strcpy(volume.bytes, destination.bytes);
    NextVolumeName(volume.bytes, static_cast<int32_t>(i + 1));
    volume.CheckIntact();
    size_t macroLength;
    PathBuffer folder;
    strncpy(folder.bytes, name[0] == '#' ? name : "#Program Files#\\x", format::kPathBufferSize - 1);
    folder.bytes[format::kPathBufferSize - 1] = 0;
    if (ParseFolderMacro(folder.bytes, &macroLength) != kMacroNone)
      ReplaceFolderMacro(folder.bytes, macroLength, "C:\\Program Files");
    folder.CheckIntact();
    entry = end;
  }
  return 0;
}
