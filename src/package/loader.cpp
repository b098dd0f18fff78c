#include "package/loader.h"

#include <string.h>

#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "package/expand.h"
#include "package/format.h"
#include "package/marker.h"
#include "package/messages.h"
#include "package/strings.h"
#include "package/volumes.h"
#include "startup/config_block.h"

using namespace format;

constexpr unsigned kIconInformation = 0x40;  // MB_ICONINFORMATION

// A body takes no more than the file holds behind it, and a stream of k bytes
// expands to at most 1,032 * k bytes (a length of 258 at distance 1 in two
// bits, four to the byte). A claim beyond that is damage, refused before any
// memory is taken for it.
static bool ClaimFits(FileHandle file, uint32_t claimed, bool compressed) {
  uint32_t end = FileSize(file), at = FilePosition(file);
  return at <= end && (compressed ? claimed / 1032 : claimed) <= end - at;
}

int ReadRecordBody(FileHandle file, const RecordHeader& header, uint8_t** out, uint32_t* size) {
  *out = nullptr;
  uint32_t n = header.bodyLength;
  bool compressed = (header.flags & kRecordCompressed) != 0;
  if (compressed) {
    uint8_t field[4];
    if (ReadExact(file, field, 4) != kFileOk) return kLoadReadFailed;
    n = ReadU32(field);
  }
  if (!ClaimFits(file, n, compressed)) return kLoadReadFailed;
  // A stream may expand to less than its stated size (a writer that counted
  // a trailing NUL it left out): the rest stays zero, and the zero byte behind
  // the body keeps a text terminated.
  uint8_t* buffer;
  if (n == 0xFFFFFFFFu || !AllocZeroed(n + 1, &buffer)) return kLoadNoMemory;
  bool ok = compressed ? ExpandIntoMemory(buffer, n, file, 0) : ReadExact(file, buffer, n) == kFileOk;
  if (!ok) {
    FreeBlock(buffer);
    return kLoadReadFailed;
  }
  *out = buffer;
  *size = n;
  return kLoadOk;
}

// Replaces a kept body with a newly read one: a tag seen twice keeps the later record.
static int ReadInto(FileHandle file, const RecordHeader& header, uint8_t** member, uint32_t* size) {
  uint8_t* body;
  uint32_t n;
  int result = ReadRecordBody(file, header, &body, &n);
  if (result != kLoadOk) return result;
  FreeBlock(*member);
  *member = body;
  if (size) *size = n;
  return kLoadOk;
}

static int ReadText(FileHandle file, const RecordHeader& header, char** member) {
  return ReadInto(file, header, reinterpret_cast<uint8_t**>(member), nullptr);
}

static int ReadFileList(FileHandle file, const RecordHeader& header) {
  PackageData& pkg = g_setup.package;
  int result = ReadInto(file, header, &pkg.fileList, &pkg.fileListSize);
  if (result != kLoadOk) return result;
  pkg.fileCount = pkg.fileListSize >= 4 ? ReadU32(pkg.fileList) : 0;
  pkg.firstEntry = pkg.fileList + 4;
  if (!FileListIsSound(pkg.fileList, pkg.fileListSize, pkg.fileCount)) {
    pkg.fileCount = 0;
    return kLoadReadFailed;
  }
  return kLoadOk;
}

static int ReadStringGroups(FileHandle file) {
  PackageData& pkg = g_setup.package;
  uint8_t field[4];
  if (ReadExact(file, field, 2) != kFileOk) return kLoadReadFailed;
  uint32_t count = ReadU16(field);
  if (count > kStringGroupCount) count = kStringGroupCount;
  for (uint32_t g = 0; g < count; ++g) {
    if (ReadExact(file, field, 4) != kFileOk) return kLoadReadFailed;
    uint32_t size = ReadU32(field);
    FreeBlock(pkg.stringGroups[g]);
    pkg.stringGroupSizes[g] = 0;
    if (!ClaimFits(file, size, true)) return kLoadReadFailed;
    // One zero byte beyond the expanded size keeps the last string terminated.
    uint8_t* group;
    if (size == 0xFFFFFFFFu || !AllocZeroed(size + 1, &group)) return kLoadNoGroupMemory;
    if (!ExpandIntoMemory(group, size, file, 0)) {
      FreeBlock(group);
      return kLoadReadFailed;
    }
    pkg.stringGroups[g] = group;
    pkg.stringGroupSizes[g] = size;
  }
  return kLoadOk;
}

