#include "install/uninstall_data.h"

#include <string.h>

#include "common/safe_format.h"
#include "package/format.h"

using format::ReadU16;
using format::ReadU32;

namespace uninstall {

void PutHeader(uint8_t* out, uint16_t tag, uint32_t length) {
  format::WriteU16(out, tag);
  format::WriteU16(out + 2, 0);
  format::WriteU32(out + 4, length);
}

}  // namespace uninstall

namespace {

constexpr uint8_t kCompressedFlag = 0x01;
constexpr uint32_t kCountSize = 4;
constexpr uint32_t kKeyFixedSize = 6;  // u32 root, u16 path length
constexpr uint32_t kPathSize = format::kPathBufferSize;

// Steps over one counted text; false when it does not fit before end.
bool SkipCounted(const uint8_t** p, const uint8_t* end, CountedText* text) {
  if (end - *p < 2) return false;
  uint16_t length = ReadU16(*p);
  if (static_cast<size_t>(end - *p - 2) < length) return false;
  text->text = reinterpret_cast<const char*>(*p + 2);
  text->length = length;
  *p += 2 + length;
  return true;
}

bool ReadItem(const uint8_t** p, const uint8_t* end, bool hasFlags, UninstallItem* item) {
  if (!SkipCounted(p, end, &item->folder) || !SkipCounted(p, end, &item->name)) return false;
  item->flags = 0;
  if (hasFlags) {
    if (*p == end) return false;
    item->flags = *(*p)++;
  }
  return true;
}

UninstallDataResult CheckItems(const UninstallRecord& record) {
  if (record.length < kCountSize) return kDataBodyTooShort;
  UninstallItems items;
  StartUninstallItems(record, &items);
  UninstallItem item;
  while (items.left) {
    if (!ReadItem(&items.next, items.end, items.hasFlags, &item)) return kDataItemPastEnd;
    --items.left;
  }
  return items.next == items.end ? kDataOk : kDataCountMismatch;
}

UninstallDataResult CheckKey(const UninstallRecord& record) {
  if (record.length < kKeyFixedSize) return kDataBodyTooShort;
  return ReadU16(record.body + 4) + kKeyFixedSize == record.length ? kDataOk : kDataKeyLengthMismatch;
}

}  // namespace

void StartUninstallData(UninstallReader* reader, const uint8_t* data, size_t size) {
  reader->start = data;
  reader->next = data;
  reader->end = data + size;
  reader->finished = false;
}

UninstallDataResult NextUninstallRecord(UninstallReader* reader, UninstallRecord* record) {
  record->tag = 0;
  record->offset = static_cast<uint32_t>(reader->next - reader->start);
  record->body = nullptr;
  record->length = 0;
  if (reader->finished) return kDataEnd;
  size_t left = static_cast<size_t>(reader->end - reader->next);
  if (left < uninstall::kHeaderSize) {
    reader->finished = true;
    return left == 0 ? kDataMissingEnd : kDataHeaderCut;
  }
  record->tag = ReadU16(reader->next);
  uint16_t flags = ReadU16(reader->next + 2);
  record->length = ReadU32(reader->next + 4);
  if (record->length > left - uninstall::kHeaderSize) {
    reader->finished = true;
    return kDataLengthPastEnd;
  }
  record->body = reader->next + uninstall::kHeaderSize;
  reader->next = record->body + record->length;

  if (record->tag == uninstall::kTagEnd) {
    reader->finished = true;
    return record->length == 0 ? kDataEnd : kDataEndHasBody;
  }
  if (flags & kCompressedFlag) return kDataCompressed;
  switch (record->tag) {
    case uninstall::kTagFiles:
    case uninstall::kTagShortcuts:
      return CheckItems(*record);
    case uninstall::kTagKey:
      return CheckKey(*record);
    default:
      return kDataOk;
  }
}

void StartUninstallItems(const UninstallRecord& record, UninstallItems* items) {
  items->hasFlags = record.tag == uninstall::kTagFiles;
  items->end = record.body + record.length;
  items->left = record.length >= kCountSize ? ReadU32(record.body) : 0;
  items->next = record.length >= kCountSize ? record.body + kCountSize : items->end;
}

bool NextUninstallItem(UninstallItems* items, UninstallItem* item) {
  if (!items->left) return false;
  --items->left;
  if (ReadItem(&items->next, items->end, items->hasFlags, item)) return true;
  items->left = 0;
  return false;
}

void ReadUninstallKey(const UninstallRecord& record, uint32_t* root, CountedText* path) {
  *root = ReadU32(record.body);
  path->text = reinterpret_cast<const char*>(record.body + kKeyFixedSize);
  path->length = ReadU16(record.body + 4);
}

// One text per result, in the order of the results, each ended by its NUL:
// no table of pointers (which the uninstaller's size would feel).
const char kDataProblems[] =
    "\0"
    "\0"
    "the uninstall data ends before its end record\0"
    "the uninstall data ends inside a record header\0"
    "a record runs past the end of the uninstall data\0"
    "a record claims compressed contents\0"
    "a record is too short for its contents\0"
    "an entry runs past the end of its record\0"
    "a record holds more than its count of entries\0"
    "the uninstall key record's length does not match its key\0"
    "the end record has contents";

