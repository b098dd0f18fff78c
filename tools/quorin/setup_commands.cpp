#include "setup_commands.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "data_walk.h"
#include "default_texts.h"
#include "grouped_number.h"
#include "package/checksum.h"
#include "package/format.h"
#include "pe_version.h"
#include "setup_diff.h"
#include "setup_model.h"
#include "setup_reader.h"
#include "setup_table.h"
#include "setup_text.h"
#include "template_record.h"
#include "uninstaller_listing.h"

namespace fs = std::filesystem;

namespace {

uint32_t g_codepage = 0;  // 0: each setup's own

uint32_t CodePageFor(const SetupView& view) { return g_codepage ? g_codepage : view.codePage; }

void PrintRecordDetail(const SetupView& view, const RecordView& r, uint32_t cp, std::ostream& out) {
  if (!r.usable) return;
  const Bytes& b = r.body;
  switch (r.tag) {
    case format::kTagFlags: out << "  " << Hex(format::ReadU32(b.data()), 8) << ": " << FlagsText(format::ReadU32(b.data())); break;
    case format::kTagDefaultFolder: {
      std::string folder = TextOf(b);
      out << "  " << Quoted(folder, cp);
      size_t kept = format::kPathBufferSize - 1;
      if (folder.size() > kept)
        out << " (" << Grouped(folder.size()) << " characters; the setup program keeps only the first " << kept << ": "
            << Quoted(folder.substr(0, kept), cp) << ")";
      break;
    }
    case format::kTagUninstallName:
    case format::kTagBackgroundTitle:
    case format::kTagLocationKey:
    case format::kTagLocationValue:
    case format::kTagLocationIniFile:
    case format::kTagLocationIniSection:
    case format::kTagLocationIniKey: out << "  " << Quoted(TextOf(b), cp); break;
    case format::kTagLocationRoot: out << "  " << RootName(format::ReadU32(b.data())); break;
    case format::kTagStartPage: {
      uint16_t page = format::ReadU16(b.data());
      out << "  " << (page == format::kNoStartPage ? std::string("none") : "page " + std::to_string(page) + " only");
      break;
    }
    case format::kTagPacing: {
      uint32_t ms = format::ReadU32(b.data());
      out << "  " << (ms ? "up to " + std::to_string(ms) + " ms of installing per timer tick" : std::string("one file per timer tick"));
      break;
    }
    case format::kTagCodePage: out << "  code page " << format::ReadU32(b.data()); break;
    case format::kTagUninstallValues:
      if (view.hasUninstallValues) {
        const UninstallValuesView& u = view.uninstallValues;
        out << "  values: " << UninstallValueFlagsText(u.flags) << "; estimated size " << Grouped(u.sizeKb)
            << " KB; DisplayVersion " << Quoted(u.texts[0], cp) << ", Publisher " << Quoted(u.texts[1], cp)
            << ", DisplayIcon " << Quoted(u.texts[2], cp);
      }
      break;
    case format::kTagStringGroups: out << "  " << view.groupCount << " groups"; break;
    case format::kTagTemplates: {
      size_t count = b.size() >= 4 ? format::ReadU32(b.data()) / 4 : 0;
      out << "  " << count << " templates";
      break;
    }
    case format::kTagFileList: out << "  " << view.fileCount << " entries"; break;
    case format::kTagTitleStyle:
      if (b.size() >= format::kTitleStyleSize) {
        const uint8_t* font = b.data() + 8;
        char face[33] = {};
        memcpy(face, font + 28, 32);
        out << "  shadow " << ColourText(format::ReadU32(b.data())) << ", text " << ColourText(format::ReadU32(b.data() + 4))
            << ", font " << Quoted(face, cp) << " height " << static_cast<int32_t>(format::ReadU32(font))
            << " weight " << format::ReadU32(font + 16) << (font[20] ? " italic" : "");
      } else {
        out << "  " << b.size() << " bytes, shorter than the " << format::kTitleStyleSize << " the style needs";
      }
      break;
    case format::kTagSideBitmap:
    case format::kTagBackgroundBitmap:
      if (b.size() >= 54)
        out << "  " << static_cast<int32_t>(format::ReadU32(b.data() + 18)) << " x "
            << static_cast<int32_t>(format::ReadU32(b.data() + 22)) << ", " << format::ReadU16(b.data() + 28)
            << " bits per pixel";
      break;
    case format::kTagDataArea:
      out << "  volume 0 holds " << Grouped(view.dataLength) << " bytes";
      break;
    default: break;
  }
}

// What the flags byte means for the record, as the setup program reads it.
std::string FlagsNote(const RecordView& r) {
  bool compressed = (r.flags & format::kRecordCompressed) != 0;
  if (r.flagsApply) {
    if (!compressed) return "";
    std::string s = ", compressed";
    if (r.usable && r.expandedSize) s += " from " + Grouped(r.expandedSize);
    return s;
  }
  if (!r.flags) return "";
  std::string s = ", flags " + Hex(r.flags, 2) + " ignored: read the same way whatever its flags";
  if (r.tag == format::kTagStringGroups) s += " (each group is a stream of its own)";
  return s;
}

void PrintFindings(const std::string& path, const std::vector<std::string>& problems,
                   const std::vector<std::string>& warnings, std::ostream& err) {
  if (!warnings.empty()) {
    err << "quorin: " << path << ": " << Count(warnings.size(), "warning", "warnings") << ":\n";
    for (const std::string& w : warnings) err << "  warning: " << w << "\n";
  }
  if (!problems.empty()) {
    err << "quorin: " << path << ": " << Count(problems.size(), "problem", "problems") << ":\n";
    for (const std::string& p : problems) err << "  damaged: " << p << "\n";
  }
}

enum class Opened { kSetup, kUninstaller, kNeither };

// Reads a setup file. A file that is an uninstaller instead is read into
// *uninstaller where the command lists one; otherwise the message says what
// the file is.
Opened Open(const std::string& path, SetupView* view, std::ostream& err, UninstallerView* uninstaller = nullptr) {
  std::string error, notUninstaller;
  if (!ReadSetup(path, view, &error)) {
    UninstallerView found;
    uint32_t cp = g_codepage ? g_codepage : format::kDefaultCodePage;
    bool isUninstaller = ReadUninstaller(path, cp, uninstaller ? uninstaller : &found, &notUninstaller);
    if (isUninstaller && uninstaller) return Opened::kUninstaller;
    err << "quorin: " << error;
    if (isUninstaller) err << "; it is an uninstaller, whose uninstall records 'quorin list' shows";
    err << "\n";
    return Opened::kNeither;
  }
  uint32_t cp = CodePageFor(*view);
  if (!CodePageKnown(cp))
    view->warnings.push_back("the texts are in code page " + std::to_string(cp) +
                             ", which this system cannot convert; bytes above 0x7F are shown as \\xNN");
  return Opened::kSetup;
}

void PrintText(const SetupView& view, const ListSections& show, std::ostream& out) {
  uint32_t cp = CodePageFor(view);
  out << view.path << ": " << Grouped(view.fileSize) << " bytes; " << view.stubArch << " stub of "
      << Grouped(view.stubSize) << " bytes (configuration block at offset " << Grouped(view.configOffset) << ")\n";
  out << "Code page " << cp
      << (g_codepage ? " (as asked)" : view.hasCodePage ? " (from the code page record)" : " (the package names none)")
      << "\n";
  if (show.records) {
    out << "\nRecords:\n";
    for (const RecordView& r : view.records) {
      char line[128];
      snprintf(line, sizeof line, "  %10s  0x%04X %-24s %10s bytes", Grouped(r.offset).c_str(), r.tag, RecordName(r.tag),
               Grouped(r.bodyLength).c_str());
      out << line << FlagsNote(r);
      PrintRecordDetail(view, r, cp, out);
      out << "\n";
    }
  }
  if (show.templates && !view.templates.empty()) {
    out << "\nDialog templates:\n";
    for (const TemplateView& t : view.templates) {
      out << "  " << t.number << " " << TemplateRole(t.number) << ": offset " << Grouped(t.offset);
      if (t.size) out << ", " << Grouped(t.size) << " bytes, " << t.controls << " controls, caption " << Quoted(t.caption, cp);
      out << "\n";
    }
  }
  if (show.texts) {
    out << "\nTexts:\n";
    for (int g = 0; g < format::kStringGroupCount; ++g) {
      if (!view.groupPresent[g]) continue;
      for (size_t e = 0; e < view.groups[g].size(); ++e) {
        out << "  " << g << "." << e << " = " << Quoted(view.groups[g][e], cp);
        if (const DefaultText* known = FindDefaultText(g, static_cast<int>(e))) out << "  # " << known->purpose;
        out << "\n";
      }
    }
  }
  if (show.files) {
    out << "\nFiles (" << view.entries.size() << "):\n";
    for (size_t i = 0; i < view.entries.size(); ++i) {
      const EntryView& e = view.entries[i];
      out << "  " << i << ": " << Quoted(e.strings[0], cp) << "\n";
      out << "      kind " << KindName(e.destinationKind) << ", " << EntryKindName(e.entryKind) << ", finish "
          << FinishName(e.finishAction) << ", special " << SpecialName(e.special) << ", shared "
          << (e.shared == 1 ? "yes" : "no") << ", icon index " << e.iconIndex << "\n";
      out << "      size " << Grouped(e.fileSize) << ", packed " << Grouped(e.packedSize) << ", checksum "
          << Hex(e.checksum, 8);
      if (e.status) out << ", status " << e.status;
      std::string options = OptionsText(e.options);
      if (!options.empty()) out << ", options:" << options;
      out << "\n";
      if (e.hasVersion)
        out << "      version " << FormatVersion(e.versionMs, e.versionLs) << ", language " << Hex(e.language & 0xFFFF, 4)
            << "\n";
      if (e.hasTimes)
        out << "      created " << FileTimeText(e.times[0]) << ", accessed " << FileTimeText(e.times[1]) << ", written "
            << FileTimeText(e.times[2]) << "\n";
      if (!e.strings[1].empty() || !e.strings[2].empty())
        out << "      menu folders " << Quoted(e.strings[1], cp) << ", shortcut " << Quoted(e.strings[2], cp)
            << ", arguments " << Quoted(e.strings[3], cp) << "\n";
      if (!e.strings[4].empty())
        out << "      desktop shortcut " << Quoted(e.strings[4], cp) << ", arguments " << Quoted(e.strings[5], cp) << "\n";
    }
  }
  if (view.hasDataArea) {
    uint64_t packed = 0, installed = 0;
    for (const EntryView& e : view.entries)
      if (e.entryKind != format::kEntryExternal) packed += e.packedSize, installed += e.fileSize;
    out << "\nData area: offset " << Grouped(view.dataAreaStart) << ", volume 0 holds " << Grouped(view.dataLength)
        << " bytes; the files' streams take " << Grouped(packed) << " bytes for " << Grouped(installed) << " bytes of files";
    if (packed > view.dataLength) out << " (continued in volume files .D01 and on)";
    out << "\n";
  }
  out << "\nThe setup program " << (view.usable ? "would load this package" : "would not load this package") << ".\n";
}

// Size and checksum of what was written to fd, read back from its start.
bool ReadBack(int fd, uint64_t* size, uint32_t* checksum) {
  static uint8_t buffer[16384];  // a multiple of 4, so chunked sums equal one pass
  if (lseek(fd, 0, SEEK_SET) != 0) return false;
  *size = 0;
  *checksum = 0;
  for (;;) {
    ssize_t got = read(fd, buffer, sizeof buffer);
    if (got < 0) return false;
    if (got == 0) return true;
    *checksum = UpdateChecksum(*checksum, buffer, static_cast<size_t>(got));
    *size += static_cast<uint64_t>(got);
  }
}

// True when the expanded output has the entry's size and checksum.
bool CheckOutput(const std::string& label, const EntryView& e, int fd, std::vector<std::string>* problems) {
  uint64_t size;
  uint32_t checksum;
  if (!ReadBack(fd, &size, &checksum)) {
    problems->push_back(label + ": cannot read back the expanded file: " + strerror(errno));
  } else if (size != e.fileSize) {
    problems->push_back(label + ": expands to " + Grouped(size) + " bytes, but the entry says " + Grouped(e.fileSize));
  } else if (checksum != e.checksum) {
    problems->push_back(label + ": checksum " + Hex(checksum, 8) + " of the expanded file differs from the stored " +
                        Hex(e.checksum, 8));
  } else {
    return true;
  }
  if (e.options & format::kOptionUninstaller)
    problems->back() += " (the setup program installs its uninstaller without this check)";
  return false;
}

// Host path below the extraction folder for an entry, or empty with a reason
// when its name would leave that folder. The name is converted whole, so a
// double-byte character whose second byte is 0x5C stays one character.
std::string ExtractPath(const EntryView& e, uint32_t cp, std::string* why) {
  // Converted with file-name escapes: "\xNN" would read as a folder.
  std::string name = FromAnsi(e.strings[0], cp, Undefined::kPercentHex);
  std::string relative;
  switch (e.destinationKind) {
    case format::kDestWindows: relative = "#Windows#"; break;
    case format::kDestSharedSystem: {
      // The setup program keeps only the last component for shared system files.
      size_t slash = name.rfind('\\');
      if (slash != std::string::npos) name = name.substr(slash + 1);
      relative = "#System#";
      break;
    }
    case format::kDestFonts: relative = "#Fonts#"; break;
    default: break;
  }
  std::string part;
  auto take = [&]() {
    if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos) return false;
    relative += (relative.empty() ? "" : "/") + part;
    part.clear();
    return true;
  };
  for (char c : name) {
    if (c == '\\' || c == '/') {
      if (!take()) return *why = "its name " + Quoted(e.strings[0], cp) + " would leave the destination folder", "";
    } else {
      part += c;
    }
  }
  if (!take()) return *why = "its name " + Quoted(e.strings[0], cp) + " is not a usable file name", "";
  return relative;
}