// With stub size 0 the stub takes the configuration block of its /S source:
// the first up to three 65,500-byte reads are searched, each on its own.
static bool AdoptSourceConfigBlock(FileHandle file) {
  uint8_t* block;
  if (!AllocBlock(kConfigScanBlock, &block)) return false;
  bool found = false;
  for (int i = 0; i < kConfigScanReads && !found; ++i) {
    uint32_t got = ReadSome(file, block, kConfigScanBlock);
    if (got == 0) break;
    const uint8_t* hit = FindMarker(block, got, kConfigTag);
    if (hit && static_cast<uint32_t>(hit - block) + kConfigBlockSize <= got) {
      for (size_t k = 0; k < kConfigBlockSize; ++k) g_stubConfig[k] = hit[k];
      found = true;
    }
  }
  FreeBlock(block);
  return found;
}

static bool LocatePackage() {
  if (StubSize() != 0) {
    CopyBounded(g_setup.packagePath, kPathBufferSize, g_setup.sourcePath);
    return true;
  }
  if (!g_setup.sourceSwitch) return false;
  CopyBounded(g_setup.packagePath, kPathBufferSize, g_setup.sourcePath);
  FileHandle file = OpenExisting(g_setup.packagePath, kOpenRead);
  if (file == INVALID_FILE) return false;
  bool found = AdoptSourceConfigBlock(file);
  CloseFile(file);
  return found;
}

// Handles one record whose body starts at the file position. Sets *usable for
// the start page record and for a data area that the file holds whole.
static int ReadRecord(FileHandle file, const RecordHeader& header, bool* usable) {
  PackageData& pkg = g_setup.package;
  uint8_t raw[4];
  switch (header.tag) {
    case kTagFlags:
      if (ReadExact(file, raw, 4) != kFileOk) return kLoadReadFailed;
      pkg.flags = ReadU32(raw);
      return kLoadOk;
    case kTagLocationRoot:
      if (ReadExact(file, raw, 4) != kFileOk) return kLoadReadFailed;
      pkg.locationRoot = ReadU32(raw);
      return kLoadOk;
    case kTagPacing:
      if (ReadExact(file, raw, 4) != kFileOk) return kLoadReadFailed;
      pkg.pacingMs = ReadU32(raw);
      return kLoadOk;
    case kTagStartPage:
      if (ReadExact(file, raw, 2) != kFileOk) return kLoadReadFailed;
      // Pages are numbered 0 to 6; any other start page means the whole wizard.
      pkg.startPage = ReadU16(raw) <= 6 ? ReadU16(raw) : kNoStartPage;
      *usable = true;
      return kLoadOk;
    case kTagDefaultFolder: {
      char* text = nullptr;
      int result = ReadText(file, header, &text);
      if (result != kLoadOk) return result;
      CopyBounded(g_setup.destinationFolder, kPathBufferSize, text);
      FreeBlock(text);
      return kLoadOk;
    }
    case kTagSideBitmap: return ReadInto(file, header, &pkg.sideBitmap, &pkg.sideBitmapSize);
    case kTagBackgroundBitmap:
      return ReadInto(file, header, &pkg.backgroundBitmap, &pkg.backgroundBitmapSize);
    case kTagUninstallName: return ReadText(file, header, &pkg.uninstallName);
    case kTagBackgroundTitle: return ReadText(file, header, &pkg.backgroundTitle);
    case kTagStringGroups: return ReadStringGroups(file);
    case kTagLocationKey: return ReadText(file, header, &pkg.locationKey);
    case kTagLocationValue: return ReadText(file, header, &pkg.locationValue);
    case kTagLocationIniFile: return ReadText(file, header, &pkg.locationIniFile);
    case kTagLocationIniSection: return ReadText(file, header, &pkg.locationIniSection);
    case kTagLocationIniKey: return ReadText(file, header, &pkg.locationIniKey);
    case kTagTemplates: return ReadInto(file, header, &pkg.templates, &pkg.templatesSize);
    case kTagFileList: return ReadFileList(file, header);
    case kTagTitleStyle: return ReadInto(file, header, &pkg.titleStyle, &pkg.titleStyleSize);
    case kTagUninstallValues:
      return ReadInto(file, header, &pkg.uninstallValues, &pkg.uninstallValuesSize);
    case kTagDataArea: {
      uint32_t start = FilePosition(file);
      if (start == kSeekFailed) return kLoadReadFailed;
      int result = RecordDataArea(file);
      if (result != kLoadOk) return result;
      uint64_t end = static_cast<uint64_t>(start) + 4 + pkg.dataLength;
      uint32_t size = FileSize(file);
      // Data that no file list describes means the list was lost to damage:
      // the run would install nothing and call that success.
      bool described = pkg.fileList || !pkg.dataLength;
      if (size != kSeekFailed && end <= size && described) *usable = true;
      return kLoadOk;
    }
    default:
      return kLoadOk;  // unknown tags, 0x123B, 0x1245 and the code page are skipped
  }
}

