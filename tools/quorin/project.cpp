#include "project.h"

#define TOML_EXCEPTIONS 0
#include <fnmatch.h>
#include <iconv.h>
#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>
#include <set>

#include "defaults_adapter.h"
#include "toml_guard.h"
#include "package/format.h"

namespace fs = std::filesystem;

namespace {

struct Reader {
  std::string file;
  std::vector<std::string>* errors;
  int codepage = 1252;   // the stub shows texts in the system's ANSI code page

  std::string Where(const toml::node& node) const {
    auto line = node.source().begin.line;
    return line ? file + ":" + std::to_string(line) : file;
  }
  void Fail(const toml::node& node, const std::string& problem) { errors->push_back(Where(node) + ": " + problem); }
  void Fail(const std::string& problem) { errors->push_back(file + ": " + problem); }

  // Reports keys of a table that are not in the list.
  void CheckKeys(const toml::table& table, const std::string& where, std::initializer_list<const char*> known) {
    for (auto&& [key, node] : table) {
      bool ok = false;
      for (const char* k : known) ok = ok || key.str() == k;
      if (ok) continue;
      std::string list;
      for (const char* k : known) list += (list.empty() ? "" : ", ") + std::string(k);
      Fail(node, "unknown key '" + std::string(key.str()) + "' in " + where + " (known keys: " + list + ")");
    }
  }

  // The project is UTF-8; the package holds ANSI text of the chosen code page.
  bool ToAnsi(const toml::node& node, const std::string& what, std::string* text) {
    bool ascii = true;
    for (unsigned char c : *text) ascii = ascii && c < 0x80;
    if (ascii) return true;
    std::string name = "CP" + std::to_string(codepage);
    iconv_t cd = iconv_open(name.c_str(), "UTF-8");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
      Fail(node, what + ": code page " + std::to_string(codepage) + " is not known here");
      return false;
    }
    std::string out(text->size() * 2 + 4, '\0');
    char* in = text->data();
    size_t inLeft = text->size();
    char* to = out.data();
    size_t toLeft = out.size();
    size_t done = iconv(cd, &in, &inLeft, &to, &toLeft);
    iconv_close(cd);
    if (done == static_cast<size_t>(-1)) {
      size_t at = static_cast<size_t>(in - text->data());
      size_t length = 1;
      while (at + length < text->size() && (static_cast<unsigned char>((*text)[at + length]) & 0xC0) == 0x80) ++length;
      Fail(node, what + " holds '" + text->substr(at, length) + "', which code page " + std::to_string(codepage) +
                     " cannot show; reword it or set 'codepage' in [setup]");
      return false;
    }
    out.resize(out.size() - toLeft);
    *text = out;
    return true;
  }

  // host: a path on this machine, kept as it is; otherwise a text for the package.
  bool String(const toml::table& table, const char* key, std::string* out, size_t limit = kMaxTextChars,
              bool host = false) {
    const toml::node* node = table.get(key);
    if (!node) return false;
    if (!node->is_string()) {
      Fail(*node, std::string("'") + key + "' must be a text in double quotes");
      return false;
    }
    std::string value = node->as_string()->get();
    if (!host && !ToAnsi(*node, std::string("'") + key + "'", &value)) return false;
    if (value.find('\0') != std::string::npos) {
      Fail(*node, std::string("'") + key + "' must not contain a NUL character");
      return false;
    }
    if (value.size() > limit) {
      Fail(*node, std::string("'") + key + "' is " + std::to_string(value.size()) + " characters long; the limit is " +
                      std::to_string(limit));
      return false;
    }
    *out = value;
    return true;
  }

  bool Bool(const toml::table& table, const char* key, bool fallback) {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    if (!node->is_boolean()) {
      Fail(*node, std::string("'") + key + "' must be true or false");
      return fallback;
    }
    return node->as_boolean()->get();
  }

  bool Integer(const toml::table& table, const char* key, int64_t low, int64_t high, int64_t* out) {
    const toml::node* node = table.get(key);
    if (!node) return false;
    if (!node->is_integer()) {
      Fail(*node, std::string("'") + key + "' must be a whole number");
      return false;
    }
    int64_t v = node->as_integer()->get();
    if (v < low || v > high) {
      Fail(*node, std::string("'") + key + "' must be between " + std::to_string(low) + " and " + std::to_string(high));
      return false;
    }
    *out = v;
    return true;
  }