// The setup program gives an installed file the entry's times; so does
// extraction, as far as the host keeps them (access and modification).
void SetFileTimes(int fd, const EntryView& e) {
  constexpr uint64_t kEpochDifference = 116444736000000000ull;
  struct timespec times[2];
  for (int i = 0; i < 2; ++i) {
    uint64_t filetime = e.times[i + 1];
    if (filetime < kEpochDifference) return;
    uint64_t since1970 = filetime - kEpochDifference;
    times[i].tv_sec = static_cast<time_t>(since1970 / 10000000ull);
    times[i].tv_nsec = static_cast<long>(since1970 % 10000000ull) * 100;
  }
  futimens(fd, times);
}

}  // namespace

bool SetTextCodePage(uint32_t codepage) {
  if (codepage && !CodePageKnown(codepage)) return false;
  g_codepage = codepage;
  return true;
}

int ListSetup(const std::string& path, std::ostream& out, std::ostream& err) {
  return ListSetup(path, ListSections{}, ListFormat::kText, out, err);
}

int ListSetup(const std::string& path, const ListSections& show, std::ostream& out, std::ostream& err) {
  return ListSetup(path, show, ListFormat::kText, out, err);
}

namespace {

// An installed uninstaller: its program and the records behind it.
int ListUninstaller(const UninstallerView& view, ListFormat format, std::ostream& out, std::ostream& err) {
  if (format == ListFormat::kTable) {
    err << "quorin: " << view.path << " is an uninstaller; --table lists the files of a setup file, so list it "
        << "without --table\n";
    return 2;
  }
  if (format == ListFormat::kJson) {
    out << UninstallerModel(view).dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
  } else {
    PrintUninstaller(view, out);
    PrintFindings(view.path, view.problems, view.warnings, err);
  }
  return view.problems.empty() ? 0 : 1;
}

}  // namespace

