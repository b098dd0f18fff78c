#include "install/paths.h"

#include <string.h>

#include "common/safe_format.h"
#include "package/format.h"

namespace {

constexpr uint32_t kPathSize = static_cast<uint32_t>(format::kPathBufferSize);

char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool SameTextIgnoringCase(const char* a, size_t length, const char* b) {
  for (size_t i = 0; i < length; ++i) {
    if (!b[i] || FoldCase(a[i]) != FoldCase(b[i])) return false;
  }
  return b[length] == 0;
}

const char* LastBackslash(const char* path) { return strrchr(path, '\\'); }

// Appends and tells whether all of the text fit.
bool Append(char* path, const char* text) {
  bool fits = strlen(path) + strlen(text) < kPathSize;
  AppendBounded(path, kPathSize, text);
  return fits;
}

}  // namespace

void AppendBackslash(char* path) {
  size_t length = strlen(path);
  if (length && path[length - 1] != '\\') AppendBounded(path, kPathSize, "\\");
}

void StripBackslash(char* path) {
  size_t length = strlen(path);
  if (length > 3 && path[length - 1] == '\\') path[length - 1] = 0;
}

bool ReplaceExtension(char* path, const char* extension) {
  char* dot = strrchr(const_cast<char*>(LastComponent(path)), '.');
  if (dot) *dot = 0;
  return Append(path, extension);
}

const char* LastComponent(const char* path) {
  const char* slash = LastBackslash(path);
  return slash ? slash + 1 : path;
}

bool CutFileComponent(char* path) {
  char* slash = const_cast<char*>(LastBackslash(path));
  if (!slash || !strchr(slash + 1, '.')) return false;
  *slash = 0;
  return true;
}

bool BesideSourcePath(char* path, const char* sourcePath, const char* name) {
  char folder[format::kPathBufferSize];
  CopyBounded(folder, kPathSize, sourcePath);
  char* slash = const_cast<char*>(LastBackslash(folder));
  if (slash) slash[1] = 0;
  CopyBounded(path, kPathSize, folder);
  return Append(path, name);
}

bool JoinPath(char* path, const char* folder, const char* name) {
  // The folder may be the path buffer itself (a folder resolved into it).
  char joined[format::kPathBufferSize];
  bool fits = strlen(folder) < kPathSize;
  CopyBounded(joined, kPathSize, folder);
  size_t length = strlen(joined);
  if (length && joined[length - 1] != '\\') fits = Append(joined, "\\") && fits;
  fits = Append(joined, name) && fits;
  CopyBounded(path, kPathSize, joined);
  return fits;
}

const char* EntryString(const uint8_t* entry, int n) {
  uint32_t size = format::ReadU32(entry + format::kEntrySize);
  uint32_t at = format::kEntryFixedSize;
  uint8_t options = entry[format::kEntryOptions];
  if (options & (format::kOptionCheckVersion | format::kOptionCheckLanguage))
    at += format::kEntryVersionBlockSize;
  if (options & format::kOptionFileTimes) at += format::kEntryFileTimesSize;
  if (n < 0 || n >= format::kEntryStringCount || size <= at) return "";

  const uint8_t* p = entry + at;
  const uint8_t* end = entry + size;
  for (int skipped = 0;; ++skipped) {
    const uint8_t* start = p;
    while (p < end && *p) ++p;
    if (p == end) return "";
    if (skipped == n) return reinterpret_cast<const char*>(start);
    ++p;
  }
}

FolderMacro ParseFolderMacro(const char* text, size_t* length) {
  *length = 0;
  if (text[0] != '#') return kMacroNone;
  const char* close = strchr(text + 1, '#');
  if (!close) return kMacroNone;
  *length = static_cast<size_t>(close - text) + 1;
  static const struct {
    const char* name;
    FolderMacro macro;
  } kMacros[] = {
      {"#Windows#", kMacroWindows},   {"#System#", kMacroSystem},
      {"#Program Files#", kMacroProgramFiles}, {"#Start Menu#", kMacroStartMenu},
      {"#Startup#", kMacroStartup},
  };
  for (const auto& known : kMacros) {
    if (SameTextIgnoringCase(text, *length, known.name)) return known.macro;
  }
  return kMacroUnknown;
}

bool ReplaceFolderMacro(char* path, size_t length, const char* value) {
  char expanded[format::kPathBufferSize];
  bool fits = strlen(value) < kPathSize;
  CopyBounded(expanded, kPathSize, value);
  size_t valueLength = strlen(expanded);
  if (valueLength && expanded[valueLength - 1] != '\\') fits = Append(expanded, "\\") && fits;
  const char* rest = path + length;
  if (*rest == '\\') ++rest;
  fits = Append(expanded, rest) && fits;
  CopyBounded(path, kPathSize, expanded);
  return fits;
}

namespace {

// Puts the component found on disk in place of the last component of result.
bool ReplaceByStoredName(char* result, StoredNameLookup lookup) {
  char found[format::kPathBufferSize];
  found[0] = 0;
  if (!lookup(result, found)) return false;
  found[kPathSize - 1] = 0;
  char* last = const_cast<char*>(LastComponent(result));
  if (static_cast<size_t>(last - result) + strlen(found) >= kPathSize) return false;
  strcpy(last, found);
  return true;
}

bool AppendComponent(char* result, const char* component, size_t length) {
  size_t used = strlen(result);
  if (used + 1 + length >= kPathSize) return false;
  result[used] = '\\';
  memcpy(result + used + 1, component, length);
  result[used + 1 + length] = 0;
  return true;
}

}  // namespace

void ConvertToLongNameWith(char* path, StoredNameLookup lookup) {
  // A wildcard would make the lookup return some other file's name.
  if (strpbrk(path, "*?")) return;
  char result[format::kPathBufferSize];
  const char* firstSlash = strchr(path, '\\');
  size_t driveLength = firstSlash ? static_cast<size_t>(firstSlash - path) : strlen(path);
  if (driveLength >= kPathSize) return;
  memcpy(result, path, driveLength);
  result[driveLength] = 0;

  const char* p = path + driveLength;
  while (*p == '\\') ++p;
  for (const char* slash; (slash = strchr(p, '\\')) != nullptr; p = slash + 1) {
    if (!AppendComponent(result, p, static_cast<size_t>(slash - p))) return;
    if (!ReplaceByStoredName(result, lookup)) return;
  }
  if (!AppendComponent(result, p, strlen(p))) return;
  StripBackslash(result);
  if (!ReplaceByStoredName(result, lookup)) return;
  CopyBounded(path, kPathSize, result);
}