// Every seek is checked: a record length that no seek can follow (past 4 GiB,
// or one that fails) must not leave the reader inside the record's body,
// reading its bytes as records.
static bool ReadRecords(FileHandle file, bool* usable) {
  if (SeekFromStart(file, StubSize()) != StubSize()) return false;
  for (;;) {
    uint8_t raw[kRecordHeaderSize];
    if (ReadExact(file, raw, kRecordHeaderSize) != kFileOk) return false;
    RecordHeader header = {ReadU16(raw), raw[2], ReadU32(raw + 4)};
    if (header.bodyLength == 0) {
      if (header.tag == kTagDataArea) return true;
      continue;
    }
    uint32_t bodyStart = FilePosition(file);
    if (bodyStart == kSeekFailed) return false;
    uint64_t next = static_cast<uint64_t>(bodyStart) + header.bodyLength;
    if (ReadRecord(file, header, usable) != kLoadOk) return false;
    if (header.tag == kTagDataArea) return true;
    if (next >= kSeekFailed || SeekFromStart(file, static_cast<uint32_t>(next)) != next) return false;
  }
}

bool LoadPackage() {
  g_setup.package.startPage = kNoStartPage;
  if (!LocatePackage()) return false;
  FileHandle file = OpenExisting(g_setup.packagePath, kOpenRead);
  if (file == INVALID_FILE) return false;
  bool usable = false;
  bool read = ReadRecords(file, &usable);
  CloseFile(file);
  if (!read) return false;
  if (usable) return true;
  const char* text = GetGroupString(6, 31);
  if (*text) ShowMessage(text, kIconInformation);
  return false;
}

void ReleasePackage() {
  PackageData& pkg = g_setup.package;
  FreeBlock(pkg.sideBitmap);
  FreeBlock(pkg.backgroundBitmap);
  FreeBlock(pkg.uninstallName);
  FreeBlock(pkg.backgroundTitle);
  FreeBlock(pkg.titleStyle);
  for (int g = 0; g < kStringGroupCount; ++g) FreeBlock(pkg.stringGroups[g]);
  FreeBlock(pkg.locationKey);
  FreeBlock(pkg.locationValue);
  FreeBlock(pkg.locationIniFile);
  FreeBlock(pkg.locationIniSection);
  FreeBlock(pkg.locationIniKey);
  FreeBlock(pkg.templates);
  FreeBlock(pkg.fileList);
  FreeBlock(pkg.uninstallValues);
  memset(&pkg, 0, sizeof pkg);
  pkg.startPage = kNoStartPage;
}