int ListSetup(const std::string& path, const ListSections& show, ListFormat format, std::ostream& out,
              std::ostream& err) {
  SetupView view;
  UninstallerView uninstaller;
  switch (Open(path, &view, err, &uninstaller)) {
    case Opened::kSetup: break;
    case Opened::kUninstaller: return ListUninstaller(uninstaller, format, out, err);
    case Opened::kNeither: return 2;
  }
  switch (format) {
    case ListFormat::kText: PrintText(view, show, out); break;
    case ListFormat::kTable: PrintSetupTable(view, CodePageFor(view), out); break;
    case ListFormat::kJson:
      out << SetupModel(view, CodePageFor(view)).dump(2, ' ', false, Json::error_handler_t::replace) << "\n";
      break;
  }
  // The JSON document carries the findings itself; the other forms print them.
  if (format != ListFormat::kJson) PrintFindings(path, view.problems, view.warnings, err);
  return view.problems.empty() && view.usable ? 0 : 1;
}

int ExtractSetup(const std::string& path, const std::string& directory, std::ostream& out, std::ostream& err) {
  return ExtractSetup(path, directory, ExtractOptions{}, out, err);
}

int ExtractSetup(const std::string& path, const std::string& directory, const ExtractOptions& options,
                 std::ostream& out, std::ostream& err) {
  SetupView view;
  if (Open(path, &view, err) != Opened::kSetup) return 2;
  uint32_t cp = CodePageFor(view);
  std::vector<std::string> problems = view.problems, warnings = view.warnings;
  std::error_code ec;
  fs::create_directories(directory, ec);
  if (!fs::is_directory(directory, ec)) {
    err << "quorin: " << directory << ": cannot create the folder" << (ec ? ": " + ec.message() : "") << "\n";
    return 1;
  }

  // Every target first, so that nothing is written when one would be overwritten.
  std::vector<std::string> targets(view.entries.size());
  std::vector<std::string> existing;
  for (size_t i = 0; i < view.entries.size(); ++i) {
    const EntryView& e = view.entries[i];
    if (e.entryKind == format::kEntryExternal) continue;
    std::string why;
    std::string relative = ExtractPath(e, cp, &why);
    if (relative.empty()) {
      problems.push_back(EntryLabel(i, e, cp) + ": not extracted: " + why);
      continue;
    }
    targets[i] = (fs::path(directory) / relative).string();
    if (fs::exists(fs::symlink_status(targets[i], ec))) existing.push_back(targets[i]);
  }
  if (!existing.empty() && !options.force) {
    err << "quorin: " << Count(existing.size(), "file exists", "files exist") << " already, such as " << existing[0]
        << "; nothing was extracted (--force writes over them)\n";
    return 2;
  }

  size_t extracted = 0, external = 0;
  uint64_t bytes = 0;
  std::vector<std::string> temporary(view.entries.size());
  auto open = [&](size_t i, const EntryView& e) -> int {
    if (targets[i].empty()) return -1;  // decoded into nothing, so the next entry is found
    fs::path target(targets[i]);
    fs::create_directories(target.parent_path(), ec);
    // Beside the target, so that moving it into place is a rename.
    std::string pattern = (target.parent_path() / ("." + target.filename().string() + ".quorin-XXXXXX")).string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkostemp(name.data(), O_CLOEXEC);
    if (fd < 0) {
      problems.push_back(EntryLabel(i, e, cp) + ": cannot create a file in " + target.parent_path().string() + ": " +
                         strerror(errno));
      return -1;
    }
    temporary[i] = name.data();
    return fd;
  };
  auto done = [&](size_t i, const EntryView& e, int fd, const StreamOutcome& outcome) {
    if (outcome.external) {
      out << "  external  " << Quoted(e.strings[0], cp) << ": lies beside the setup file, not extracted\n";
      ++external;
      return;
    }
    if (fd < 0) return;
    std::string label = EntryLabel(i, e, cp);
    bool whole = outcome.decoded && CheckOutput(label, e, fd, &problems);
    if (whole && e.hasTimes) SetFileTimes(fd, e);
    fchmod(fd, 0644);
    close(fd);
    if (whole && rename(temporary[i].c_str(), targets[i].c_str()) != 0) {
      problems.push_back(label + ": cannot move it into place as " + targets[i] + ": " + strerror(errno));
      whole = false;
    }
    if (!whole) {
      unlink(temporary[i].c_str());
      return;
    }
    out << "  " << targets[i] << "  " << Grouped(e.fileSize) << " bytes\n";
    ++extracted;
    bytes += e.fileSize;
  };
  WalkDataArea(view, open, done, &problems, &warnings);
  out << Count(extracted, "file", "files") << " extracted (" << Grouped(bytes) << " bytes) to " << directory;
  if (external) out << "; " << Count(external, "external entry", "external entries") << " noted";
  out << "\n";
  PrintFindings(path, problems, warnings, err);
  return problems.empty() ? 0 : 1;
}

