#include "data_walk.h"

#include <unistd.h>

#include "common/setup_state.h"
#include "grouped_number.h"
#include "package/expand.h"
#include "package/format.h"
#include "setup_text.h"
#include "volumes_host.h"

std::string EntryLabel(size_t i, const EntryView& e, uint32_t codepage) {
  return "file entry " + std::to_string(i) + " " + Quoted(e.strings[0], codepage);
}

bool WalkDataArea(const SetupView& view, const OpenOutput& open, const StreamDone& done,
                  std::vector<std::string>* problems, std::vector<std::string>* warnings) {
  if (!view.hasDataArea) {
    if (!view.entries.empty()) problems->push_back("the package has no data area, so no file can be read");
    return false;
  }
  g_setup.package.dataAreaStart = view.dataAreaStart;
  g_setup.package.dataLength = view.dataLength;
  std::string error;
  if (!BeginReadingVolumes(view.path, &error)) return problems->push_back(error), false;
  bool whole = true, allDecoded = true;
  for (size_t i = 0; i < view.entries.size(); ++i) {
    const EntryView& e = view.entries[i];
    std::string label = EntryLabel(i, e, view.codePage);
    StreamOutcome outcome;
    if (e.entryKind == format::kEntryExternal) {
      outcome.external = true;
      done(i, e, -1, outcome);
      continue;
    }
    int fd = open(i, e);
    if (fd == -2) {
      whole = false;
      break;
    }
    uint64_t before = DataAreaPosition();
    FileHandle output = fd >= 0 ? reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd)) : INVALID_FILE;
    outcome.decoded = ExpandIntoFile(output, g_setup.volume.dataHandle, e.packedSize);
    uint64_t after = DataAreaPosition();
    outcome.length = after > before ? after - before : 0;
    allDecoded = allDecoded && outcome.decoded;
    if (!VolumeError().empty()) {
      // The setup program stops here as well: it cannot read on without the volume.
      problems->push_back(label + ": " + VolumeError() + "; the entries after it cannot be read");
      done(i, e, fd, outcome);
      whole = false;
      break;
    }
    if (!outcome.decoded)
      problems->push_back(label + ": the stream does not decode; the setup program stops installing at this entry, "
                          "and reading goes on from where its decoder stopped");
    else if (e.packedSize == 0)
      problems->push_back(label + ": packed size 0, yet the entry has a stream of " + Grouped(outcome.length) +
                          " bytes; the setup program reads it without a limit and reads on behind it");
    else if (outcome.length != e.packedSize)
      problems->push_back(label + ": the stream is " + Grouped(outcome.length) + " bytes long, but the entry says " +
                          Grouped(e.packedSize) + "; the setup program reads the next stream from where this one ends");
    done(i, e, fd, outcome);
  }
  for (const std::string& note : VolumeNotes()) problems->push_back(note);
  for (const std::string& note : VolumeWarnings()) warnings->push_back(note);
  if (whole && allDecoded && g_setup.volume.counter == 0) {
    uint64_t used = DataAreaPosition();
    if (used < view.dataLength)
      problems->push_back(Grouped(view.dataLength - used) + " bytes at the end of the data area belong to no file entry");
  }
  EndReadingVolumes();
  return whole;
}
