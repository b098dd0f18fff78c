#include "setup_text.h"

#include <stdio.h>
#include <time.h>

#include "package/format.h"

std::string Hex(uint32_t v, int digits) {
  char buffer[16];
  snprintf(buffer, sizeof buffer, "0x%0*X", digits, v);
  return buffer;
}

std::string TextOf(const Bytes& body) {
  size_t n = 0;
  while (n < body.size() && body[n]) ++n;
  return std::string(reinterpret_cast<const char*>(body.data()), n);
}

std::string ColourText(uint32_t colorref) {
  char buffer[16];
  snprintf(buffer, sizeof buffer, "#%02X%02X%02X", colorref & 0xFF, (colorref >> 8) & 0xFF, (colorref >> 16) & 0xFF);
  return buffer;
}

std::string Quoted(const std::string& ansi, uint32_t codepage) {
  std::string text = FromAnsi(ansi, codepage);
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

const char* RootName(uint32_t root) {
  static const char* roots[] = {"HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER", "HKEY_LOCAL_MACHINE", "HKEY_USERS"};
  return root < 4 ? roots[root] : "HKEY_CURRENT_USER (unknown value)";
}

std::string FlagsText(uint32_t flags) {
  std::string s = flags & format::kFlagBackgroundMode ? "background mode" : "framed mode";
  s += flags & format::kFlagEditableFolder ? ", editable folder" : ", fixed folder";
  if (flags & format::kFlagRememberInRegistry) s += ", writes the folder to the registry";
  if (flags & format::kFlagRememberInIni) s += ", writes the folder to the INI file";
  return s;
}

std::string OptionsText(uint8_t options) {
  std::string s;
  if (options & format::kOptionUninstaller) s += " uninstaller";
  if (options & format::kOptionCheckVersion) s += " check-version";
  if (options & format::kOptionCheckLanguage) s += " check-language";
  if (options & format::kOptionFileTimes) s += " keep-times";
  return s;
}

std::string UninstallValueFlagsText(uint32_t flags) {
  std::string s;
  if (flags & format::kValueInstallLocation) s += " InstallLocation";
  if (flags & format::kValueEstimatedSize) s += " EstimatedSize";
  if (flags & format::kValueNoModify) s += " NoModify";
  if (flags & format::kValueNoRepair) s += " NoRepair";
  return s.empty() ? "none" : s.substr(1);
}

std::string FileTimeText(uint64_t filetime) {
  constexpr uint64_t kEpochDifference = 116444736000000000ull;
  if (filetime < kEpochDifference) return "before 1970 (" + std::to_string(filetime) + ")";
  time_t seconds = static_cast<time_t>((filetime - kEpochDifference) / 10000000ull);
  struct tm t;
  if (!gmtime_r(&seconds, &t)) return std::to_string(filetime);
  char buffer[48];
  strftime(buffer, sizeof buffer, "%Y-%m-%d %H:%M:%S UTC", &t);
  return buffer;
}

std::string DestinationText(const EntryView& e, uint32_t codepage) {
  std::string name = FromAnsi(e.strings[0], codepage);
  switch (e.destinationKind) {
    case format::kDestWindows: return "#Windows#\\" + name;
    case format::kDestSharedSystem: {
      // The setup program keeps only the last component for shared system files.
      size_t slash = name.rfind('\\');
      return "#System#\\" + (slash == std::string::npos ? name : name.substr(slash + 1));
    }
    case format::kDestFonts: return "#Fonts#\\" + name;
    default: return name;
  }
}

std::string DestinationFolder(const std::string& destination) {
  size_t slash = destination.rfind('\\');
  return slash == std::string::npos ? "" : destination.substr(0, slash + 1);
}
