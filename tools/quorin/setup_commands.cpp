#include "setup_commands.h"

#include <errno.h>
#include <fcntl.h>
#include <iconv.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <functional>

#include "common/setup_state.h"
#include "default_texts.h"
#include "grouped_number.h"
#include "template_record.h"
#include "package/checksum.h"
#include "package/expand.h"
#include "package/format.h"
#include "pe_version.h"
#include "setup_reader.h"
#include "volumes_host.h"

namespace fs = std::filesystem;

namespace {

std::string Hex(uint32_t v, int digits) {
  char buffer[16];
  snprintf(buffer, sizeof buffer, "0x%0*X", digits, v);
  return buffer;
}

int g_codepage = 1252;

// Package texts are ANSI; the terminal wants UTF-8. Bytes the code page does
// not define stay visible as \xNN.
std::string FromAnsi(const std::string& text) {
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80;
  if (ascii) return text;
  iconv_t cd = iconv_open("UTF-8", ("CP" + std::to_string(g_codepage)).c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return text;
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c < 0x80) {
      out += static_cast<char>(c);
      continue;
    }
    char in[1] = {static_cast<char>(c)}, converted[8];
    char* from = in;
    char* to = converted;
    size_t inLeft = 1, toLeft = sizeof converted;
    if (iconv(cd, &from, &inLeft, &to, &toLeft) == static_cast<size_t>(-1)) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\x%02X", c);
      out += escaped;
    } else {
      out.append(converted, sizeof converted - toLeft);
    }
  }
  iconv_close(cd);
  return out;
}

// A text as the author would write it in the project file.
std::string Quoted(const std::string& ansi) {
  std::string text = FromAnsi(ansi);
  std::string out = "\"";
  for (unsigned char c : text) {
    if (c == '"' || c == '\\') out += '\\', out += static_cast<char>(c);
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else if (c == '\t') out += "\\t";
    else if (c < 0x20) out += "\\x" + Hex(c, 2).substr(2);
    else out += static_cast<char>(c);
  }
  return out + "\"";
}

std::string Text(const Bytes& body) {
  size_t n = 0;
  while (n < body.size() && body[n]) ++n;
  return std::string(reinterpret_cast<const char*>(body.data()), n);
}

std::string FlagsText(uint32_t flags) {
  std::string s = flags & format::kFlagBackgroundMode ? "background mode" : "framed mode";
  s += flags & format::kFlagEditableFolder ? ", editable folder" : ", fixed folder";
  if (flags & format::kFlagRememberInRegistry) s += ", writes the folder to the registry";
  if (flags & format::kFlagRememberInIni) s += ", writes the folder to the INI file";
  return s;
}

const char* KindName(uint8_t kind) {
  static const char* names[] = {"folder", "windows", "system-shared", "fonts"};
  return kind < 4 ? names[kind] : "folder (unknown value)";
}

const char* FinishName(uint8_t action) {
  static const char* names[] = {"none", "view", "run"};
  return action < 3 ? names[action] : "none (unknown value)";
}

const char* EntryKindName(uint8_t kind) {
  static const char* names[] = {"installed", "installed, listed for removal", "external"};
  return kind < 3 ? names[kind] : "installed (unknown value)";
}

const char* SpecialName(uint8_t special) {
  static const char* names[] = {"none", "screen saver", "self-registering"};
  return special < 3 ? names[special] : "none (unknown value)";
}