const char* UninstallDataProblem(UninstallDataResult result) {
  const char* text = kDataProblems;
  for (int i = 0; i < result && i < kDataEndHasBody; ++i) text += strlen(text) + 1;
  return text;
}

// ---- the folder rule -------------------------------------------------------

namespace {

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SamePrefixIgnoringCase(const char* text, const char* prefix, size_t length) {
  for (size_t i = 0; i < length; ++i)
    if (!text[i] || FoldCase(text[i]) != FoldCase(prefix[i])) return false;
  return true;
}

size_t LengthWithoutBackslash(const char* folder) {
  size_t length = strlen(folder);
  return length && folder[length - 1] == '\\' ? length - 1 : length;
}

// A character that no file or folder name on Windows may hold.
bool IsForbidden(unsigned char c) { return c < 0x20 || strchr("/:*?\"<>|", c) != nullptr; }

// One path component. Windows drops trailing dots and spaces when it opens a
// path, so "..  " would become ".."; such components are refused whole.
RecordedPathResult CheckComponent(const char* text, size_t length, RecordedPathResult bad) {
  if (length == 0) return bad;
  for (size_t i = 0; i < length; ++i)
    if (text[i] == '\\' || IsForbidden(static_cast<unsigned char>(text[i]))) return bad;
  char last = text[length - 1];
  if (last == '.' || last == ' ') {
    bool dotsOnly = true;
    for (size_t i = 0; i < length; ++i) dotsOnly = dotsOnly && text[i] == '.';
    return dotsOnly && length <= 2 ? kPathClimbsOut : bad;
  }
  return kPathRelative;
}

// The components of text[0..length) separated by single backslashes.
RecordedPathResult CheckComponents(const char* text, size_t length) {
  size_t start = 0;
  for (size_t i = 0; i <= length; ++i) {
    if (i < length && text[i] != '\\') continue;
    RecordedPathResult result = CheckComponent(text + start, i - start, kPathBadFolder);
    if (result != kPathRelative) return result;
    start = i + 1;
  }
  return kPathRelative;
}

bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

}  // namespace

void RecordedFolderOf(char* folder, const char* destinationPath, const char* destinationFolder) {
  size_t base = LengthWithoutBackslash(destinationFolder);
  if (base && SamePrefixIgnoringCase(destinationPath, destinationFolder, base) &&
      destinationPath[base] == '\\') {
    const char* rest = destinationPath + base + 1;
    const char* last = strrchr(rest, '\\');
    CopyBounded(folder, kPathSize, last ? ".\\" : ".");
    if (last) {
      size_t sub = static_cast<size_t>(last - rest);
      size_t used = strlen(folder);
      if (used + sub >= kPathSize) sub = kPathSize - 1 - used;
      memcpy(folder + used, rest, sub);
      folder[used + sub] = 0;
    }
    return;
  }
  CopyBounded(folder, kPathSize, destinationPath);
  char* last = strrchr(folder, '\\');
  if (last) *last = 0;
}

RecordedPathResult RecordedPath(char* path, CountedText folder, CountedText name, const char* destinationFolder) {
  path[0] = 0;
  RecordedPathResult nameResult = CheckComponent(name.text, name.length, kPathBadName);
  if (nameResult != kPathRelative) return kPathBadName;

  const char* f = folder.text;
  size_t n = folder.length;
  RecordedPathResult kind;
  const char* base;
  size_t baseLength;
  const char* rest;
  size_t restLength;
  if (n >= 1 && f[0] == '.' && (n == 1 || f[1] == '\\')) {
    kind = kPathRelative;
    base = destinationFolder;
    baseLength = LengthWithoutBackslash(destinationFolder);
    if (baseLength == 0) return kPathBadFolder;
    rest = n == 1 ? f + 1 : f + 2;
    restLength = n == 1 ? 0 : n - 2;
    if (n == 2) return kPathBadFolder;  // ".\" names no folder
  } else if (n >= 2 && IsLetter(f[0]) && f[1] == ':' && (n == 2 || (f[2] == '\\' && n > 3))) {
    kind = kPathAbsolute;
    base = f;
    baseLength = 2;
    rest = n == 2 ? f + 2 : f + 3;
    restLength = n == 2 ? 0 : n - 3;
  } else if (n > 2 && f[0] == '\\' && f[1] == '\\') {
    // A network folder: server and share are components like the others.
    kind = kPathAbsolute;
    base = f;
    baseLength = 1;
    rest = f + 2;
    restLength = n - 2;
  } else {
    return kPathBadFolder;
  }
  if (restLength) {
    RecordedPathResult result = CheckComponents(rest, restLength);
    if (result != kPathRelative) return result;
  }

  // base, '\', rest, '\', name
  size_t total = baseLength + (restLength ? 1 + restLength : 0) + 1 + name.length;
  if (total >= kPathSize) return kPathTooLong;
  char* out = path;
  memcpy(out, base, baseLength);
  out += baseLength;
  if (restLength) {
    *out++ = '\\';
    memcpy(out, rest, restLength);
    out += restLength;
  }
  *out++ = '\\';
  memcpy(out, name.text, name.length);
  out[name.length] = 0;
  return kind;
}

bool IsInsideFolder(const char* path, const char* folder) {
  size_t length = LengthWithoutBackslash(folder);
  if (length == 0 || !SamePrefixIgnoringCase(path, folder, length)) return false;
  return path[length] == 0 || path[length] == '\\';
}
