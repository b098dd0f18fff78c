#include "install/font_name.h"

#include <string.h>

#include "common/file_io.h"
#include "common/safe_format.h"
#include "package/format.h"

namespace {

constexpr uint32_t kOffsetTableSize = 12;
constexpr uint32_t kTableRecordSize = 16;
constexpr uint32_t kMaxTablesRead = 40;
constexpr uint32_t kNamingHeaderSize = 6;
constexpr uint32_t kNameRecordSize = 12;
constexpr uint16_t kPlatformMacintosh = 1;
constexpr uint16_t kNameIdFullName = 4;

uint16_t BigU16(const uint8_t* p) { return static_cast<uint16_t>((p[0] << 8) | p[1]); }
uint32_t BigU32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

// Reads only what lies wholly inside the file; the sums are taken in 64 bits
// so that a lying offset cannot wrap around into the file.
bool ReadInside(const FontBytes& font, uint64_t offset, void* out, uint32_t n) {
  if (offset + n > font.size) return false;
  return font.read(font.context, static_cast<uint32_t>(offset), out, n);
}

bool FindNamingTable(const FontBytes& font, uint32_t* tableOffset) {
  uint8_t header[kOffsetTableSize];
  if (!ReadInside(font, 0, header, sizeof header)) return false;
  uint32_t tables = BigU16(header + 4);
  if (tables > kMaxTablesRead) tables = kMaxTablesRead;
  for (uint32_t i = 0; i < tables; ++i) {
    uint8_t record[kTableRecordSize];
    if (!ReadInside(font, kOffsetTableSize + uint64_t{i} * kTableRecordSize, record, sizeof record)) return false;
    if (memcmp(record, "name", 4) == 0) {
      *tableOffset = BigU32(record + 8);
      return true;
    }
  }
  return false;
}

}  // namespace

bool ReadFontFullName(const FontBytes& font, char* name) {
  name[0] = 0;
  uint32_t table;
  uint8_t header[kNamingHeaderSize];
  if (!FindNamingTable(font, &table) || !ReadInside(font, table, header, sizeof header)) return false;
  uint32_t count = BigU16(header + 2);
  uint64_t storage = uint64_t{table} + BigU16(header + 4);
  for (uint32_t i = 0; i < count; ++i) {
    uint8_t record[kNameRecordSize];
    if (!ReadInside(font, uint64_t{table} + kNamingHeaderSize + uint64_t{i} * kNameRecordSize, record,
                    sizeof record))
      break;
    if (BigU16(record) != kPlatformMacintosh || BigU16(record + 6) != kNameIdFullName) continue;
    uint32_t length = BigU16(record + 8);
    uint64_t at = storage + BigU16(record + 10);
    // A record whose text lies outside the file is skipped whole: the name
    // from an earlier record stays.
    if (at + length > font.size) continue;
    char text[format::kPathBufferSize];
    if (length > sizeof text - 1) length = sizeof text - 1;
    if (!ReadInside(font, at, text, length)) continue;
    text[length] = 0;
    memcpy(name, text, length + 1);
  }
  return name[0] != 0;
}

namespace {

bool ReadFromFile(void* context, uint32_t offset, void* out, uint32_t n) {
  FileHandle file = static_cast<FileHandle>(context);
  return SeekFromStart(file, offset) == offset && ReadExact(file, out, n) == kFileOk;
}

}  // namespace

bool ReadFontFullNameFromFile(const char* path, char* name) {
  name[0] = 0;
  FileHandle file = OpenExisting(path, kOpenRead);
  if (file == INVALID_FILE) return false;
  FontBytes font = {ReadFromFile, file, FileSize(file)};
  bool found = font.size != 0xFFFFFFFF && ReadFontFullName(font, name);
  CloseFile(file);
  return found;
}

void MakeFontValueName(char* valueName, const char* fullName) {
  const uint32_t capacity = format::kPathBufferSize;
  CopyBounded(valueName, capacity - (sizeof(kTrueTypeSuffix) - 1), fullName);
  AppendBounded(valueName, capacity, kTrueTypeSuffix);
}