  // A word out of a fixed list; returns its index or fallback.
  int Choice(const toml::table& table, const char* key, std::initializer_list<const char*> words, int fallback) {
    const toml::node* node = table.get(key);
    if (!node) return fallback;
    std::string list;
    for (const char* w : words) list += (list.empty() ? "\"" : ", \"") + std::string(w) + "\"";
    if (node->is_string()) {
      int i = 0;
      for (const char* w : words) {
        if (node->as_string()->get() == w) return i;
        ++i;
      }
    }
    Fail(*node, std::string("'") + key + "' must be one of " + list);
    return fallback;
  }
};

std::string ToBackslashes(std::string s) {
  std::replace(s.begin(), s.end(), '/', '\\');
  return s;
}

bool ParseColour(const std::string& text, uint32_t* colorref) {
  if (text.size() != 7 || text[0] != '#') return false;
  uint32_t rgb = 0;
  for (size_t i = 1; i < 7; ++i) {
    char c = text[i];
    int d = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    if (d < 0) return false;
    rgb = rgb * 16 + static_cast<uint32_t>(d);
  }
  // COLORREF keeps red in the low byte.
  *colorref = ((rgb >> 16) & 0xFF) | (rgb & 0xFF00) | ((rgb & 0xFF) << 16);
  return true;
}

int PageIndex(const std::string& name) {
  static const char* pages[] = {"welcome", "information", "destination", "ready", "progress", "finish", "closing"};
  for (int i = 0; i < 7; ++i)
    if (name == pages[i]) return i;
  return -1;
}

// ---- globs -------------------------------------------------------------------

