#include "setup_reader.h"

#include <stdio.h>
#include <string.h>

#include "bitmap_check.h"
#include "common/file_io.h"
#include "dialog_template.h"
#include "template_record.h"
#include "common/setup_state.h"
#include "package/expand.h"
#include "package/format.h"
#include "package/marker.h"
#include "setup_text.h"
#include "volumes_host.h"

using format::ReadU16;
using format::ReadU32;

namespace {

// Larger expanded sizes are taken as damage rather than allocated.
constexpr uint32_t kMaxExpandedBody = 256u << 20;
// A stream yields at most 258 bytes for every two bits (the longest match,
// coded with one bit each for length and distance): an expanded size beyond
// that cannot be reached, and is refused before anything is allocated.
constexpr uint64_t kMostBytesPerStreamByte = 258 * 4;

std::string RecordLabel(uint16_t tag, uint32_t offset) {
  return std::string("record ") + Hex(tag, 4) + " (" + RecordName(tag) + ") at offset " + std::to_string(offset);
}

struct File {
  FileHandle handle = INVALID_FILE;
  ~File() {
    if (handle != INVALID_FILE) CloseFile(handle);
  }
};

// The stub's /S road: up to three reads of 65,500 bytes, each searched alone;
// a block must lie whole inside one read.
bool FindConfigBlock(FileHandle file, uint32_t* offset, uint8_t block[format::kConfigBlockSize]) {
  Bytes buffer(format::kConfigScanBlock);
  SeekFromStart(file, 0);
  for (int read = 0; read < format::kConfigScanReads; ++read) {
    uint32_t got = ReadSome(file, buffer.data(), static_cast<uint32_t>(buffer.size()));
    const uint8_t* at = buffer.data();
    size_t left = got;
    while (const uint8_t* hit = FindMarker(at, left, format::kConfigTag)) {
      size_t position = static_cast<size_t>(hit - buffer.data());
      if (position + format::kConfigBlockSize <= got) {
        memcpy(block, hit, format::kConfigBlockSize);
        *offset = static_cast<uint32_t>(read * format::kConfigScanBlock + position);
        return true;
      }
      break;
    }
    if (got < buffer.size()) break;
  }
  return false;
}

// The machine field of the stub's PE header: which stub the setup carries.
std::string StubArchitecture(FileHandle file, uint32_t stubSize) {
  uint8_t head[4096] = {};
  SeekFromStart(file, 0);
  uint32_t got = ReadSome(file, head, stubSize < sizeof head ? stubSize : sizeof head);
  return PeArchitecture(head, got);
}

void ParseUninstallValues(const Bytes& body, const std::string& label, SetupView* view) {
  if (body.size() < format::kUninstallValuesFixedSize)
    return view->problems.push_back(label + ": " + std::to_string(body.size()) + " bytes, shorter than its " +
                                    std::to_string(format::kUninstallValuesFixedSize) + "-byte fixed part");
  UninstallValuesView v;
  v.flags = ReadU32(body.data());
  v.sizeKb = ReadU32(body.data() + 4);
  size_t at = format::kUninstallValuesFixedSize;
  for (std::string& text : v.texts) {
    const void* nul = at < body.size() ? memchr(body.data() + at, 0, body.size() - at) : nullptr;
    if (!nul) return view->problems.push_back(label + ": its three texts are not all terminated inside the record");
    size_t end = static_cast<size_t>(static_cast<const uint8_t*>(nul) - body.data());
    text.assign(reinterpret_cast<const char*>(body.data() + at), end - at);
    at = end + 1;
  }
  view->uninstallValues = v;
  view->hasUninstallValues = true;
}

// A compressed body: u32 expanded size and a stream that must end inside the body.
bool ReadCompressed(FileHandle file, uint32_t bodyEnd, const std::string& label, Bytes* out,
                    uint32_t* expandedSize, std::vector<std::string>* problems) {
  uint8_t field[4];
  if (FilePosition(file) + 4 > bodyEnd || ReadExact(file, field, 4) != kFileOk)
    return problems->push_back(label + ": the body is too short for its expanded size"), false;
  *expandedSize = ReadU32(field);
  uint64_t available = bodyEnd - FilePosition(file);
  if (*expandedSize > kMaxExpandedBody || *expandedSize > kMostBytesPerStreamByte * available)
    return problems->push_back(label + ": claims an expanded size of " + std::to_string(*expandedSize) +
                               " bytes, more than the " + std::to_string(available) +
                               " bytes of its stream can hold"), false;
  out->assign(*expandedSize, 0);
  uint8_t scratch = 0;
  if (!ExpandIntoMemory(out->empty() ? &scratch : out->data(), *expandedSize, file, 0))
    return problems->push_back(label + ": the compressed stream does not decode to " + std::to_string(*expandedSize) +
                               " bytes"), false;
  if (FilePosition(file) > bodyEnd)
    return problems->push_back(label + ": the compressed stream runs " + std::to_string(FilePosition(file) - bodyEnd) +
                               " bytes past the end of the record"), false;
  return true;
}

void ParseGroup(const Bytes& data, int group, std::vector<std::string>* texts, std::vector<std::string>* problems) {
  std::string label = "string group " + std::to_string(group);
  if (data.size() < 2) return problems->push_back(label + ": too short for its entry count");
  uint16_t count = ReadU16(data.data());
  size_t at = 2;
  for (uint16_t i = 0; i < count; ++i) {
    const void* nul = at < data.size() ? memchr(data.data() + at, 0, data.size() - at) : nullptr;
    if (!nul) {
      problems->push_back(label + ": entry " + std::to_string(i) + " of " + std::to_string(count) +
                          " is missing or not terminated within the group's " + std::to_string(data.size()) + " bytes");
      return;
    }
    size_t end = static_cast<size_t>(static_cast<const uint8_t*>(nul) - data.data());
    texts->emplace_back(reinterpret_cast<const char*>(data.data() + at), end - at);
    at = end + 1;
  }
}

void ReadStringGroups(FileHandle file, uint32_t bodyEnd, const std::string& label, SetupView* view) {
  uint8_t field[4];
  if (FilePosition(file) + 2 > bodyEnd || ReadExact(file, field, 2) != kFileOk)
    return view->problems.push_back(label + ": too short for the group count");
  view->groupCount = ReadU16(field);
  int groups = view->groupCount < format::kStringGroupCount ? view->groupCount : format::kStringGroupCount;
  for (int g = 0; g < groups; ++g) {
    std::string groupLabel = label + ", string group " + std::to_string(g);
    Bytes data;
    uint32_t size;
    if (!ReadCompressed(file, bodyEnd, groupLabel, &data, &size, &view->problems)) return;
    view->groupPresent[g] = true;
    view->groups[g].clear();
    ParseGroup(data, g, &view->groups[g], &view->problems);
  }
}

void ParseFileList(const Bytes& body, const std::string& label, SetupView* view) {
  view->hasFileList = true;
  view->entries.clear();
  if (body.size() < 4) return view->problems.push_back(label + ": too short for the file count");
  view->fileCount = ReadU32(body.data());
  size_t at = 4;
  for (uint32_t i = 0; i < view->fileCount; ++i) {
    std::string entryLabel = "file entry " + std::to_string(i) + " (offset " + std::to_string(at) + " in the file list)";
    size_t left = body.size() - at;
    if (left < format::kEntryFixedSize) {
      view->problems.push_back(entryLabel + ": the file list ends " + std::to_string(left) +
                               " bytes into the entry; the list says " + std::to_string(view->fileCount) + " entries");
      return;
    }
    const uint8_t* e = body.data() + at;
    EntryView v{};
    v.offset = static_cast<uint32_t>(at);
    v.size = ReadU32(e + format::kEntrySize);
    v.status = ReadU16(e + format::kEntryStatus);
    v.iconIndex = ReadU16(e + format::kEntryIconIndex);
    v.destinationKind = e[format::kEntryDestKind];
    v.finishAction = e[format::kEntryFinishAction];
    v.shared = e[format::kEntryShared];
    v.entryKind = e[format::kEntryKind];
    v.special = e[format::kEntrySpecial];
    v.options = e[format::kEntryOptions];
    v.checksum = ReadU32(e + format::kEntryChecksum);
    v.fileSize = ReadU32(e + format::kEntryFileSize);
    v.packedSize = ReadU32(e + format::kEntryPackedSize);
    v.hasVersion = (v.options & (format::kOptionCheckVersion | format::kOptionCheckLanguage)) != 0;
    v.hasTimes = (v.options & format::kOptionFileTimes) != 0;
    size_t fixed = format::kEntryFixedSize + (v.hasVersion ? format::kEntryVersionBlockSize : 0) +
                   (v.hasTimes ? format::kEntryFileTimesSize : 0);
    if (v.size < fixed + format::kEntryStringCount || v.size > left) {
      view->problems.push_back(entryLabel + ": entry size " + std::to_string(v.size) + " is " +
                               (v.size > left ? "beyond the " + std::to_string(left) + " bytes left in the file list"
                                              : "smaller than its " + std::to_string(fixed) +
                                                    "-byte fixed part and six strings"));
      return;
    }
    const uint8_t* p = e + format::kEntryFixedSize;
    if (v.hasVersion) {
      v.versionMs = ReadU32(p + format::kVersionMs);
      v.versionLs = ReadU32(p + format::kVersionLs);
      v.language = ReadU32(p + format::kVersionLanguage);
      p += format::kEntryVersionBlockSize;
    }
    if (v.hasTimes) {
      for (int t = 0; t < 3; ++t) v.times[t] = ReadU32(p + 8 * t) | (static_cast<uint64_t>(ReadU32(p + 8 * t + 4)) << 32);
      p += format::kEntryFileTimesSize;
    }
    const uint8_t* end = e + v.size;
    for (int s = 0; s < format::kEntryStringCount; ++s) {
      const void* nul = memchr(p, 0, static_cast<size_t>(end - p));
      if (!nul) {
        view->problems.push_back(entryLabel + ": string " + std::to_string(s) + " is not terminated inside the entry");
        break;
      }
      v.strings[s].assign(reinterpret_cast<const char*>(p), static_cast<const uint8_t*>(nul) - p);
      p = static_cast<const uint8_t*>(nul) + 1;
    }
    if (v.strings[0].empty()) view->problems.push_back(entryLabel + ": the file name is empty");
    if (v.entryKind != format::kEntryExternal && v.packedSize == 0)
      view->problems.push_back(entryLabel + " '" + v.strings[0] + "': packed size 0, but every installed file has a stream");
    view->entries.push_back(v);
    at += v.size;
  }
  if (at != body.size())
    view->problems.push_back(label + ": " + std::to_string(body.size() - at) + " bytes follow the last of its " +
                             std::to_string(view->fileCount) + " entries");
}

// The stub copies each template from its offset to the record's end, at most
// 16,384 bytes, and creates the dialog from that copy.
void ParseTemplates(const Bytes& body, const std::string& label, SetupView* view) {
  view->templates.clear();
  if (body.size() < 4 * static_cast<size_t>(format::kTemplateCount)) {
    view->problems.push_back(label + ": " + std::to_string(body.size()) + " bytes cannot hold the offsets of " +
                             std::to_string(format::kTemplateCount) + " templates");
    return;
  }
  for (int n = 0; n < format::kTemplateCount; ++n) {
    TemplateView t{n, format::ReadU32(body.data() + 4 * n), 0, "", 0};
    std::string what = label + ", template " + std::to_string(n) + " (" + TemplateRole(n) + ")";
    if (t.offset >= body.size()) {
      view->problems.push_back(what + ": offset " + std::to_string(t.offset) + " lies outside the record (" +
                               std::to_string(body.size()) + " bytes); the stub skips that page");
      view->templates.push_back(t);
      continue;
    }
    size_t available = body.size() - t.offset;
    if (available > format::kTemplateBlockSize) available = format::kTemplateBlockSize;
    DialogTemplate dialog;
    std::string why;
    if (ParseDialogTemplate(body.data() + t.offset, available, &dialog, &why)) {
      t.size = static_cast<uint32_t>(dialog.size);
      t.caption = dialog.caption;
      t.controls = dialog.controls.size();
    } else {
      view->problems.push_back(what + " at offset " + std::to_string(t.offset) + ": " + why);
    }
    view->templates.push_back(t);
  }
}

void CheckBitmapRecord(const Bytes& body, const std::string& label, SetupView* view) {
  BitmapInfo info;
  std::string why;
  if (!CheckBitmap(body.data(), body.size(), &info, &why)) view->problems.push_back(label + ": " + why);
}

}  // namespace

