#include "uninstaller_listing.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "grouped_number.h"
#include "install/uninstall_data.h"
#include "package/format.h"
#include "package/marker.h"
#include "setup_text.h"

namespace {

// 'w' 'w' "UnIn": the uninstaller's configuration block (uninstall/uninstaller_config.cpp).
constexpr uint32_t kUninstallerTag = 0x6E496E55;
constexpr size_t kScanBytes = format::kConfigScanBlock * format::kConfigScanReads;
// More uninstall data than any setup writes; refused rather than read.
constexpr uint64_t kMaxDataBytes = 256ull << 20;
// Relative records are resolved below a stand-in destination folder: what is
// refused does not depend on the folder, apart from the length of the path.
constexpr char kSomeDestination[] = "C:\\D";

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

bool ReadAt(int fd, uint64_t offset, size_t size, Bytes* out) {
  out->resize(size);
  size_t done = 0;
  while (done < size) {
    ssize_t got = pread(fd, out->data() + done, size - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<size_t>(got);
  }
  return true;
}

const char* UninstallRecordName(uint16_t tag) {
  switch (tag) {
    case uninstall::kTagFiles: return "files";
    case uninstall::kTagShortcuts: return "shortcuts";
    case uninstall::kTagKey: return "uninstall entry";
    case uninstall::kTagEnd: return "end";
    default: return "unknown";
  }
}

std::string Label(uint32_t offset, uint16_t tag) {
  return "record " + Hex(tag, 4) + " (" + UninstallRecordName(tag) + ") at offset " + Grouped(offset);
}

std::string TextOf(CountedText t) { return std::string(t.text, t.length); }

// Why the uninstaller leaves a file or shortcut record alone, or empty.
std::string RefusalOf(const UninstallItem& item, bool shortcut) {
  char path[format::kPathBufferSize];
  switch (RecordedPath(path, item.folder, item.name, kSomeDestination)) {
    case kPathBadName: return "not a plain file name";
    case kPathBadFolder: return "not a folder that a setup records";
    case kPathClimbsOut: return "its folder climbs out with \".\" or \"..\"";
    case kPathTooLong: return "the path is longer than 259 characters";
    case kPathRelative:
      if (shortcut) return "a shortcut lies in the Start menu, not below the destination folder";
      break;
    case kPathAbsolute: break;
  }
  std::string name = TextOf(item.name);
  if (shortcut && (name.size() <= 4 || strcasecmp(name.c_str() + name.size() - 4, ".lnk") != 0))
    return "not a shortcut file";
  return "";
}

// The uninstaller deletes only a key of its own directly below the Uninstall key.
std::string KeyRefusal(uint32_t root, const std::string& key) {
  size_t prefix = sizeof(uninstall::kUninstallKeyPrefix) - 1;
  bool below = key.size() > prefix && IsInsideFolder(key.c_str(), uninstall::kUninstallKeyPrefix) &&
               key.find('\0') == std::string::npos;
  for (size_t i = prefix; below && i < key.size(); ++i)
    if (key[i] == '\\' || static_cast<unsigned char>(key[i]) < 0x20) below = false;
  if ((root != uninstall::kRootLocalMachine && root != uninstall::kRootCurrentUser) || !below)
    return "not a key of the system's list of uninstall entries";
  return "";
}

// A recorded path for a listing: converted from the code page, with control
// characters and undefined bytes written as \xNN.
std::string Shown(const std::string& ansi, uint32_t codepage) {
  std::string text = FromAnsi(ansi, codepage), out;
  for (unsigned char c : text) {
    if (c < 0x20 || c == 0x7F) {
      char hex[8];
      snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out;
}

std::string EntryPath(const UninstallEntryView& e, uint32_t codepage) {
  return Shown(e.folder, codepage) + "\\" + Shown(e.name, codepage);
}

std::string FlagWords(uint8_t flags) {
  std::string words;
  auto add = [&](const char* w) { words += (words.empty() ? "" : ", ") + std::string(w); };
  if (flags & uninstall::kFileShared) add("shared");
  if (flags & uninstall::kFileFont) add("font");
  if (flags & uninstall::kFileSelfRegistering) add("self-registering");
  uint8_t other = flags & ~(uninstall::kFileShared | uninstall::kFileFont | uninstall::kFileSelfRegistering);
  if (other) add(("flags " + Hex(other, 2) + " unknown to the uninstaller").c_str());
  return words;
}

void ReadEntries(const UninstallRecord& record, const std::string& label, UninstallRecordView* r,
                 UninstallerView* view) {
  bool shortcut = record.tag == uninstall::kTagShortcuts;
  UninstallItems items;
  StartUninstallItems(record, &items);
  UninstallItem item;
  while (NextUninstallItem(&items, &item)) {
    UninstallEntryView e;
    e.folder = TextOf(item.folder);
    e.name = TextOf(item.name);
    e.flags = item.flags;
    e.refused = RefusalOf(item, shortcut);
    if (!e.refused.empty())
      view->problems.push_back(label + ", entry " + std::to_string(r->entries.size()) + " (" +
                               EntryPath(e, view->codePage) + "): " + e.refused);
    r->entries.push_back(e);
  }
}

void WalkData(const Bytes& data, UninstallerView* view) {
  UninstallReader reader;
  StartUninstallData(&reader, data.data(), data.size());
  while (!reader.finished) {
    UninstallRecord record;
    UninstallDataResult result = NextUninstallRecord(&reader, &record);
    uint32_t at = view->dataOffset + record.offset;
    if (result == kDataMissingEnd || result == kDataHeaderCut) {
      view->problems.push_back("offset " + Grouped(at) + ": " + UninstallDataProblem(result));
      break;
    }
    UninstallRecordView r;
    r.offset = at;
    r.tag = record.tag;
    r.bodyLength = record.length;
    std::string label = Label(at, record.tag);
    if (result == kDataEnd) {
      view->ended = true;
      view->bytesBehindEnd = static_cast<uint64_t>(reader.end - reader.next);
      view->records.push_back(r);
      break;
    }
    if (result != kDataOk) {
      r.problem = UninstallDataProblem(result);
      view->problems.push_back(label + ": " + r.problem);
    } else if (record.tag == uninstall::kTagFiles || record.tag == uninstall::kTagShortcuts) {
      ReadEntries(record, label, &r, view);
    } else if (record.tag == uninstall::kTagKey) {
      CountedText path;
      ReadUninstallKey(record, &r.root, &path);
      r.key = TextOf(path);
      r.keyRefused = KeyRefusal(r.root, r.key);
      if (!r.keyRefused.empty()) view->problems.push_back(label + ": " + r.keyRefused);
    } else {
      view->warnings.push_back(label + ": a record the uninstaller does not know; it skips it");
    }
    view->records.push_back(r);
  }
  if (view->bytesBehindEnd)
    view->warnings.push_back(Grouped(view->bytesBehindEnd) +
                             " bytes follow the end record; the uninstaller never reads them");
}

size_t RemovedCount(const UninstallerView& view) {
  size_t n = 0;
  for (const UninstallRecordView& r : view.records) {
    if (!r.problem.empty()) continue;
    for (const UninstallEntryView& e : r.entries) n += e.refused.empty();
    if (r.tag == uninstall::kTagKey && r.keyRefused.empty()) ++n;
  }
  return n;
}

size_t LeftCount(const UninstallerView& view) {
  size_t n = 0;
  for (const UninstallRecordView& r : view.records) {
    if (!r.problem.empty()) {
      ++n;
      continue;
    }
    for (const UninstallEntryView& e : r.entries) n += !e.refused.empty();
    if (r.tag == uninstall::kTagKey && !r.keyRefused.empty()) ++n;
  }
  return n;
}

// A predefined key's handle value as the registry names it.
std::string KeyRootName(uint32_t root) {
  if (root >= 0x80000000u && root <= 0x80000003u) return RootName(root - 0x80000000u);
  return "root " + Hex(root, 8);
}

Json Nullable(const std::string& text) { return text.empty() ? Json(nullptr) : Json(text); }

}  // namespace

bool ReadUninstaller(const std::string& path, uint32_t codepage, UninstallerView* view, std::string* error) {
  *view = UninstallerView{};
  view->path = path;
  view->codePage = codepage;
  Descriptor file;
  file.fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (file.fd < 0 || fstat(file.fd, &st) != 0) return *error = path + ": cannot open: " + strerror(errno), false;
  view->fileSize = static_cast<uint64_t>(st.st_size);
  Bytes head;
  size_t scan = view->fileSize < kScanBytes ? static_cast<size_t>(view->fileSize) : kScanBytes;
  if (!ReadAt(file.fd, 0, scan, &head)) return *error = path + ": cannot read: " + strerror(errno), false;
  const uint8_t* block = FindMarker(head.data(), head.size(), kUninstallerTag);
  if (!block || static_cast<size_t>(block - head.data()) + format::kConfigBlockSize > head.size())
    return *error = path + ": no uninstaller configuration block ('ww' \"UnIn\") in the first 196,500 bytes", false;
  view->configOffset = static_cast<uint32_t>(block - head.data());
  view->programSize = format::ReadU32(block + format::kConfigStubSizeOffset);
  view->arch = PeArchitecture(head.data(), head.size() < 4096 ? head.size() : 4096);

  uint64_t blockEnd = view->configOffset + format::kConfigBlockSize;
  if (view->programSize < blockEnd + uninstall::kPlaceholderSize) {
    view->problems.push_back("the configuration block at offset " + Grouped(view->configOffset) + " holds length " +
                             Grouped(view->programSize) + ", which ends before the block itself: the uninstaller " +
                             "cannot find its data");
    return true;
  }
  if (view->programSize > view->fileSize) {
    view->problems.push_back("the file is " + Grouped(view->fileSize) + " bytes, shorter than the uninstaller's own " +
                             Grouped(view->programSize) + ": it was cut");
    return true;
  }
  view->dataOffset = view->programSize - static_cast<uint32_t>(uninstall::kPlaceholderSize);
  view->dataBytes = view->fileSize - view->dataOffset;
  if (view->dataBytes > kMaxDataBytes) {
    view->problems.push_back("the uninstall data is " + Grouped(view->dataBytes) + " bytes, more than the " +
                             Grouped(kMaxDataBytes) + " any setup writes");
    return true;
  }
  Bytes data;
  if (!ReadAt(file.fd, view->dataOffset, static_cast<size_t>(view->dataBytes), &data))
    return *error = path + ": cannot read: " + strerror(errno), false;
  WalkData(data, view);
  return true;
}

void PrintUninstaller(const UninstallerView& view, std::ostream& out) {
  uint32_t codepage = view.codePage;
  out << view.path << ": " << Grouped(view.fileSize) << " bytes; " << view.arch << " uninstaller of "
      << Grouped(view.programSize) << " bytes (configuration block at offset " << Grouped(view.configOffset) << ")\n";
  if (view.dataOffset == 0) return;
  out << "Uninstall data: " << Grouped(view.dataBytes) << " bytes from offset " << Grouped(view.dataOffset)
      << "; names shown in code page " << codepage << "\n\nRecords:\n";
  for (const UninstallRecordView& r : view.records) {
    char line[128];
    snprintf(line, sizeof line, "  %10s  0x%04X %-16s %10s bytes", Grouped(r.offset).c_str(), r.tag,
             UninstallRecordName(r.tag), Grouped(r.bodyLength).c_str());
    out << line;
    if (!r.problem.empty()) out << "  damaged: " << r.problem;
    else if (r.tag == uninstall::kTagFiles || r.tag == uninstall::kTagShortcuts) out << "  " << Count(r.entries.size(), "entry", "entries");
    out << "\n";
    for (const UninstallEntryView& e : r.entries) {
      out << "              " << EntryPath(e, codepage);
      std::string flags = FlagWords(e.flags);
      if (!flags.empty()) out << "  (" << flags << ")";
      if (!e.refused.empty()) out << "  left alone: " << e.refused;
      out << "\n";
    }
    if (r.tag == uninstall::kTagKey && r.problem.empty()) {
      out << "              " << KeyRootName(r.root) << "\\" << Shown(r.key, codepage);
      if (!r.keyRefused.empty()) out << "  left alone: " << r.keyRefused;
      out << "\n";
    }
  }
  bool onlyPlaceholder = view.records.size() == 1 && view.ended && view.records[0].offset == view.dataOffset;
  out << "\n";
  if (onlyPlaceholder) {
    out << "No setup has written uninstall data to this uninstaller: it ends with its placeholder.\n";
  } else {
    size_t left = LeftCount(view);
    out << "The uninstaller would remove " << Count(RemovedCount(view), "recorded item", "recorded items");
    if (left || !view.ended) out << " and leave the damaged ones alone (see the problems)";
    out << ".\n";
  }
}

Json UninstallerModel(const UninstallerView& view) {
  uint32_t codepage = view.codePage;
  Json doc;
  doc["format"] = kSetupModelFormat;
  doc["path"] = view.path;
  doc["file_size"] = view.fileSize;
  doc["uninstaller"] = {{"size", view.programSize},
                        {"configuration_block_offset", view.configOffset},
                        {"architecture", view.arch}};
  doc["code_page"] = codepage;
  doc["data"] = view.dataOffset ? Json{{"offset", view.dataOffset}, {"bytes", view.dataBytes}} : Json(nullptr);
  Json records = Json::array();
  for (const UninstallRecordView& r : view.records) {
    Json record = {{"offset", r.offset},      {"tag", Hex(r.tag, 4)}, {"name", UninstallRecordName(r.tag)},
                   {"body_length", r.bodyLength}, {"problem", Nullable(r.problem)}};
    if (r.tag == uninstall::kTagFiles || r.tag == uninstall::kTagShortcuts) {
      Json entries = Json::array();
      for (const UninstallEntryView& e : r.entries) {
        Json flags = Json::array();
        if (e.flags & uninstall::kFileShared) flags.push_back("shared");
        if (e.flags & uninstall::kFileFont) flags.push_back("font");
        if (e.flags & uninstall::kFileSelfRegistering) flags.push_back("self-registering");
        Json entry = {{"folder", FromAnsi(e.folder, codepage)}, {"name", FromAnsi(e.name, codepage)}};
        if (r.tag == uninstall::kTagFiles) entry["flags"] = flags;
        entry["refused"] = Nullable(e.refused);
        entries.push_back(entry);
      }
      record["entries"] = entries;
    }
    if (r.tag == uninstall::kTagKey && r.problem.empty())
      record["key"] = {{"root", KeyRootName(r.root)}, {"path", FromAnsi(r.key, codepage)}, {"refused", Nullable(r.keyRefused)}};
    records.push_back(record);
  }
  doc["records"] = records;
  doc["ends_with_end_record"] = view.ended;
  doc["problems"] = view.problems;
  doc["warnings"] = view.warnings;
  return doc;
}