std::string ColourText(uint32_t colorref) {
  char buffer[16];
  snprintf(buffer, sizeof buffer, "#%02X%02X%02X", colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
  return buffer;
}

std::string FileTimeText(uint64_t filetime) {
  constexpr uint64_t kEpochDifference = 116444736000000000ull;
  if (filetime < kEpochDifference) return "before 1970 (" + std::to_string(filetime) + ")";
  time_t seconds = static_cast<time_t>((filetime - kEpochDifference) / 10000000ull);
  struct tm t;
  gmtime_r(&seconds, &t);
  char buffer[32];
  strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S UTC", &t);
  return buffer;
}

std::string EntryLabel(size_t i, const EntryView& e) { return "file entry " + std::to_string(i) + " " + Quoted(e.strings[0]); }

void PrintRecordDetail(const SetupView& view, const RecordView& r, std::ostream& out) {
  if (!r.usable) return;
  const Bytes& b = r.body;
  switch (r.tag) {
    case format::kTagFlags: out << "  " << Hex(format::ReadU32(b.data()), 8) << ": " << FlagsText(format::ReadU32(b.data())); break;
    case format::kTagDefaultFolder:
    case format::kTagUninstallName:
    case format::kTagBackgroundTitle:
    case format::kTagLocationKey:
    case format::kTagLocationValue:
    case format::kTagLocationIniFile:
    case format::kTagLocationIniSection:
    case format::kTagLocationIniKey: out << "  " << Quoted(Text(b)); break;
    case format::kTagLocationRoot: {
      static const char* roots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
      uint32_t root = format::ReadU32(b.data());
      out << "  " << (root < 4 ? roots[root] : "HKEY_CURRENT_USER (unknown value)");
      break;
    }
    case format::kTagStartPage: {
      uint16_t page = format::ReadU16(b.data());
      out << "  " << (page == format::kNoStartPage ? std::string("none") : "page " + std::to_string(page) + " only");
      break;
    }
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
            << ", font " << Quoted(face) << " height " << static_cast<int32_t>(format::ReadU32(font))
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
    case format::kTagPacing: out << "  " << format::ReadU32(b.data()) << " ms per timer tick"; break;
    case format::kTagCodePage: out << "  " << format::ReadU32(b.data()); break;
    case format::kTagUninstallValues:
      if (b.size() >= format::kUninstallValuesFixedSize) {
        std::string texts[3];
        size_t at = format::kUninstallValuesFixedSize;
        for (std::string& t : texts) {
          t = Text(Bytes(b.begin() + static_cast<long>(at), b.end()));
          at = std::min(b.size(), at + t.size() + 1);
        }
        out << "  flags " << Hex(format::ReadU32(b.data()), 2) << ", " << Grouped(format::ReadU32(b.data() + 4))
            << " KB, version " << Quoted(texts[0]) << ", publisher " << Quoted(texts[1]) << ", icon " << Quoted(texts[2]);
      }
      break;
    default: break;
  }
}

// Expands each entry's stream in file-list order, as the stub's install loop
// reads the data area. open(i, entry) gives the output file (or -1 to drop the
// output); done(i, entry, fd) checks it. A stream that does not end where the
// next one begins stops the walk, because every later position would be wrong.
bool WalkDataArea(const SetupView& view, const std::function<int(size_t, const EntryView&)>& open,
                  const std::function<void(size_t, const EntryView&, int)>& done, std::vector<std::string>* problems) {
  if (!view.hasDataArea) {
    if (!view.entries.empty()) problems->push_back("the package has no data area, so no file can be read");
    return false;
  }
  g_setup.package.dataAreaStart = view.dataAreaStart;
  g_setup.package.dataLength = view.dataLength;
  std::string error;
  if (!BeginReadingVolumes(view.path, &error)) return problems->push_back(error), false;
  bool whole = true;
  for (size_t i = 0; i < view.entries.size(); ++i) {
    const EntryView& e = view.entries[i];
    if (e.entryKind == format::kEntryExternal) {
      done(i, e, -1);
      continue;
    }
    if (e.packedSize == 0) {
      problems->push_back(EntryLabel(i, e) + ": packed size 0; the entries after it cannot be found");
      whole = false;
      break;
    }
    int fd = open(i, e);
    if (fd == -2) {
      whole = false;
      break;
    }
    uint64_t before = DataAreaPosition();
    FileHandle output = fd >= 0 ? reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd)) : INVALID_FILE;
    bool decoded = ExpandIntoFile(output, g_setup.volume.dataHandle, e.packedSize);
    if (!decoded) {
      problems->push_back(EntryLabel(i, e) + ": " +
                          (VolumeError().empty() ? "the stream does not decode" : VolumeError()) +
                          "; the entries after it cannot be read");
      if (fd >= 0) close(fd);
      whole = false;
      break;
    }
    uint64_t consumed = DataAreaPosition() - before;
    done(i, e, fd);
    if (consumed != e.packedSize) {
      problems->push_back(EntryLabel(i, e) + ": the stream is " + Grouped(consumed) + " bytes long, but the entry says " +
                          Grouped(e.packedSize) + "; the entries after it cannot be found");
      whole = false;
      break;
    }
  }
  for (const std::string& note : VolumeNotes()) problems->push_back(note);
  if (whole) {
    uint64_t used = DataAreaPosition();
    uint64_t volume0End = view.dataLength;
    if (g_setup.volume.counter == 0 && used < volume0End)
      problems->push_back(Grouped(volume0End - used) + " bytes at the end of the data area belong to no file entry");
  }
  EndReadingVolumes();
  return whole;
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