std::vector<std::string> SplitSlash(const std::string& s) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : s) {
    if (c == '/' || c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

bool HasWildcard(const std::string& s) { return s.find_first_of("*?[") != std::string::npos; }

bool MatchSegments(const std::vector<std::string>& pattern, size_t p, const std::vector<std::string>& path, size_t q) {
  if (p == pattern.size()) return q == path.size();
  if (pattern[p] == "**") {
    for (size_t k = q; k <= path.size(); ++k)
      if (MatchSegments(pattern, p + 1, path, k)) return true;
    return false;
  }
  if (q == path.size()) return false;
  if (fnmatch(pattern[p].c_str(), path[q].c_str(), FNM_PERIOD) != 0) return false;
  return MatchSegments(pattern, p + 1, path, q + 1);
}

// Regular files under base matching the pattern (segments after the base), as
// paths relative to base with '/' separators, sorted so builds repeat exactly.
std::vector<std::string> Glob(const fs::path& base, const std::vector<std::string>& pattern) {
  std::vector<std::string> found;
  std::error_code ec;
  if (!fs::is_directory(base, ec)) return found;
  for (auto it = fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string rel = fs::relative(it->path(), base, ec).generic_string();
    if (MatchSegments(pattern, 0, SplitSlash(rel), 0)) found.push_back(rel);
  }
  std::sort(found.begin(), found.end());
  return found;
}

// ---- text names ----------------------------------------------------------------

const std::vector<std::pair<std::string, std::pair<int, int>>> kTextNames = {
    {"welcome", {0, 1}},
    {"information", {1, 1}},
    {"ready", {3, 2}},
    {"program_title", {6, 0}},
    {"cancel_question", {6, 14}},
    {"cancelled", {6, 15}},
    {"disk_prompt", {6, 28}},
    {"incomplete_package", {6, 31}},
    {"button_back", {7, 0}},
    {"button_next", {7, 1}},
    {"button_cancel", {7, 2}},
    {"button_install", {7, 3}},
};

void ReadTexts(Reader& r, const toml::table& texts, Project* project) {
  for (auto&& [key, node] : texts) {
    std::string name(key.str());
    if (node.is_table()) {
      // 6.31 = "..." arrives as table "6" holding key "31".
      char* end = nullptr;
      long group = strtol(name.c_str(), &end, 10);
      if (name.empty() || *end || group < 0 || group >= format::kStringGroupCount) {
        r.Fail(node, "'" + name + "' in [texts] is neither a text name nor a group number 0 to 8");
        continue;
      }
      for (auto&& [entryKey, entryNode] : *node.as_table()) {
        std::string e(entryKey.str());
        long entry = strtol(e.c_str(), &end, 10);
        if (e.empty() || *end || entry < 0 || entry > 65535) {
          r.Fail(entryNode, "'" + name + "." + e + "' in [texts]: the entry must be a number from 0 to 65535");
          continue;
        }
        if (!entryNode.is_string()) {
          r.Fail(entryNode, "texts." + name + "." + e + " must be a text in double quotes");
          continue;
        }
        std::string text = entryNode.as_string()->get();
        if (!r.ToAnsi(entryNode, "texts." + name + "." + e, &text)) continue;
        if (text.size() > kMaxTextChars)
          r.Fail(entryNode, "texts." + name + "." + e + " is " + std::to_string(text.size()) +
                                " characters long; the limit is " + std::to_string(kMaxTextChars));
        else {
          project->texts[{static_cast<int>(group), static_cast<int>(entry)}] = text;
          project->textOrigins[{static_cast<int>(group), static_cast<int>(entry)}] = r.Where(entryNode);
        }
      }
      continue;
    }
    int group, entry;
    if (!LookupTextName(name, &group, &entry)) {
      std::string list;
      for (auto& n : kTextNames) list += (list.empty() ? "" : ", ") + n.first;
      r.Fail(node, "unknown text name '" + name + "' in [texts] (names: " + list + "; or use group.entry such as 6.31)");
      continue;
    }
    std::string text;
    if (r.String(texts, name.c_str(), &text)) {
      project->texts[{group, entry}] = text;
      project->textOrigins[{group, entry}] = r.Where(node);
    }
  }
}

// ---- files -----------------------------------------------------------------------

void ReadFileTable(Reader& r, const toml::table& t, Project* project) {
  r.CheckKeys(t, "[[file]]",
              {"source", "destination", "kind", "finish", "shared", "uninstall", "external", "screen_saver",
               "self_register", "uninstaller", "check_version", "check_language", "keep_times", "menu_folders",
               "menu_shortcut", "menu_arguments", "desktop_shortcut", "desktop_arguments", "icon_index"});
  ProjectFile f;
  f.origin = r.Where(t);
  f.destinationKind = static_cast<uint8_t>(r.Choice(t, "kind", {"folder", "windows", "system-shared", "fonts"}, 0));
  f.finishAction = static_cast<uint8_t>(r.Choice(t, "finish", {"none", "view", "run"}, 0));
  f.shared = r.Bool(t, "shared", false) ? 1 : 0;
  bool external = r.Bool(t, "external", false);
  f.entryKind = external ? format::kEntryExternal
                         : (r.Bool(t, "uninstall", true) ? format::kEntryListedForRemoval : format::kEntryInstalled);
  bool screenSaver = r.Bool(t, "screen_saver", false), selfRegister = r.Bool(t, "self_register", false);
  if (screenSaver && selfRegister) r.Fail(t, "a file is either a screen saver or self-registering, not both");
  f.special = screenSaver ? format::kSpecialScreenSaver : selfRegister ? format::kSpecialSelfRegister : 0;
  if (r.Bool(t, "uninstaller", false)) f.options |= format::kOptionUninstaller;
  if (r.Bool(t, "check_version", false)) f.options |= format::kOptionCheckVersion;
  if (r.Bool(t, "check_language", false)) f.options |= format::kOptionCheckLanguage;
  if (r.Bool(t, "keep_times", false)) f.options |= format::kOptionFileTimes;
  if (f.shared && f.destinationKind == format::kDestFolder)
    r.Fail(t, "'shared' counts files in the Windows, system-shared or fonts folders only; set kind as well");
  if (const toml::node* menu = t.get("menu_folders")) {
    std::string joined;
    if (menu->is_string()) {
      joined = menu->as_string()->get();
    } else if (menu->is_array()) {
      for (auto&& item : *menu->as_array()) {
        if (!item.is_string()) {
          r.Fail(item, "'menu_folders' must be texts");
          continue;
        }
        joined += (joined.empty() ? "" : ";") + item.as_string()->get();
      }
    } else {
      r.Fail(*menu, "'menu_folders' must be a text or a list of texts");
    }
    if (!r.ToAnsi(*menu, "'menu_folders'", &joined)) joined.clear();
    else if (joined.size() > kMaxTextChars) r.Fail(*menu, "'menu_folders' is longer than " + std::to_string(kMaxTextChars) + " characters");
    else f.menuFolders = joined;
  }
  r.String(t, "menu_shortcut", &f.menuShortcut, kMaxPathChars);
  r.String(t, "menu_arguments", &f.menuArguments, kMaxPathChars);
  r.String(t, "desktop_shortcut", &f.desktopShortcut, kMaxPathChars);
  r.String(t, "desktop_arguments", &f.desktopArguments, kMaxPathChars);
  if (!f.menuShortcut.empty() && f.menuFolders.empty())
    r.Fail(t, "'menu_shortcut' needs 'menu_folders' to say where the shortcut goes");
  int64_t icon = 0;
  if (r.Integer(t, "icon_index", 0, 65535, &icon)) f.iconIndex = static_cast<uint16_t>(icon);

  std::string source, destination;
  bool hasSource = r.String(t, "source", &source, 4096, true);
  bool hasDestination = r.String(t, "destination", &destination, kMaxPathChars);
  destination = ToBackslashes(destination);
  while (!destination.empty() && destination.back() == '\\') destination.pop_back();
  if (!hasSource && !t.get("source")) {
    if (!external) {
      r.Fail(t, "[[file]] needs 'source'");
      return;
    }
    if (!hasDestination || destination.empty()) {
      r.Fail(t, "an external [[file]] without 'source' needs 'destination' (its name beside the setup file)");
      return;
    }
    f.destination = destination;
    project->files.push_back(f);
    return;
  }
  if (!hasSource) return;
  std::vector<std::string> segments = SplitSlash(source);
  bool absolute = !source.empty() && source[0] == '/';
  size_t fixed = 0;
  while (fixed < segments.size() && !HasWildcard(segments[fixed])) ++fixed;
  if (fixed == segments.size()) {
    fs::path p = absolute ? fs::path(source) : fs::path(project->baseDir) / source;
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) {
      r.Fail(*t.get("source"), "source file '" + p.string() + "' does not exist or is not a file");
      return;
    }
    f.source = p.string();
    f.destination = hasDestination && !destination.empty() ? destination : p.filename().string();
    // A name taken from the host file system is UTF-8 still.
    bool named = hasDestination && !destination.empty();
    if (named || r.ToAnsi(t, "the file name '" + f.destination + "'", &f.destination)) project->files.push_back(f);
    return;
  }
  fs::path base = absolute ? fs::path("/") : fs::path(project->baseDir);
  for (size_t i = 0; i < fixed; ++i) base /= segments[i];
  std::vector<std::string> pattern(segments.begin() + static_cast<long>(fixed), segments.end());
  std::vector<std::string> matches = Glob(base, pattern);
  if (matches.empty()) {
    r.Fail(*t.get("source"), "the pattern '" + source + "' matches no file");
    return;
  }
  if ((f.options & format::kOptionUninstaller) && matches.size() > 1)
    r.Fail(t, "'uninstaller' is set on a pattern that matches " + std::to_string(matches.size()) + " files");
  for (const std::string& rel : matches) {
    ProjectFile one = f;
    one.source = (base / rel).string();
    one.destination = ToBackslashes(rel);
    if (!r.ToAnsi(t, "the file name '" + one.destination + "'", &one.destination)) continue;
    one.destination = (destination.empty() ? "" : destination + "\\") + one.destination;
    project->files.push_back(one);
  }
}

// The title painted on the background and its font and colours.
void ReadBackgroundTitle(Reader& r, const toml::table& table, Project* project) {
  r.CheckKeys(table, "[background_title]", {"text", "font", "size", "bold", "italic", "colour", "shadow", "charset"});
  r.String(table, "text", &project->backgroundTitle);
  project->hasTitleStyle = !project->backgroundTitle.empty();
  TitleStyle& s = project->titleStyle;
  r.String(table, "font", &s.face, 31);
  int64_t v;
  if (r.Integer(table, "size", 4, 500, &v)) s.height = static_cast<int32_t>(v);
  s.weight = r.Bool(table, "bold", true) ? 700 : 400;
  s.italic = r.Bool(table, "italic", true);
  if (r.Integer(table, "charset", 0, 255, &v)) s.charset = static_cast<uint8_t>(v);
  std::string colour;
  if (r.String(table, "colour", &colour) && !ParseColour(colour, &s.secondColour))
    r.Fail(*table.get("colour"), "'colour' must be written #RRGGBB, such as \"#FFFFFF\"");
  if (r.String(table, "shadow", &colour) && !ParseColour(colour, &s.firstColour))
    r.Fail(*table.get("shadow"), "'shadow' must be written #RRGGBB, such as \"#000000\"");
}

// Where the chosen folder is remembered, and which places are written back.
void ReadRemember(Reader& r, const toml::table& table, Project* project) {
  r.CheckKeys(table, "[remember]", {"registry", "ini", "write"});
  if (const toml::node* reg = table.get("registry")) {
    if (const toml::table* t = reg->as_table()) {
      r.CheckKeys(*t, "[remember.registry]", {"root", "key", "value"});
      int rootIndex = r.Choice(*t, "root",
                               {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKCR",
                                "HKCU", "HKLM", "HKU"},
                               2);
      project->registryRoot = static_cast<uint32_t>(rootIndex % 4);
      if (!r.String(*t, "key", &project->registryKey, kMaxPathChars) || project->registryKey.empty())
        r.Fail(*t, "[remember.registry] needs 'key'");
      r.String(*t, "value", &project->registryValue, kMaxPathChars);
      project->hasRegistryLocation = true;
    } else {
      r.Fail(*reg, "'registry' must be a table { root = \"HKLM\", key = \"...\", value = \"...\" }");
    }
  }
  if (const toml::node* ini = table.get("ini")) {
    if (const toml::table* t = ini->as_table()) {
      r.CheckKeys(*t, "[remember.ini]", {"file", "section", "key"});
      bool ok = r.String(*t, "file", &project->iniFile, kMaxPathChars) &&
                r.String(*t, "section", &project->iniSection, kMaxPathChars) &&
                r.String(*t, "key", &project->iniKey, kMaxPathChars);
      if (!ok || project->iniFile.empty() || project->iniSection.empty() || project->iniKey.empty())
        r.Fail(*t, "[remember.ini] needs 'file', 'section' and 'key'");
      project->hasIniLocation = true;
    } else {
      r.Fail(*ini, "'ini' must be a table { file = \"...\", section = \"...\", key = \"...\" }");
    }
  }
  bool writeRegistry = project->hasRegistryLocation, writeIni = project->hasIniLocation;
  if (const toml::node* write = table.get("write")) {
    writeRegistry = writeIni = false;
    const toml::array* list = write->as_array();
    if (!list) r.Fail(*write, "'write' must be a list such as [\"registry\", \"ini\"]");
    else
      for (auto&& item : *list) {
        std::string w = item.is_string() ? item.as_string()->get() : "";
        if (w == "registry" && project->hasRegistryLocation) writeRegistry = true;
        else if (w == "ini" && project->hasIniLocation) writeIni = true;
        else r.Fail(item, "'write' lists \"registry\" or \"ini\", each only when that place is given");
      }
  }
  if (writeRegistry) project->flags |= format::kFlagRememberInRegistry;
  if (writeIni) project->flags |= format::kFlagRememberInIni;
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  return s;
}

void CheckFiles(Reader& r, Project* project) {
  std::map<std::string, std::string> seen;
  int uninstallers = 0;
  std::string typical = TypicalFolder(project->defaultFolder);
  for (const ProjectFile& f : project->files) {
    const std::string& d = f.destination;
    auto fail = [&](const std::string& problem) { r.errors->push_back(f.origin + ": " + problem); };
    if (d.empty()) {
      fail("the destination name is empty");
      continue;
    }
    if (d[0] == '\\' || (d.size() > 1 && d[1] == ':')) fail("destination '" + d + "' must be relative to its folder");
    for (const std::string& part : SplitSlash(d))
      if (part == "..") fail("destination '" + d + "' must not climb out of its folder with '..'");
    if (d.find_first_of("<>\"|?*") != std::string::npos) fail("destination '" + d + "' holds a character Windows forbids in names");
    // The stub builds the full path in a 260-byte buffer, and the temporary name
    // beside it may be four characters longer when the name has no extension.
    size_t slash = d.rfind('\\');
    std::string last = slash == std::string::npos ? d : d.substr(slash + 1);
    size_t extra = last.find('.') == std::string::npos ? 4 : 0;
    if (f.destinationKind == format::kDestFolder && f.entryKind != format::kEntryExternal) {
      size_t full = typical.size() + 1 + d.size() + extra;
      if (full > kMaxPathChars)
        fail("destination '" + d + "' makes a path of " + std::to_string(full) + " characters under '" + typical +
             "'; the limit is " + std::to_string(kMaxPathChars));
    } else if (d.size() + 40 > kMaxPathChars) {
      fail("destination '" + d + "' is too long for a path of at most " + std::to_string(kMaxPathChars) + " characters");
    }
    if (f.destinationKind != format::kDestFolder && f.entryKind != format::kEntryExternal && slash != std::string::npos &&
        f.destinationKind != format::kDestSharedSystem)
      fail("destination '" + d + "' has subfolders, which only kind = \"folder\" allows");
    std::string key = std::to_string(f.entryKind == format::kEntryExternal ? 9 : f.destinationKind) + ":" +
                      Lower(f.destinationKind == format::kDestSharedSystem ? last : d);
    auto [it, fresh] = seen.emplace(key, f.origin);
    if (!fresh) fail("destination '" + d + "' is also written by the file at " + it->second);
    if (f.options & format::kOptionUninstaller) ++uninstallers;
  }
  if (uninstallers > 1) r.Fail("more than one file is marked 'uninstaller'; the uninstall data goes into one file");
}

}  // namespace

