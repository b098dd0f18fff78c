// `quorin list` of an installed uninstaller: its program, and the uninstall
// records a setup appended behind it, read with the same reader the
// uninstaller uses (src/install/uninstall_data.h). Every record and entry the
// uninstaller would refuse is named with its offset and the reason.
#pragma once

#include <stdint.h>

#include <ostream>
#include <string>
#include <vector>

#include "setup_model.h"

struct UninstallEntryView {
  std::string folder;          // as recorded, in the installing system's code page
  std::string name;
  uint8_t flags = 0;           // file records: 1 shared, 2 font, 4 self-registering
  std::string refused;         // why the uninstaller leaves it alone; empty when it removes it
};

struct UninstallRecordView {
  uint32_t offset = 0;         // of its header, in the file
  uint16_t tag = 0;
  uint32_t bodyLength = 0;
  std::string problem;         // why the uninstaller skips the record; empty when it reads whole
  std::vector<UninstallEntryView> entries;  // file and shortcut records
  uint32_t root = 0;           // the key record
  std::string key;
  std::string keyRefused;
};

struct UninstallerView {
  std::string path;
  uint32_t codePage = 1252;    // of the names: the installing system's, which the data does not record
  uint64_t fileSize = 0;
  uint32_t configOffset = 0;
  uint32_t programSize = 0;    // the length its configuration block holds, placeholder included
  std::string arch;
  uint32_t dataOffset = 0;     // where the data begins: programSize less the 8-byte placeholder
  uint64_t dataBytes = 0;
  std::vector<UninstallRecordView> records;
  bool ended = false;          // the end record was read
  uint64_t bytesBehindEnd = 0;
  std::vector<std::string> problems;
  std::vector<std::string> warnings;
};

// False when the file holds no uninstaller configuration block ('w' 'w'
// "UnIn") in its first 196,500 bytes, or cannot be read; *error says why.
// Names are shown in the code page given.
bool ReadUninstaller(const std::string& path, uint32_t codepage, UninstallerView* view, std::string* error);

void PrintUninstaller(const UninstallerView& view, std::ostream& out);
Json UninstallerModel(const UninstallerView& view);