void CheckOutput(size_t i, const EntryView& e, int fd, std::vector<std::string>* problems) {
  uint64_t size;
  uint32_t checksum;
  if (!ReadBack(fd, &size, &checksum)) {
    problems->push_back(EntryLabel(i, e) + ": cannot read back the expanded file: " + strerror(errno));
  } else if (size != e.fileSize) {
    problems->push_back(EntryLabel(i, e) + ": expands to " + Grouped(size) + " bytes, but the entry says " + Grouped(e.fileSize));
  } else if (checksum != e.checksum) {
    problems->push_back(EntryLabel(i, e) + ": checksum " + Hex(checksum, 8) + " of the expanded file differs from the stored " +
                        Hex(e.checksum, 8));
  }
}

// Host path below the extraction folder for an entry, or empty with a reason
// when its name would leave that folder.
std::string ExtractPath(const EntryView& e, std::string* why) {
  std::string folder;
  std::string name = e.strings[0];
  switch (e.destinationKind) {
    case format::kDestWindows: folder = "#Windows#"; break;
    case format::kDestSharedSystem: {
      // The stub keeps only the last component for shared system files.
      size_t slash = name.rfind('\\');
      if (slash != std::string::npos) name = name.substr(slash + 1);
      folder = "#System#";
      break;
    }
    case format::kDestFonts: folder = "#Fonts#"; break;
    default: break;
  }
  std::string relative = folder;
  std::string part;
  auto take = [&]() {
    if (part.empty() || part == "." || part == ".." || part.find(':') != std::string::npos) return false;
    relative += (relative.empty() ? "" : "/") + FromAnsi(part);
    part.clear();
    return true;
  };
  for (char c : name) {
    if (c == '\\' || c == '/') {
      if (!take()) return *why = "its name " + Quoted(e.strings[0]) + " would leave the destination folder", "";
    } else {
      part += c;
    }
  }
  if (!take()) return *why = "its name " + Quoted(e.strings[0]) + " is not a usable file name", "";
  return relative;
}

// The stub gives an installed file the entry's times; so does extraction, as
// far as the host keeps them (access and modification).
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

bool Open(const std::string& path, SetupView* view, std::ostream& err) {
  std::string error;
  if (!ReadSetup(path, view, &error)) {
    err << "quorin: " << error << "\n";
    return false;
  }
  return true;
}

void PrintProblems(const std::vector<std::string>& problems, std::ostream& err) {
  for (const std::string& p : problems) err << "  damaged: " << p << "\n";
}

}  // namespace

void SetTextCodePage(int codepage) { g_codepage = codepage; }

int ListSetup(const std::string& path, std::ostream& out, std::ostream& err) {
  return ListSetup(path, ListSections{}, out, err);
}

