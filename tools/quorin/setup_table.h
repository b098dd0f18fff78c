// `quorin list --table`: one line per file (destination, size, packed, ratio,
// checksum), grouped by folder with a total per folder and for the whole.
#pragma once

#include <stdint.h>

#include <ostream>

#include "setup_reader.h"

void PrintSetupTable(const SetupView& view, uint32_t codepage, std::ostream& out);