const char* RecordName(uint16_t tag) {
  switch (tag) {
    case format::kTagFlags: return "flags";
    case format::kTagDefaultFolder: return "default folder";
    case format::kTagSideBitmap: return "side bitmap";
    case format::kTagBackgroundBitmap: return "background bitmap";
    case format::kTagUninstallName: return "uninstall name";
    case format::kTagBackgroundTitle: return "background title";
    case format::kTagStringGroups: return "string groups";
    case format::kTagLocationRoot: return "location registry root";
    case format::kTagLocationKey: return "location registry key";
    case format::kTagLocationValue: return "location registry value";
    case format::kTagLocationIniFile: return "location INI file";
    case format::kTagLocationIniSection: return "location INI section";
    case format::kTagLocationIniKey: return "location INI key";
    case format::kTagTemplates: return "dialog templates";
    case format::kTagFileList: return "file list";
    case format::kTagStartPage: return "start page";
    case format::kTagTitleStyle: return "background title style";
    case format::kTagPacing: return "install pacing";
    case format::kTagUninstallValues: return "uninstall-entry values";
    case format::kTagCodePage: return "code page";
    case format::kTagDataArea: return "data area";
    default: return "not read by the stub";
  }
}

bool RecordFlagsApply(uint16_t tag) {
  switch (tag) {
    case format::kTagFlags:
    case format::kTagLocationRoot:
    case format::kTagStartPage:
    case format::kTagPacing:
    case format::kTagCodePage:
    case format::kTagStringGroups:
    case format::kTagDataArea: return false;
    default: return true;
  }
}