int ListSetup(const std::string& path, const ListSections& show, std::ostream& out, std::ostream& err) {
  SetupView view;
  if (!Open(path, &view, err)) return 2;
  out << path << ": " << Grouped(view.fileSize) << " bytes; stub " << Grouped(view.stubSize)
      << " bytes (configuration block at offset " << Grouped(view.configOffset) << ")\n";
  if (show.records) out << "\nRecords:\n";
  for (const RecordView& r : view.records) {
    if (!show.records) break;
    char line[128];
    snprintf(line, sizeof line, "  %10s  0x%04X %-24s %10s bytes%s", Grouped(r.offset).c_str(), r.tag, RecordName(r.tag),
             Grouped(r.bodyLength).c_str(), (r.flags & format::kRecordCompressed) ? ", compressed" : "");
    out << line;
    if ((r.flags & format::kRecordCompressed) && r.usable && r.expandedSize) out << " from " << Grouped(r.expandedSize);
    PrintRecordDetail(view, r, out);
    out << "\n";
  }
  if (show.templates && !view.templates.empty()) {
    out << "\nDialog templates:\n";
    for (const TemplateView& t : view.templates) {
      out << "  " << t.number << " " << TemplateRole(t.number) << ": offset " << Grouped(t.offset);
      if (t.size) out << ", " << Grouped(t.size) << " bytes, " << t.controls << " controls, caption " << Quoted(t.caption);
      out << "\n";
    }
  }
  if (show.texts) out << "\nTexts:\n";
  for (int g = 0; g < format::kStringGroupCount; ++g) {
    if (!show.texts || !view.groupPresent[g]) continue;
    for (size_t e = 0; e < view.groups[g].size(); ++e) {
      out << "  " << g << "." << e << " = " << Quoted(view.groups[g][e]);
      if (const DefaultText* known = FindDefaultText(g, static_cast<int>(e))) out << "  # " << known->purpose;
      out << "\n";
    }
  }
  if (show.files) out << "\nFiles (" << view.entries.size() << "):\n";
  uint64_t packed = 0, installed = 0;
  for (size_t i = 0; i < view.entries.size(); ++i) {
    const EntryView& e = view.entries[i];
    if (e.entryKind != format::kEntryExternal) packed += e.packedSize, installed += e.fileSize;
    if (!show.files) continue;
    out << "  " << i << ": " << Quoted(e.strings[0]) << "\n";
    out << "      kind " << KindName(e.destinationKind) << ", " << EntryKindName(e.entryKind) << ", finish "
        << FinishName(e.finishAction) << ", special " << SpecialName(e.special) << ", shared "
        << (e.shared == 1 ? "yes" : "no") << ", icon index " << e.iconIndex << "\n";
    out << "      size " << Grouped(e.fileSize) << ", packed " << Grouped(e.packedSize) << ", checksum "
        << Hex(e.checksum, 8);
    if (e.status) out << ", status " << e.status;
    std::string options;
    if (e.options & format::kOptionUninstaller) options += " uninstaller";
    if (e.options & format::kOptionCheckVersion) options += " check-version";
    if (e.options & format::kOptionCheckLanguage) options += " check-language";
    if (e.options & format::kOptionFileTimes) options += " keep-times";
    if (!options.empty()) out << ", options:" << options;
    out << "\n";
    if (e.hasVersion)
      out << "      version " << FormatVersion(e.versionMs, e.versionLs) << ", language " << Hex(e.language & 0xFFFF, 4)
          << "\n";
    if (e.hasTimes)
      out << "      created " << FileTimeText(e.times[0]) << ", accessed " << FileTimeText(e.times[1]) << ", written "
          << FileTimeText(e.times[2]) << "\n";
    if (!e.strings[1].empty() || !e.strings[2].empty())
      out << "      menu folders " << Quoted(e.strings[1]) << ", shortcut " << Quoted(e.strings[2]) << ", arguments "
          << Quoted(e.strings[3]) << "\n";
    if (!e.strings[4].empty())
      out << "      desktop shortcut " << Quoted(e.strings[4]) << ", arguments " << Quoted(e.strings[5]) << "\n";
  }
  if (view.hasDataArea) {
    out << "\nData area: offset " << Grouped(view.dataAreaStart) << ", volume 0 holds " << Grouped(view.dataLength)
        << " bytes; the files' streams take " << Grouped(packed) << " bytes for " << Grouped(installed) << " bytes of files";
    if (packed > view.dataLength) out << " (continued in volume files .D01 and on)";
    out << "\n";
  }
  out << "\nThe stub " << (view.usable ? "would load this package" : "would not load this package") << ".\n";
  if (!view.problems.empty()) {
    err << "quorin: " << path << ": " << view.problems.size() << " problem(s):\n";
    PrintProblems(view.problems, err);
    return 1;
  }
  return view.usable ? 0 : 1;
}

