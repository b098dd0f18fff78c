#include "project.h"

#define TOML_EXCEPTIONS 0
#include <errno.h>
#include <fnmatch.h>
#include <string.h>
#include <sys/stat.h>
#include <toml++/toml.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "codepage.h"
#include "defaults_adapter.h"
#include "destination_check.h"
#include "output_paths.h"
#include "package/format.h"
#include "toml_guard.h"
#include "toml_messages.h"

namespace fs = std::filesystem;

namespace {

// A project file larger than this is no project file.
constexpr uintmax_t kMaxProjectBytes = 16 << 20;
// The information text file, before conversion.
constexpr uintmax_t kMaxInformationFileBytes = 4 << 20;

bool HasBareLineFeed(const std::string& text) {
  for (size_t i = 0; i < text.size(); ++i)
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) return true;
  return false;
}

struct Reader {
  std::string file;
  std::vector<std::string>* errors;
  std::vector<std::string>* warnings;
  uint32_t codepage = 1252;   // the stub shows texts in the system's ANSI code page
  bool codepageKnown = true;  // an unknown one is reported once, where it is set
  std::string outputPath;     // the setup file the build writes, if known

  std::string Where(const toml::node& node) const {
    auto line = node.source().begin.line;
    return line ? file + ":" + std::to_string(line) : file;
  }
  void Fail(const toml::node& node, const std::string& problem) { errors->push_back(Where(node) + ": " + problem); }
  void Fail(const std::string& problem) { errors->push_back(file + ": " + problem); }
  void Warn(const toml::node& node, const std::string& problem) {
    warnings->push_back(Where(node) + ": warning: " + problem);
  }

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
    if (!codepageKnown) return true;
    std::string converted;
    size_t bad = 0;
    if (ToCodePage(*text, codepage, &converted, &bad)) return *text = converted, true;
    Fail(node, what + " holds '" + CharacterAt(*text, bad) + "', which code page " + std::to_string(codepage) +
                   " cannot show; reword it or set 'codepage' in [setup]");
    return false;
  }

  // Multi-line TOML texts break lines with a bare line feed; the setup's edit
  // fields need CR LF to break a line there.
  void CheckLineBreaks(const toml::node& node, const std::string& what, const std::string& text) {
    if (HasBareLineFeed(text))
      Warn(node, what + " breaks lines with a bare line feed; Windows edit fields show no break there, so write "
                        "\r\n (a text over several lines in triple quotes has bare line feeds)");
  }

  // A host file named by the project must not be the setup file being written.
  void CheckNotOutput(const toml::node& node, const std::string& key, const std::string& path) {
    if (outputPath.empty()) return;
    if (SameFile(path, outputPath))
      Fail(node, "'" + key + "' is the setup file this build writes (-o); give the output another name");
    else if (int k = VolumeNumberOf(path, outputPath))
      Fail(node, "'" + key + "' is volume file " + std::to_string(k) +
                     " of the setup file this build writes (-o); give the output another name");
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
    if (!host) CheckLineBreaks(*node, std::string("'") + key + "'", value);
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
// A symbolic link to a file is matched under its own name, as when named.
std::vector<std::string> Glob(const fs::path& base, const std::vector<std::string>& pattern) {
  std::vector<std::string> found;
  std::error_code ec;
  if (!fs::is_directory(base, ec)) return found;
  for (auto it = fs::recursive_directory_iterator(base, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string rel = it->path().lexically_relative(base).generic_string();
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

// The information text from a UTF-8 file: line breaks made CR LF, converted to
// the code page, and as long as the information page's field takes.
void ReadInformationFile(Reader& r, const toml::node& node, Project* project) {
  if (!node.is_string()) return r.Fail(node, "'information_file' must be a file name in double quotes");
  fs::path path = fs::path(project->baseDir) / node.as_string()->get();
  std::string shown = path.string();
  struct stat st;
  if (stat(shown.c_str(), &st) != 0) return r.Fail(node, "'information_file' '" + shown + "': " + strerror(errno));
  if (!S_ISREG(st.st_mode)) return r.Fail(node, "'information_file' '" + shown + "' is not a file");
  if (static_cast<uintmax_t>(st.st_size) > kMaxInformationFileBytes)
    return r.Fail(node, "'information_file' '" + shown + "' is " + std::to_string(st.st_size) +
                            " bytes; the information page holds at most " + std::to_string(kMaxControlTextChars) +
                            " characters");
  std::ifstream in(shown, std::ios::binary);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (!in.good() && !in.eof()) return r.Fail(node, "'information_file' '" + shown + "': " + strerror(errno));
  r.CheckNotOutput(node, "information_file", shown);
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  auto lineOf = [&](size_t at) {
    return shown + ":" + std::to_string(1 + std::count(text.begin(), text.begin() + static_cast<long>(at), '\n'));
  };
  size_t bad = FindBadUtf8(text);
  if (bad != std::string::npos) {
    char byte[8];
    snprintf(byte, sizeof byte, "0x%02X", static_cast<unsigned char>(text[bad]));
    return r.errors->push_back(lineOf(bad) + ": not UTF-8 text (byte " + byte + "); save '" + shown +
                               "' as UTF-8 (named from " + r.Where(node) + ")");
  }
  if (text.find('\0') != std::string::npos)
    return r.Fail(node, "'information_file' '" + shown + "' holds a NUL character; it must be a text file");
  std::string lines;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    if (text[i] == '\r' || text[i] == '\n') lines += "\r\n";
    else lines += text[i];
  }
  std::string ansi;
  if (r.codepageKnown && !ToCodePage(lines, r.codepage, &ansi, &bad)) {
    size_t line = 1 + std::count(lines.begin(), lines.begin() + bad, '\n');
    return r.errors->push_back(shown + ":" + std::to_string(line) + ": holds '" + CharacterAt(lines, bad) +
                               "', which code page " + std::to_string(r.codepage) +
                               " cannot show; reword it or set 'codepage' in [setup] (named from " + r.Where(node) + ")");
  }
  if (!r.codepageKnown) ansi = lines;
  if (ansi.size() > kMaxControlTextChars)
    return r.Fail(node, "'information_file' '" + shown + "' gives " + std::to_string(ansi.size()) +
                            " characters; the information page holds at most " + std::to_string(kMaxControlTextChars));
  if (project->texts.count({1, 1}))
    return r.Fail(node, "give the information text once: 'information_file' or 'information' (1.1), not both");
  project->texts[{1, 1}] = ansi;
  project->textOrigins[{1, 1}] = r.Where(node);
  project->informationFile = shown;
  project->informationFileOrigin = r.Where(node);
}

void ReadTexts(Reader& r, const toml::table& texts, Project* project) {
  const toml::node* informationFile = nullptr;
  for (auto&& [key, node] : texts) {
    std::string name(key.str());
    if (name == "information_file") {
      informationFile = &node;
      continue;
    }
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
        std::string label = "texts." + name + "." + e;
        if (!entryNode.is_string()) {
          r.Fail(entryNode, label + " must be a text in double quotes");
          continue;
        }
        std::string text = entryNode.as_string()->get();
        if (!r.ToAnsi(entryNode, label, &text)) continue;
        r.CheckLineBreaks(entryNode, label, text);
        size_t limit = TextLimit(static_cast<int>(group), static_cast<int>(entry));
        if (text.size() > limit)
          r.Fail(entryNode, label + " is " + std::to_string(text.size()) + " characters long; the limit is " +
                                std::to_string(limit));
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
      r.Fail(node, "unknown text name '" + name + "' in [texts] (names: " + list +
                       ", information_file; or use group.entry such as 6.31)");
      continue;
    }
    std::string text;
    if (r.String(texts, name.c_str(), &text, TextLimit(group, entry))) {
      project->texts[{group, entry}] = text;
      project->textOrigins[{group, entry}] = r.Where(node);
    }
  }
  if (informationFile) ReadInformationFile(r, *informationFile, project);
}

// ---- files -----------------------------------------------------------------------

void ReadFileTable(Reader& r, const toml::table& t, Project* project) {
  r.CheckKeys(t, "[[file]]",
              {"source", "destination", "kind", "finish", "shared", "uninstall", "external", "screen_saver",
               "self_register", "uninstaller", "check_version", "check_language", "keep_times", "menu_folders",
               "menu_shortcut", "menu_arguments", "desktop_shortcut", "desktop_arguments", "icon_index", "exclude"});
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
  const toml::node* excludeNode = t.get("exclude");
  std::vector<std::string> excludes;
  if (excludeNode) {
    if (excludeNode->is_string()) excludes.push_back(excludeNode->as_string()->get());
    else if (const toml::array* list = excludeNode->as_array())
      for (auto&& item : *list) {
        if (item.is_string()) excludes.push_back(item.as_string()->get());
        else r.Fail(item, "'exclude' must list patterns in double quotes");
      }
    else r.Fail(*excludeNode, "'exclude' must be a pattern or a list of patterns");
  }
  if (fixed == segments.size()) {
    fs::path p = absolute ? fs::path(source) : fs::path(project->baseDir) / source;
    std::error_code ec;
    if (!fs::is_regular_file(p, ec)) {
      r.Fail(*t.get("source"), "source file '" + p.string() + "' does not exist or is not a file");
      return;
    }
    if (excludeNode) r.Fail(*excludeNode, "'exclude' works with a pattern in 'source', which this one is not");
    r.CheckNotOutput(*t.get("source"), "source", p.string());
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
  // Excludes are written like the source: relative to the project's folder.
  std::vector<std::vector<std::string>> excludeSegments;
  for (const std::string& e : excludes) excludeSegments.push_back(SplitSlash(e));
  std::vector<bool> excludeUsed(excludes.size(), false);
  std::vector<std::string> kept;
  size_t outputs = 0;
  for (const std::string& rel : matches) {
    std::vector<std::string> written(segments.begin(), segments.begin() + static_cast<long>(fixed));
    for (const std::string& part : SplitSlash(rel)) written.push_back(part);
    bool excluded = false;
    for (size_t i = 0; i < excludeSegments.size(); ++i)
      if (MatchSegments(excludeSegments[i], 0, written, 0)) excluded = excludeUsed[i] = true;
    std::string full = (base / rel).string();
    // An earlier build's output lying among the sources is never packed again.
    if (!excluded && !r.outputPath.empty() && (SameFile(full, r.outputPath) || VolumeNumberOf(full, r.outputPath))) {
      excluded = true;
      ++outputs;
    }
    if (!excluded) kept.push_back(rel);
  }
  for (size_t i = 0; i < excludes.size(); ++i)
    if (!excludeUsed[i]) r.Warn(*excludeNode, "'exclude' pattern '" + excludes[i] + "' leaves out no file");
  if (kept.empty()) {
    std::string why = matches.empty() ? "matches no file"
                      : outputs == matches.size()
                          ? "matches only the setup file this build writes"
                          : "matches " + std::to_string(matches.size()) + " files, all of them excluded";
    r.Fail(*t.get("source"), "the pattern '" + source + "' " + why);
    return;
  }
  if ((f.options & format::kOptionUninstaller) && kept.size() > 1)
    r.Fail(t, "'uninstaller' is set on a pattern that matches " + std::to_string(kept.size()) + " files");
  for (const std::string& rel : kept) {
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

void OrderMessages(const std::string& projectPath, std::vector<std::string>* messages) {
  auto lineOf = [&](const std::string& m) -> uint64_t {
    std::string prefix = projectPath + ":";
    if (m.compare(0, prefix.size(), prefix) != 0) return UINT64_MAX;
    uint64_t line = 0;
    for (size_t i = prefix.size(); i < m.size() && isdigit(static_cast<unsigned char>(m[i])); ++i)
      line = line * 10 + static_cast<uint64_t>(m[i] - '0');
    return line;  // 0: the project file as a whole
  };
  std::vector<std::string> unique;
  std::set<std::string> seen;
  for (const std::string& m : *messages)
    if (seen.insert(m).second) unique.push_back(m);
  std::stable_sort(unique.begin(), unique.end(),
                   [&](const std::string& a, const std::string& b) { return lineOf(a) < lineOf(b); });
  *messages = unique;
}

size_t TextLimit(int group, int entry) {
  return group == 1 && entry >= 1 && entry <= 4 ? kMaxControlTextChars : kMaxTextChars;
}

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

namespace {

// The project's text, or false with the system's reason.
bool ReadProjectText(const std::string& path, std::string* text, std::string* why) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return *why = std::string("cannot open the project file: ") + strerror(errno), false;
  if (S_ISDIR(st.st_mode)) return *why = "is a folder, not a project file", false;
  if (static_cast<uintmax_t>(st.st_size) > kMaxProjectBytes)
    return *why = "is " + std::to_string(st.st_size) + " bytes, too large for a project file", false;
  FILE* in = fopen(path.c_str(), "rb");
  if (!in) return *why = std::string("cannot open the project file: ") + strerror(errno), false;
  text->assign(static_cast<size_t>(st.st_size), '\0');
  size_t got = fread(text->data(), 1, text->size(), in);
  bool failed = ferror(in) != 0;
  int error = errno;
  fclose(in);
  if (failed) return *why = std::string("cannot read the project file: ") + strerror(error), false;
  text->resize(got);
  return true;
}

std::string LineText(const std::string& text, size_t line) {
  std::istringstream lines(text);
  std::string s;
  for (size_t i = 0; i < line && std::getline(lines, s); ++i) {
  }
  return s;
}

void ReadSetupTable(Reader& r, const toml::table& setup, Project* project) {
  std::error_code ec;
  int64_t number;
  if (r.Integer(setup, "codepage", 1, 65535, &number)) {
    r.codepage = static_cast<uint32_t>(number);
    if (!CodePageKnown(r.codepage)) {
      r.codepageKnown = false;
      r.Fail(*setup.get("codepage"), "'codepage' " + std::to_string(number) +
                                         " is not a code page this builder can convert to; give a Windows code page "
                                         "such as 1252 (Western), 1250 (Central European), 1251 (Cyrillic) or 932 "
                                         "(Japanese)");
    }
  } else if (setup.get("codepage")) {
    r.codepageKnown = false;  // reported by Integer
  }
  project->codepage = r.codepage;
  r.CheckKeys(setup, "[setup]",
              {"codepage", "title", "uninstall_name", "uninstaller_name", "folder", "mode", "editable_folder", "start_page",
               "side_bitmap", "background_bitmap", "dialogs", "pacing", "version", "publisher", "display_icon"});
  if (!r.String(setup, "title", &project->title) || project->title.empty()) {
    if (!setup.get("title")) r.Fail(setup, "[setup] needs 'title'");
    else if (project->title.empty() && setup.get("title")->is_string()) r.Fail(*setup.get("title"), "'title' must not be empty");
  }
  project->uninstallName = project->title;
  if (r.String(setup, "uninstall_name", &project->uninstallName))
    project->uninstallNameOrigin = r.Where(*setup.get("uninstall_name"));
  if (r.String(setup, "uninstaller_name", &project->uninstallerName, kMaxPathChars))
    project->uninstallerNameOrigin = r.Where(*setup.get("uninstaller_name"));
  project->defaultFolder = "#Program Files#\\" + project->title;
  r.String(setup, "folder", &project->defaultFolder, kMaxPathChars);
  if (TypicalFolder(project->defaultFolder).size() > kMaxPathChars - 13)
    r.Fail(setup, "'folder' leaves no room for file names within " + std::to_string(kMaxPathChars) + " characters");
  bool background = r.Choice(setup, "mode", {"framed", "background"}, 1) == 1;
  if (background) project->flags |= format::kFlagBackgroundMode;
  if (r.Bool(setup, "editable_folder", true)) project->flags |= format::kFlagEditableFolder;
  if (const toml::node* page = setup.get("start_page")) {
    int index = -1;
    if (page->is_string()) index = PageIndex(page->as_string()->get());
    else if (page->is_integer() && page->as_integer()->get() >= 0 && page->as_integer()->get() <= 6)
      index = static_cast<int>(page->as_integer()->get());
    if (index < 0)
      r.Fail(*page, "'start_page' must be a page 0 to 6 or one of \"welcome\", \"information\", \"destination\", \"ready\", "
                    "\"progress\", \"finish\", \"closing\"");
    else project->startPage = static_cast<uint16_t>(index);
  }
  project->pacingMs = format::kDefaultPacingMs;
  if (const toml::node* pacing = setup.get("pacing")) {
    if (pacing->is_boolean()) project->pacing = pacing->as_boolean()->get();
    else if (r.Integer(setup, "pacing", 0, 60000, &number)) project->pacingMs = static_cast<uint32_t>(number);
    else if (!pacing->is_integer()) r.Fail(*pacing, "'pacing' must be true, false or a number of milliseconds");
  }
  r.String(setup, "version", &project->displayVersion, kMaxPathChars);
  r.String(setup, "publisher", &project->publisher, kMaxPathChars);
  r.String(setup, "display_icon", &project->displayIcon, kMaxPathChars);
  auto sourcePath = [&](const char* key, std::string* out) {
    std::string rel;
    if (!r.String(setup, key, &rel, 4096, true)) return;
    fs::path p = fs::path(project->baseDir) / rel;
    if (!fs::is_regular_file(p, ec)) {
      r.Fail(*setup.get(key), std::string("'") + key + "' file '" + p.string() + "' does not exist");
      return;
    }
    r.CheckNotOutput(*setup.get(key), key, p.string());
    *out = p.string();
  };
  sourcePath("side_bitmap", &project->sideBitmap);
  sourcePath("background_bitmap", &project->backgroundBitmap);
  sourcePath("dialogs", &project->dialogs);
  if (!project->dialogs.empty()) {
    project->dialogsOrigin = r.Where(*setup.get("dialogs"));
    std::string ext = Lower(fs::path(project->dialogs).extension().string());
    if (ext != ".rc" && ext != ".res") r.Fail(*setup.get("dialogs"), "'dialogs' must name an .rc script or a compiled .res file");
  }
  if (background) {
    project->backgroundTitle = project->title;
    project->hasTitleStyle = true;
  }
}


// A project's own uninstaller (a [[file]] with 'uninstaller = true') obeys
// the rules of the one quorin adds: the setup appends the uninstall data at
// the entry's own size, and the uninstaller finds the destination folder as
// the folder it lies in.
void CheckOwnUninstaller(Reader& r, const Project* project) {
  for (const ProjectFile& f : project->files) {
    if (!(f.options & format::kOptionUninstaller)) continue;
    auto fail = [&](const std::string& problem) { r.errors->push_back(f.origin + ": 'uninstaller' " + problem); };
    if (f.entryKind == format::kEntryExternal)
      fail("cannot be external: the setup writes the uninstall data into the installed file");
    else if (f.destinationKind != format::kDestFolder)
      fail("needs kind = \"folder\": the uninstaller lies directly in the destination folder");
    else if (f.destination.find('\\') != std::string::npos)
      fail("needs a destination directly in the destination folder, without a subfolder ('" + f.destination +
           "'): the uninstaller takes the folder it lies in for the destination folder");
    if (f.options & (format::kOptionCheckVersion | format::kOptionCheckLanguage))
      fail("cannot have 'check_version' or 'check_language': an uninstaller left as it was would get the uninstall "
           "data at the wrong place");
  }
}

// The uninstaller quorin carries, added as the last file when the project
// asks for an uninstall entry and brings no uninstaller of its own.
void AddUninstaller(Reader& r, Project* project) {
  const ProjectFile* own = nullptr;
  for (const ProjectFile& f : project->files)
    if (f.options & format::kOptionUninstaller) own = &f;
  const std::string& nameAt = project->uninstallerNameOrigin;
  bool entryWanted = !project->uninstallNameOrigin.empty() && !project->uninstallName.empty();
  if (own && !nameAt.empty()) {
    r.errors->push_back(nameAt + ": 'uninstaller_name' names the uninstaller quorin adds, but the [[file]] at " +
                        own->origin + " is the uninstaller already; keep one of them");
    return;
  }
  if (own) return;
  if (!entryWanted) {
    if (!nameAt.empty() && !project->uninstallerName.empty())
      r.warnings->push_back(nameAt + ": warning: 'uninstaller_name' has no effect without 'uninstall_name'");
    return;
  }
  if (project->uninstallerName.empty()) {
    r.warnings->push_back(project->uninstallNameOrigin +
                          ": warning: 'uninstall_name' is set, but 'uninstaller_name' is empty and no [[file]] has "
                          "'uninstaller = true'; without an uninstaller the setup writes no uninstall entry");
    return;
  }
  std::string name = ToBackslashes(project->uninstallerName);
  if (name.find('\\') != std::string::npos) {
    r.errors->push_back(nameAt + ": 'uninstaller_name' '" + name +
                        "' must be a plain file name: the uninstaller lies directly in the destination folder");
    return;
  }
  if (name.size() < 5 || Lower(name.substr(name.size() - 4)) != ".exe") {
    r.errors->push_back(nameAt + ": 'uninstaller_name' '" + name +
                        "' must end in .exe: the uninstall entry starts it as a program");
    return;
  }
  ProjectFile f;
  f.builtIn = true;
  f.destination = name;
  f.origin = nameAt.empty() ? project->uninstallNameOrigin : nameAt;
  f.entryKind = format::kEntryInstalled;  // it removes itself, last
  f.options = format::kOptionUninstaller;
  project->files.push_back(f);
}
}  // namespace

bool LoadProject(const std::string& path, Project* project, std::vector<std::string>* errors,
                 const std::string& outputPath) {
  size_t before = errors->size();
  *project = Project{};
  Reader r{path, errors, &project->warnings, 1252, true, outputPath};
  project->path = path;
  project->outputPath = outputPath;
  std::error_code ec;
  fs::path absolute = fs::absolute(path, ec);
  project->baseDir = absolute.parent_path().string();
  std::string content, why;
  if (!ReadProjectText(path, &content, &why)) {
    r.Fail(why);
    return false;
  }
  if (!outputPath.empty() && SameFile(path, outputPath)) {
    r.Fail("the setup file to write (-o) is the project file itself; give the output another name");
    return false;
  }
  std::string text, refused;
  if (!PrepareTomlText(path, content, &text, &refused)) return errors->push_back(refused), false;
  toml::parse_result parsed = toml::parse(text, path);
  if (!parsed) {
    const toml::parse_error& e = parsed.error();
    size_t line = e.source().begin.line;
    errors->push_back(path + ":" + std::to_string(line) + ": " +
                      ExplainTomlError(std::string(e.description()), LineText(content, line),
                                       static_cast<int>(e.source().begin.column)));
    return false;
  }
  const toml::table& root = parsed.table();
  r.CheckKeys(root, "the project file", {"setup", "background_title", "remember", "texts", "file"});

  const toml::table* setup = root["setup"].as_table();
  if (!setup) {
    r.Fail("the project needs a [setup] table with at least 'title'");
    return false;
  }
  project->parsed = true;
  ReadSetupTable(r, *setup, project);
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
  if (project->files.empty() && !root.get("file"))
    project->warnings.push_back(path + ": warning: the project installs no files; add [[file]] tables");
  CheckOwnUninstaller(r, project);
  AddUninstaller(r, project);
  CheckDestinations(*project, errors);
  CheckProjectTexts(*project, errors);
  return errors->size() == before;
}