bool LookupTextName(const std::string& name, int* group, int* entry) {
  for (auto& n : kTextNames)
    if (n.first == name) {
      *group = n.second.first;
      *entry = n.second.second;
      return true;
    }
  return false;
}

const std::vector<std::pair<std::string, std::pair<int, int>>>& TextNames() { return kTextNames; }

std::string TypicalFolder(const std::string& folder) {
  static const std::pair<const char*, const char*> macros[] = {
      {"#windows#", "C:\\WINDOWS"}, {"#system#", "C:\\WINDOWS\\SYSTEM32"}, {"#program files#", "C:\\Program Files"}};
  if (!folder.empty() && folder[0] == '#') {
    size_t close = folder.find('#', 1);
    if (close != std::string::npos) {
      std::string macro = Lower(folder.substr(0, close + 1));
      std::string rest = folder.substr(close + 1);
      if (!rest.empty() && rest[0] == '\\') rest.erase(0, 1);
      for (auto& m : macros)
        if (macro == m.first) return std::string(m.second) + (rest.empty() ? "" : "\\" + rest);
      return rest;
    }
  }
  return folder;
}

bool LoadProject(const std::string& path, Project* project, std::vector<std::string>* errors) {
  size_t before = errors->size();
  Reader r{path, errors};
  *project = Project{};
  project->path = path;
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  project->baseDir = absolute.parent_path().string();
  if (!fs::is_regular_file(path, ec)) {
    r.Fail("cannot open the project file");
    return false;
  }
  std::string text, refused;
  if (!PrepareTomlText(path, &text, &refused)) return errors->push_back(refused), false;
  toml::parse_result parsed = toml::parse(text, path);
  if (!parsed) {
    const toml::parse_error& e = parsed.error();
    errors->push_back(path + ":" + std::to_string(e.source().begin.line) + ":" + std::to_string(e.source().begin.column) +
                      ": " + std::string(e.description()));
    return false;
  }
  const toml::table& root = parsed.table();
  r.CheckKeys(root, "the project file", {"setup", "background_title", "remember", "texts", "file"});

  const toml::table* setup = root["setup"].as_table();
  if (!setup) {
    r.Fail("the project needs a [setup] table with at least 'title'");
    return false;
  }
  int64_t codepage;
  if (r.Integer(*setup, "codepage", 437, 65001, &codepage)) r.codepage = static_cast<int>(codepage);
  r.CheckKeys(*setup, "[setup]",
              {"codepage", "title", "uninstall_name", "folder", "mode", "editable_folder", "start_page", "side_bitmap",
               "background_bitmap", "dialogs"});
  if (!r.String(*setup, "title", &project->title) || project->title.empty()) {
    if (!setup->get("title")) r.Fail(*setup, "[setup] needs 'title'");
    else if (project->title.empty() && setup->get("title")->is_string()) r.Fail(*setup->get("title"), "'title' must not be empty");
  }
  project->uninstallName = project->title;
  r.String(*setup, "uninstall_name", &project->uninstallName);
  project->defaultFolder = "#Program Files#\\" + project->title;
  r.String(*setup, "folder", &project->defaultFolder, kMaxPathChars);
  if (TypicalFolder(project->defaultFolder).size() > kMaxPathChars - 13)
    r.Fail(*setup, "'folder' leaves no room for file names within " + std::to_string(kMaxPathChars) + " characters");
  bool background = r.Choice(*setup, "mode", {"framed", "background"}, 1) == 1;
  if (background) project->flags |= format::kFlagBackgroundMode;
  if (r.Bool(*setup, "editable_folder", true)) project->flags |= format::kFlagEditableFolder;
  if (const toml::node* page = setup->get("start_page")) {
    int index = -1;
    if (page->is_string()) index = PageIndex(page->as_string()->get());
    else if (page->is_integer() && page->as_integer()->get() >= 0 && page->as_integer()->get() <= 6)
      index = static_cast<int>(page->as_integer()->get());
    if (index < 0)
      r.Fail(*page, "'start_page' must be a page 0 to 6 or one of \"welcome\", \"information\", \"destination\", \"ready\", "
                    "\"progress\", \"finish\", \"closing\"");
    else project->startPage = static_cast<uint16_t>(index);
  }
  auto sourcePath = [&](const char* key, std::string* out) {
    std::string rel;
    if (!r.String(*setup, key, &rel, 4096, true)) return;
    fs::path p = fs::path(project->baseDir) / rel;
    if (!fs::is_regular_file(p, ec)) r.Fail(*setup->get(key), std::string("'") + key + "' file '" + p.string() + "' does not exist");
    else *out = p.string();
  };
  sourcePath("side_bitmap", &project->sideBitmap);
  sourcePath("background_bitmap", &project->backgroundBitmap);
  sourcePath("dialogs", &project->dialogs);
  if (!project->dialogs.empty()) {
    project->dialogsOrigin = r.Where(*setup->get("dialogs"));
    std::string ext = Lower(fs::path(project->dialogs).extension().string());
    if (ext != ".rc" && ext != ".res") r.Fail(*setup->get("dialogs"), "'dialogs' must name an .rc script or a compiled .res file");
  }

  if (background) {
    project->backgroundTitle = project->title;
    project->hasTitleStyle = true;
  }
  if (const toml::node* node = root.get("background_title")) {
    if (const toml::table* table = node->as_table()) ReadBackgroundTitle(r, *table, project);
    else r.Fail(*node, "'background_title' must be a table");
  }
  if (const toml::node* node = root.get("remember")) {
    if (const toml::table* table = node->as_table()) ReadRemember(r, *table, project);
    else r.Fail(*node, "'remember' must be a table");
  }

  if (const toml::node* node = root.get("texts")) {
    if (const toml::table* texts = node->as_table()) ReadTexts(r, *texts, project);
    else r.Fail(*node, "'texts' must be a table");
  }

  if (const toml::node* node = root.get("file")) {
    const toml::array* list = node->as_array();
    if (!list) {
      r.Fail(*node, "files are written as [[file]] tables");
    } else {
      for (auto&& item : *list) {
        if (const toml::table* t = item.as_table()) ReadFileTable(r, *t, project);
        else r.Fail(item, "files are written as [[file]] tables");
      }
    }
  }
  CheckFiles(r, project);
  CheckProjectTexts(*project, errors);
  return errors->size() == before;
}
