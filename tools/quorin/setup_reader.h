// Reads any setup file laid out as the stub expects: finds the configuration
// block the way the stub's /S road does, walks the records as the loader does,
// expands every compressed body and string group, and parses the file list.
// Nothing in the file is trusted: each problem is reported with the record or
// entry it belongs to, and the reader goes on where it safely can.
#pragma once

#include <stdint.h>

#include <string>
#include <vector>

#include "byte_buffer.h"
#include "package/format.h"

struct RecordView {
  uint16_t tag;
  uint8_t flags;
  uint32_t offset;        // of the header
  uint32_t bodyLength;
  uint32_t expandedSize;  // compressed bodies: the stated size
  Bytes body;             // stored or expanded body (empty for the data area)
  bool usable;            // read and decoded as the stub would
  bool flagsApply;        // false where the record is read the same way whatever its flags
};

struct EntryView {
  uint32_t offset;        // inside the file list body
  uint32_t size;
  uint16_t status;
  uint16_t iconIndex;
  uint8_t destinationKind;
  uint8_t finishAction;
  uint8_t shared;
  uint8_t entryKind;
  uint8_t special;
  uint8_t options;
  uint32_t checksum;
  uint32_t fileSize;
  uint32_t packedSize;
  bool hasVersion;
  uint32_t versionMs, versionLs, language;
  bool hasTimes;
  uint64_t times[3];      // creation, last access, last write
  std::string strings[6]; // name, menu folders, menu name, menu arguments, desktop name, desktop arguments
};

struct TemplateView {
  int number;
  uint32_t offset;        // inside the template record
  uint32_t size;          // bytes the dialog takes, 0 when it does not parse
  std::string caption;
  size_t controls;
};

// Record 0x1251: values the setup program writes beside the uninstall entry.
struct UninstallValuesView {
  uint32_t flags = 0;
  uint32_t sizeKb = 0;
  std::string texts[3];   // DisplayVersion, Publisher, DisplayIcon
};

struct SetupView {
  std::string path;
  uint32_t fileSize = 0;
  uint32_t configOffset = 0;
  uint32_t stubSize = 0;
  std::string stubArch;        // "i686", "x64", or what the stub's header says instead
  std::vector<RecordView> records;
  uint32_t flags = 0;
  bool hasFlags = false;
  uint16_t startPage = 0xFFFF;
  std::string defaultFolder;   // record 0x1235 in full; the setup program keeps 259 characters
  bool hasDefaultFolder = false;
  uint32_t codePage = format::kDefaultCodePage;  // record 0x1252,, or 1252 for a package without it
  bool hasCodePage = false;
  uint32_t pacingMs = 0;       // record 0x1250
  bool hasPacing = false;
  UninstallValuesView uninstallValues;
  bool hasUninstallValues = false;
  uint16_t groupCount = 0;
  bool groupPresent[9] = {};
  std::vector<std::string> groups[9];
  bool hasFileList = false;
  uint32_t fileCount = 0;
  std::vector<EntryView> entries;
  std::vector<TemplateView> templates;
  bool hasDataArea = false;
  uint32_t dataAreaStart = 0;  // offset of volume 0's size field
  uint32_t dataLength = 0;
  uint32_t volume0Extra = 0;   // bytes behind the data of volume 0 that its size does not count
  bool usable = false;         // the stub's loader would accept the package
  std::vector<std::string> problems;
  std::vector<std::string> warnings;  // harmless as the setup program reads it, worth knowing
};

// False only when the file cannot be read at all or holds no package; damage
// found further on is listed in view->problems.
bool ReadSetup(const std::string& path, SetupView* view, std::string* error);

const char* RecordName(uint16_t tag);

// "i686" or "x64" from the machine field of a program's PE header, given its
// first bytes (4,096 are enough); "unknown (...)" otherwise.
std::string PeArchitecture(const uint8_t* head, size_t size);

// Whether the setup program reads the record's body through its flags (stored
// or compressed); fixed and special records are read the same way whatever
// the flags say.
bool RecordFlagsApply(uint16_t tag);