std::string PeArchitecture(const uint8_t* head, size_t size) {
  if (size < 0x40 || head[0] != 'M' || head[1] != 'Z') return "unknown (no MZ header)";
  uint32_t pe = ReadU32(head + 0x3C);
  if (pe > size - 6 || memcmp(head + pe, "PE\0\0", 4) != 0) return "unknown (no PE header in the first 4,096 bytes)";
  uint16_t machine = ReadU16(head + pe + 4);
  if (machine == 0x014C) return "i686";
  if (machine == 0x8664) return "x64";
  return "unknown (machine " + Hex(machine, 4) + ")";
}

bool ReadSetup(const std::string& path, SetupView* view, std::string* error) {
  *view = SetupView{};
  view->path = path;
  File file;
  file.handle = OpenExisting(path.c_str(), kOpenRead);
  if (file.handle == INVALID_FILE) return *error = path + ": cannot open: " + strerror(errno), false;
  FileHandle f = file.handle;
  view->fileSize = FileSize(f);
  uint8_t block[format::kConfigBlockSize];
  if (!FindConfigBlock(f, &view->configOffset, block))
    return *error = path + ": no stub configuration block ('ww' \"gT)H\") in the first 196,500 bytes: not a setup file", false;
  view->stubSize = ReadU32(block + format::kConfigStubSizeOffset);
  if (view->stubSize == 0)
    return *error = path + ": the configuration block at offset " + std::to_string(view->configOffset) +
                    " holds stub size 0: a bare stub with no package of its own", false;
  if (view->stubSize >= view->fileSize)
    return *error = path + ": the stub size " + std::to_string(view->stubSize) + " reaches the end of the file (" +
                    std::to_string(view->fileSize) + " bytes): no package is appended", false;
  view->stubArch = StubArchitecture(f, view->stubSize);

  uint32_t at = view->stubSize;
  bool sawStartPage = false;
  for (;;) {
    SeekFromStart(f, at);
    uint8_t header[format::kRecordHeaderSize];
    if (at + format::kRecordHeaderSize > view->fileSize || ReadExact(f, header, sizeof header) != kFileOk) {
      view->problems.push_back("offset " + std::to_string(at) + ": the records run into the end of the file " +
                               "without a data area record (the stub would fail to load)");
      break;
    }
    RecordView r{};
    r.tag = ReadU16(header);
    r.flags = header[2];
    r.offset = at;
    r.bodyLength = ReadU32(header + 4);
    r.flagsApply = RecordFlagsApply(r.tag);
    std::string label = RecordLabel(r.tag, at);
    uint32_t bodyStart = at + format::kRecordHeaderSize;
    if (r.bodyLength == 0) {
      view->records.push_back(r);
      if (r.tag == format::kTagDataArea) {
        view->problems.push_back(label + ": body length 0, so the package has no data area");
        break;
      }
      at = bodyStart;
      continue;
    }
    if (static_cast<uint64_t>(bodyStart) + r.bodyLength > view->fileSize && r.tag != format::kTagDataArea) {
      view->problems.push_back(label + ": body length " + std::to_string(r.bodyLength) + " runs past the end of the file (" +
                               std::to_string(view->fileSize) + " bytes)");
      view->records.push_back(r);
      break;
    }
    uint32_t bodyEnd = bodyStart + r.bodyLength;
    bool compressed = (r.flags & format::kRecordCompressed) != 0;
    auto fixed = [&](uint32_t size) {
      if (r.bodyLength < size) {
        view->problems.push_back(label + ": body of " + std::to_string(r.bodyLength) + " bytes, but its value takes " +
                                 std::to_string(size) + " (the stub reads into what follows)");
        return;
      }
      r.body.resize(size);
      r.usable = ReadExact(f, r.body.data(), size) == kFileOk;
    };
    switch (r.tag) {
      case format::kTagFlags:
        fixed(4);
        if (r.usable) view->flags = ReadU32(r.body.data()), view->hasFlags = true;
        break;
      case format::kTagLocationRoot: fixed(4); break;
      case format::kTagPacing:
        fixed(4);
        if (r.usable) view->pacingMs = ReadU32(r.body.data()), view->hasPacing = true;
        break;
      case format::kTagCodePage:
        fixed(4);
        if (r.usable) view->codePage = ReadU32(r.body.data()), view->hasCodePage = true;
        break;
      case format::kTagStartPage:
        fixed(2);
        if (r.usable) view->startPage = ReadU16(r.body.data()), sawStartPage = true;
        break;
      case format::kTagStringGroups:
        ReadStringGroups(f, bodyEnd, label, view);
        r.usable = true;
        break;
      case format::kTagDataArea: {
        uint8_t field[4];
        if (ReadExact(f, field, 4) != kFileOk) {
          view->problems.push_back(label + ": the file ends before the data length");
          break;
        }
        view->hasDataArea = true;
        view->dataAreaStart = bodyStart;
        view->dataLength = ReadU32(field);
        r.usable = true;
        break;
      }
      case format::kTagUnused123B:
      case format::kTagUnused1245: break;
      default:
        if ((r.tag < format::kTagFlags || r.tag > format::kTagTitleStyle) && r.tag != format::kTagUninstallValues) break;
        if (compressed) {
          r.usable = ReadCompressed(f, bodyEnd, label, &r.body, &r.expandedSize, &view->problems);
        } else {
          r.body.resize(r.bodyLength);
          r.usable = ReadExact(f, r.body.data(), r.bodyLength) == kFileOk;
        }
        if (r.usable && r.tag == format::kTagFileList) ParseFileList(r.body, label, view);
        if (r.usable && r.tag == format::kTagUninstallValues) ParseUninstallValues(r.body, label, view);
        if (r.usable && r.tag == format::kTagDefaultFolder)
          view->defaultFolder = TextOf(r.body), view->hasDefaultFolder = true;
        if (r.usable && r.tag == format::kTagTemplates) ParseTemplates(r.body, label, view);
        if (r.usable && (r.tag == format::kTagSideBitmap || r.tag == format::kTagBackgroundBitmap))
          CheckBitmapRecord(r.body, label, view);
        break;
    }
    view->records.push_back(r);
    if (r.tag == format::kTagDataArea) break;
    at = bodyEnd;
  }

  if (view->hasDataArea) {
    uint64_t end = static_cast<uint64_t>(view->dataAreaStart) + 4 + view->dataLength;
    if (end > view->fileSize)
      view->problems.push_back("the data area says volume 0 holds " + std::to_string(view->dataLength) +
                               " bytes, but the file ends " + std::to_string(end - view->fileSize) +
                               " bytes short of that (the stub reports an incomplete package" +
                               (sawStartPage ? ", unless it has a start page)" : ")"));
    if (end < view->fileSize) {
      view->volume0Extra = static_cast<uint32_t>(view->fileSize - end);
      std::string note = TrailingBytesNote(path, 0, view->volume0Extra, view->dataLength);
      (VolumeFileExists(path, 1) ? view->problems : view->warnings).push_back(note);
    }
    bool described = view->hasFileList || !view->dataLength;
    if (!described)
      view->problems.push_back("the data area holds " + std::to_string(view->dataLength) +
                               " bytes, but no file list describes them (the stub reports an incomplete package" +
                               (sawStartPage ? ", unless it has a start page)" : ")"));
    view->usable = (end <= view->fileSize && described) || sawStartPage;
  } else {
    view->usable = sawStartPage && !view->records.empty() && view->records.back().tag == format::kTagDataArea;
  }
  return true;
}
