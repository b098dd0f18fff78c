// Reads the data area as the setup program's install loop does: every entry's
// stream in file-list order, each through a file source budgeted with the
// entry's packed size, the next one starting where the decoder stopped
// fetching. Damage is reported per entry and reading goes on wherever the
// setup program would go on.
#pragma once

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "setup_reader.h"

struct StreamOutcome {
  bool external = false;   // no stream: the file lies beside the setup file
  bool decoded = false;    // the decoder ended the stream without error
  uint64_t length = 0;     // bytes the stream took from the data area
};

// open(i, entry): the descriptor to expand into, -1 to drop the output, or -2
// to stop the walk (the caller has reported why). done(i, entry, fd, outcome)
// follows every opened stream and every external entry; it owns fd.
using OpenOutput = std::function<int(size_t, const EntryView&)>;
using StreamDone = std::function<void(size_t, const EntryView&, int, const StreamOutcome&)>;

// False when the walk could not read every entry's stream (no data area, a
// missing volume, or the caller stopped it).
bool WalkDataArea(const SetupView& view, const OpenOutput& open, const StreamDone& done,
                  std::vector<std::string>* problems, std::vector<std::string>* warnings);

// "file entry 3 "bin\app.dll"", in the code page given.
std::string EntryLabel(size_t i, const EntryView& e, uint32_t codepage);