int VerifySetup(const std::string& path, std::ostream& out, std::ostream& err) {
  SetupView view;
  if (Open(path, &view, err) != Opened::kSetup) return 2;
  std::vector<std::string> problems = view.problems, warnings = view.warnings;
  size_t checked = 0;
  uint64_t bytes = 0;
  // One scratch file, emptied for each stream; unlinked, so nothing is left behind.
  FILE* scratch = tmpfile();
  if (!scratch) {
    err << "quorin: cannot create a temporary file: " << strerror(errno) << "\n";
    return 1;
  }
  int fd = fileno(scratch);
  auto open = [&](size_t, const EntryView&) -> int {
    if (ftruncate(fd, 0) != 0 || lseek(fd, 0, SEEK_SET) != 0) return -1;
    return fd;
  };
  auto done = [&](size_t i, const EntryView& e, int output, const StreamOutcome& outcome) {
    if (output < 0 || !outcome.decoded) return;
    CheckOutput(EntryLabel(i, e, CodePageFor(view)), e, output, &problems);
    ++checked;
    bytes += e.fileSize;
  };
  WalkDataArea(view, open, done, &problems, &warnings);
  fclose(scratch);
  if (!view.usable && view.problems.empty()) problems.push_back("the setup program would not load this package");
  PrintFindings(path, problems, warnings, err);
  if (!problems.empty()) return 1;
  out << path << ": OK, " << Count(view.records.size(), "record", "records") << ", "
      << Count(checked, "stream", "streams") << " (" << Grouped(bytes) << " bytes) decode to their sizes and checksums\n";
  return 0;
}

int DiffSetupFiles(const std::string& a, const std::string& b, std::ostream& out, std::ostream& err) {
  return DiffSetups(a, b, g_codepage, out, err);
}