int ExtractSetup(const std::string& path, const std::string& directory, std::ostream& out, std::ostream& err) {
  SetupView view;
  if (!Open(path, &view, err)) return 2;
  std::vector<std::string> problems = view.problems;
  size_t extracted = 0, external = 0;
  uint64_t bytes = 0;
  std::error_code ec;
  fs::create_directories(directory, ec);
  if (!fs::is_directory(directory, ec)) {
    err << "quorin: " << directory << ": cannot create the folder\n";
    return 1;
  }
  std::vector<std::string> targets(view.entries.size());
  auto open = [&](size_t i, const EntryView& e) -> int {
    std::string why;
    std::string relative = ExtractPath(e, &why);
    if (relative.empty()) {
      problems.push_back(EntryLabel(i, e) + ": not extracted: " + why);
      return -1;  // decode into nothing, so the next entry is found
    }
    fs::path target = fs::path(directory) / relative;
    fs::create_directories(target.parent_path(), ec);
    int fd = ::open(target.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      problems.push_back(EntryLabel(i, e) + ": cannot create " + target.string() + ": " + strerror(errno));
      return -2;
    }
    targets[i] = target.string();
    return fd;
  };
  auto done = [&](size_t i, const EntryView& e, int fd) {
    if (e.entryKind == format::kEntryExternal) {
      out << "  external  " << Quoted(e.strings[0]) << ": lies beside the setup file, not extracted\n";
      ++external;
      return;
    }
    if (fd < 0) return;
    size_t before = problems.size();
    CheckOutput(i, e, fd, &problems);
    if (e.hasTimes) SetFileTimes(fd, e);
    close(fd);
    if (problems.size() == before) {
      out << "  " << targets[i] << "  " << Grouped(e.fileSize) << " bytes\n";
      ++extracted;
      bytes += e.fileSize;
    }
  };
  WalkDataArea(view, open, done, &problems);
  out << extracted << " files extracted (" << Grouped(bytes) << " bytes) to " << directory;
  if (external) out << "; " << external << " external entries noted";
  out << "\n";
  if (!problems.empty()) {
    err << "quorin: " << path << ": " << problems.size() << " problem(s):\n";
    PrintProblems(problems, err);
    return 1;
  }
  return 0;
}

int VerifySetup(const std::string& path, std::ostream& out, std::ostream& err) {
  SetupView view;
  if (!Open(path, &view, err)) return 2;
  std::vector<std::string> problems = view.problems;
  size_t checked = 0;
  uint64_t bytes = 0;
  auto open = [&](size_t, const EntryView&) -> int {
    FILE* scratch = tmpfile();
    if (!scratch) return -2;
    int fd = dup(fileno(scratch));
    fclose(scratch);  // the descriptor keeps the unlinked file alive
    return fd;
  };
  auto done = [&](size_t i, const EntryView& e, int fd) {
    if (fd < 0) return;
    CheckOutput(i, e, fd, &problems);
    close(fd);
    ++checked;
    bytes += e.fileSize;
  };
  WalkDataArea(view, open, done, &problems);
  if (!view.usable && view.problems.empty()) problems.push_back("the stub would not load this package");
  if (!problems.empty()) {
    err << "quorin: " << path << ": " << problems.size() << " problem(s):\n";
    PrintProblems(problems, err);
    return 1;
  }
  out << path << ": OK, " << view.records.size() << " records, " << checked << " streams (" << Grouped(bytes)
      << " bytes) decode to their sizes and checksums\n";
  return 0;
}
