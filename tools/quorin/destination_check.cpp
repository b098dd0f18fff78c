#include "destination_check.h"

#include <map>

#include "codepage.h"
#include "package/format.h"

namespace {

std::vector<std::string> SplitBackslash(const std::string& s) {
  std::vector<std::string> parts(1);
  for (char c : s) {
    if (c == '\\') parts.emplace_back();
    else parts.back() += c;
  }
  return parts;
}

// Windows drops trailing dots and spaces from a name.
std::string WindowsTrim(std::string name) {
  while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.pop_back();
  return name;
}

std::string Upper(std::string s) {
  for (char& c : s)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  return s;
}

// CON, NUL.TXT, com1.log: device names, whatever extension follows.
bool IsDeviceName(const std::string& name) {
  std::string base = Upper(WindowsTrim(name.substr(0, name.find('.'))));
  while (!base.empty() && base.back() == ' ') base.pop_back();
  static const char* fixed[] = {"CON", "PRN", "AUX", "NUL", "CONIN$", "CONOUT$", "CLOCK$"};
  for (const char* f : fixed)
    if (base == f) return true;
  return base.size() == 4 && (base.compare(0, 3, "COM") == 0 || base.compare(0, 3, "LPT") == 0) && base[3] >= '0' &&
         base[3] <= '9';
}

struct Seen {
  std::string origin;
  std::string destination;
  bool builtIn;
};

// The uninstaller quorin adds is named by the project only indirectly.
std::string Described(const Seen& seen) {
  return seen.builtIn ? "the uninstaller quorin adds for 'uninstall_name' (named at " + seen.origin +
                            "; 'uninstaller_name' renames it)"
                      : "'" + seen.destination + "' at " + seen.origin;
}

}  // namespace

void CheckDestinations(const Project& project, std::vector<std::string>* errors) {
  std::map<std::string, Seen> files, folders;
  int uninstallers = 0;
  std::string typical = TypicalFolder(project.defaultFolder);
  for (const ProjectFile& f : project.files) {
    const std::string& d = f.destination;
    auto fail = [&](const std::string& problem) { errors->push_back(f.origin + ": " + problem); };
    if (f.options & format::kOptionUninstaller) ++uninstallers;
    if (d.empty()) {
      fail("the destination name is empty");
      continue;
    }
    bool wellFormed = true;
    auto refuse = [&](const std::string& problem) {
      fail("destination '" + d + "' " + problem);
      wellFormed = false;
    };
    if (d[0] == '\\' || (d.size() > 1 && d[1] == ':')) refuse("must be relative to its folder");
    for (unsigned char c : d)
      if (c < 0x20 || std::string("<>\"|?*:").find(static_cast<char>(c)) != std::string::npos) {
        refuse(c < 0x20 ? "holds a control character, which Windows forbids in names"
                        : std::string("holds '") + static_cast<char>(c) + "', which Windows forbids in names");
        break;
      }
    std::vector<std::string> segments = SplitBackslash(d);
    for (const std::string& part : segments) {
      if (part.empty()) refuse("has an empty folder name (two backslashes in a row)");
      else if (part == "..") refuse("must not climb out of its folder with '..'");
      else if (part == ".") refuse("holds a '.' folder, which Windows leaves out; write the path without it");
      else if (WindowsTrim(part) != part)
        refuse("has a name ending in a dot or a space ('" + part + "'), which Windows drops; write '" +
               WindowsTrim(part) + "'");
      else if (IsDeviceName(part))
        refuse("uses '" + part + "', a device name on Windows (CON, PRN, AUX, NUL, COM0 to COM9, LPT0 to LPT9), "
               "whatever its extension");
    }
    // The stub builds the full path in a 260-byte buffer, and the temporary name
    // beside it may be four characters longer when the name has no extension.
    const std::string& last = segments.back();
    size_t extra = last.find('.') == std::string::npos ? 4 : 0;
    bool external = f.entryKind == format::kEntryExternal;
    if (f.destinationKind == format::kDestFolder && !external) {
      size_t full = typical.size() + 1 + d.size() + extra;
      if (full > kMaxPathChars)
        fail("destination '" + d + "' makes a path of " + std::to_string(full) + " characters under '" + typical +
             "'; the limit is " + std::to_string(kMaxPathChars));
    } else if (d.size() + 40 > kMaxPathChars) {
      fail("destination '" + d + "' is too long for a path of at most " + std::to_string(kMaxPathChars) + " characters");
    }
    if (f.destinationKind != format::kDestFolder && !external && segments.size() > 1 &&
        f.destinationKind != format::kDestSharedSystem)
      fail("destination '" + d + "' has subfolders, which only kind = \"folder\" allows");
    if (!wellFormed) continue;

    // Entries land in one of four places; a shared system file by its name alone.
    std::string place = std::to_string(external ? 9 : f.destinationKind) + ":";
    std::vector<std::string> path = f.destinationKind == format::kDestSharedSystem && !external
                                        ? std::vector<std::string>{last}
                                        : segments;
    std::string key = place;
    for (size_t i = 0; i < path.size(); ++i) {
      key += CaseFoldedKey(path[i], project.codepage);
      if (i + 1 == path.size()) break;
      folders.emplace(key, Seen{f.origin, d, false});
      key += std::string("\\\0\0\0", 4);  // a backslash in the keys' UTF-32
    }
    Seen seen{f.origin, d, f.builtIn};
    auto [it, fresh] = files.emplace(key, seen);
    if (!fresh && f.builtIn)
      errors->push_back(it->second.origin + ": destination '" + it->second.destination + "' is the same file on Windows as " +
                        Described(seen));
    else if (!fresh)
      fail("destination '" + d + "' is the same file on Windows as " + Described(it->second) +
           (d == it->second.destination ? "" : " (Windows ignores letter case)"));
  }
  // A file and a folder of one name cannot both exist.
  for (const auto& [key, file] : files) {
    auto folder = folders.find(key);
    if (folder != folders.end())
      errors->push_back(folder->second.origin + ": destination '" + folder->second.destination + "' needs a folder '" +
                        file.destination + "', but " + (file.builtIn ? Described(file) : "the file at " + file.origin) +
                        " has that name");
  }
  if (uninstallers > 1)
    errors->push_back(project.path + ": more than one file is marked 'uninstaller'; the uninstall data goes into one file");
}
