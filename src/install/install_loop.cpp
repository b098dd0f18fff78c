#include "install/install_loop.h"

#include <windows.h>

#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/destination.h"
#include "install/follow_up.h"
#include "install/paths.h"
#include "install/install_state.h"
#include "install/replace.h"
#include "install/temporary_name.h"
#include "package/checksum.h"
#include "package/expand.h"
#include "package/format.h"

using namespace format;

InstallState g_install;

namespace {

constexpr uint32_t kChecksumBlockSize = 16384;

struct Step {
  uint8_t* entry;
  const char* destination;   // work path B
  char* temporary;           // work path A; empty while no temporary file may exist
  FileHandle file;           // the temporary file while it is open
};

bool NameTaken(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void Report(const Step& step, EntryOutcome outcome) {
  if (g_install.hooks.entryDone) g_install.hooks.entryDone(step.entry, step.destination, outcome);
}

// Stops the installation with an error whose "%s" names the path.
int Fail(int error, const char* path) {
  g_setup.run.errorCode = error;
  CopyBounded(g_setup.errorFileName, kPathBufferSize, path);
  return 0;
}

// Whether to install over what is there: kOutcomeInstalled, or why not.
EntryOutcome Decide(const uint8_t* entry, int inUse, const char* destination) {
  if (inUse) {
    // A file in use that already has these contents is left as it is. It
    // counts as identical only when it could be read whole.
    FileHandle old = OpenExisting(destination, kOpenRead);
    if (old != INVALID_FILE) {
      uint32_t sum;
      bool identical = FileSize(old) == ReadU32(entry + kEntryFileSize) && FileChecksum(old, &sum) &&
                       sum == ReadU32(entry + kEntryChecksum);
      CloseFile(old);
      if (identical) return kOutcomeIdentical;
    }
  }
  if ((entry[kEntryOptions] & (kOptionCheckVersion | kOptionCheckLanguage)) && !VersionCheck(entry))
    return kOutcomeKeptNewer;
  return kOutcomeInstalled;
}

void SetFileTimes(FileHandle file, const uint8_t* entry) {
  const uint8_t* times = entry + kEntryFixedSize;
  if (entry[kEntryOptions] & (kOptionCheckVersion | kOptionCheckLanguage)) times += kEntryVersionBlockSize;
  FILETIME t[3];
  for (int i = 0; i < 3; ++i) {
    t[i].dwLowDateTime = ReadU32(times + 8 * i);
    t[i].dwHighDateTime = ReadU32(times + 8 * i + 4);
  }
  SetFileTime(file, &t[0], &t[1], &t[2]);
}

// Expands the entry's stream into a temporary file, reads it back and puts
// it in place. 1 when the entry is placed or scheduled, 0 when the
// installation stops.
int WriteAndPlace(Step* step, int inUse) {
  uint8_t* entry = step->entry;
  CreateFolders(step->destination);
  if (!MakeTemporaryName(step->temporary, step->destination, NameTaken)) {
    step->temporary[0] = 0;
    return Fail(17, step->destination);
  }
  step->file = CreateAlways(step->temporary);
  if (step->file == INVALID_FILE) {
    int result = Fail(17, step->temporary);
    step->temporary[0] = 0;  // nothing was made: nothing of another's to delete
    return result;
  }
  bool expanded = ExpandIntoFile(step->file, g_setup.volume.dataHandle, ReadU32(entry + kEntryPackedSize));
  if (g_setup.pageResult == 2) return 0;  // the user gave up at a volume prompt
  // A stream the decoder rejects is damaged whatever /R says; a later entry
  // would be read from the wrong place.
  if (!expanded) return Fail(21, step->destination);
  if (entry[kEntryOptions] & kOptionFileTimes) SetFileTimes(step->file, entry);
  CloseFile(step->file);
  step->file = INVALID_FILE;

  if (!(entry[kEntryOptions] & kOptionUninstaller) && !g_setup.noVerifySwitch) {
    FileHandle written = OpenExisting(step->temporary, kOpenRead);
    if (written == INVALID_FILE) return Fail(16, step->temporary);
    uint32_t sum;
    bool sound = FileChecksum(written, &sum) && sum == ReadU32(entry + kEntryChecksum);
    CloseFile(written);
    if (!sound) return Fail(21, step->destination);
  }

  if (inUse) ReplaceEntryAtRestart(entry, step->temporary);
  else ReplaceNow(entry, step->temporary);
  if (ReadU16(entry + kEntryStatus) == kStatusReplaceFailed) return Fail(22, step->destination);
  return 1;
}

// Leaves nothing of the stopped step behind.
void CleanUp(Step* step) {
  if (step->file != INVALID_FILE) CloseFile(step->file);
  if (step->temporary[0]) DeleteFileA(step->temporary);
  step->temporary[0] = 0;
}

}  // namespace

int BeginInstallation() {
  g_install.currentEntry = g_setup.package.firstEntry;
  g_install.index = 0xFFFFFFFFu;
  g_setup.run.errorCode = 0;
  VolumeState& volume = g_setup.volume;
  volume.counter = 0;
  volume.volumeSize = g_setup.package.dataLength;
  volume.remaining = g_setup.package.dataLength;
  CopyBounded(g_setup.packagePath, kPathBufferSize, g_setup.sourcePath);
  volume.dataHandle = OpenExisting(g_setup.packagePath, kOpenRead);
  if (volume.dataHandle == INVALID_FILE) {
    g_setup.run.errorCode = 16;
    CopyBounded(g_setup.errorFileName, kPathBufferSize, g_setup.packagePath);
    return 0;
  }
  SeekFromStart(volume.dataHandle, g_setup.package.dataAreaStart + 4);
  g_setup.run.running = true;
  if (g_install.hooks.note) g_install.hooks.note("destination", g_setup.destinationFolder);
  return 1;
}

int InstallNextFile() {
  Step step = {nullptr, g_setup.workPathB, g_setup.workPathA, INVALID_FILE};
  step.temporary[0] = 0;
  const PackageData& package = g_setup.package;
  if (++g_install.index >= package.fileCount) return 0;
  uint8_t* entry = const_cast<uint8_t*>(g_install.currentEntry);
  step.entry = entry;
  g_install.currentEntry += ReadU32(entry + kEntrySize);
  WriteU16(entry + kEntryStatus, kStatusNothingPlaced);

  int inUse = ResolveEntryDestination(entry);
  if (g_install.hooks.showFile) g_install.hooks.showFile(step.destination);
  // A destination that does not fit a path buffer would name another file.
  if (inUse == kDestinationTooLong) {
    Fail(17, step.destination);
    Report(step, kOutcomeFailed);
    return 0;
  }
  if (entry[kEntryOptions] & kOptionUninstaller)
    CopyBounded(g_setup.uninstallerPath, kPathBufferSize, step.destination);
  unsigned percentage = (g_install.index + 1) * 100u / package.fileCount;

  EntryOutcome outcome = kOutcomeExternal;
  if (entry[kEntryKind] != kEntryExternal) {
    g_setup.run.errorCode = 0;
    int placed;
    outcome = Decide(entry, inUse, step.destination);
    if (outcome == kOutcomeInstalled) {
      placed = WriteAndPlace(&step, inUse);
      if (ReadU16(entry + kEntryStatus) == kStatusAtRestart) outcome = kOutcomeAtRestart;
    } else {
      // The entry's bytes are read all the same: the next entry's follow them.
      bool skipped = ExpandIntoFile(INVALID_FILE, g_setup.volume.dataHandle, ReadU32(entry + kEntryPackedSize));
      placed = g_setup.pageResult == 2 ? 0 : skipped ? 1 : Fail(21, step.destination);
    }
    // A volume prompt the user gave up sets error 15.
    if (!placed || g_setup.run.errorCode) {
      CleanUp(&step);
      Report(step, kOutcomeFailed);
      return 0;
    }
    if (entry[kEntryOptions] & kOptionUninstaller) {
      // An uninstaller that waits for the restart gets the uninstall data in
      // the file that will replace it.
      if (ReadU16(entry + kEntryStatus) == kStatusAtRestart && AllocZeroed(kPathBufferSize, &g_install.uninstallerFile))
        CopyBounded(g_install.uninstallerFile, kPathBufferSize, step.temporary);
      WriteU16(entry + kEntryStatus, kStatusNothingPlaced);
    }
    step.temporary[0] = 0;  // the file is no longer temporary
  }
  RunFollowUpActions(entry, step.destination, percentage);
  Report(step, outcome);
  return 1;
}

void AbandonInstallation() {
  if (g_setup.volume.dataHandle != INVALID_FILE) CloseFile(g_setup.volume.dataHandle);
  g_setup.volume.dataHandle = INVALID_FILE;
  g_setup.run.running = false;
}


bool FileChecksum(FileHandle file, uint32_t* sum) {
  uint8_t* block;
  *sum = 0;
  if (!AllocBlock(kChecksumBlockSize, &block)) return false;
  SeekFromStart(file, 0);
  uint32_t size = FileSize(file), done = 0, got;
  while ((got = ReadSome(file, block, kChecksumBlockSize)) > 0) {
    *sum = UpdateChecksum(*sum, block, got);
    done += got;
  }
  FreeBlock(block);
  return done == size;
}

// Existence is tested by entering the folder, which leaves it the current
// directory, as the destination page's test does.
static bool FolderExists(const char* folder) { return SetCurrentDirectoryA(folder) != 0; }

static bool MakeFolder(const char* folder) {
  return FolderExists(folder) || (CreateDirectoryA(folder, nullptr) && FolderExists(folder));
}

int CreateFolders(const char* path) {
  char* copy;
  if (!AllocBlock(kPathBufferSize, &copy)) return -1;
  CopyBounded(copy, kPathBufferSize, path);
  char* last = nullptr;
  for (char* p = copy; *p; ++p)
    if (*p == '\\') last = p;
  if (last) last[1] = 0;
  // A network path's server and share cannot be made: folders begin after them.
  char* scan = copy;
  if (copy[0] == '\\' && copy[1] == '\\') {
    int slashes = 0;
    for (scan = copy + 2; *scan && slashes < 2; ++scan)
      if (*scan == '\\') ++slashes;
  } else if (copy[0] && copy[1] == ':' && copy[2] == '\\') {
    scan = copy + 3;
  }
  int result = 0;
  bool any = false;
  for (char* p = scan; *p && result == 0; ++p) {
    if (*p != '\\') continue;
    any = true;
    *p = 0;
    if (!MakeFolder(copy)) result = 1;
    *p = '\\';
  }
  if (!any && *scan) {
    StripBackslash(copy);
    if (!MakeFolder(copy)) result = 1;
  }
  FreeBlock(copy);
  return result;
}
