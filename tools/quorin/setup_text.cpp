#include "setup_text.h"

#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <time.h>

#include "package/format.h"

namespace {

// One converter, kept for the code page last asked for: a listing converts
// every text of one setup in the same code page.
iconv_t Converter(uint32_t codepage) {
  static iconv_t cd = reinterpret_cast<iconv_t>(-1);
  static uint32_t open = 0;
  if (open != codepage) {
    if (cd != reinterpret_cast<iconv_t>(-1)) iconv_close(cd);
    // Windows numbers its UTF-8 code page 65001; iconv knows it by name.
    std::string name = codepage == 65001 ? "UTF-8" : "CP" + std::to_string(codepage);
    cd = iconv_open("UTF-8", name.c_str());
    open = codepage;
  }
  return cd;
}

}  // namespace

bool CodePageKnown(uint32_t codepage) { return Converter(codepage) != reinterpret_cast<iconv_t>(-1); }

std::string FromAnsi(const std::string& text, uint32_t codepage, Undefined style) {
  bool ascii = true;
  for (unsigned char c : text) ascii = ascii && c < 0x80;
  if (ascii) return text;
  iconv_t cd = Converter(codepage);
  bool known = cd != reinterpret_cast<iconv_t>(-1);
  std::string out;
  char converted[256];
  char* from = const_cast<char*>(text.data());
  size_t inLeft = text.size();
  while (inLeft > 0) {
    char* to = converted;
    size_t toLeft = sizeof converted;
    if (!known && static_cast<unsigned char>(*from) < 0x80) {
      out += *from++;
      --inLeft;
      continue;
    }
    size_t result = known ? iconv(cd, &from, &inLeft, &to, &toLeft) : static_cast<size_t>(-1);
    out.append(converted, sizeof converted - toLeft);
    if (result != static_cast<size_t>(-1) || (known && errno == E2BIG)) continue;
    // An undefined byte, or a lead byte without its trail byte: show it, go on.
    char escaped[8];
    snprintf(escaped, sizeof escaped, style == Undefined::kPercentHex ? "%%%02X" : "\\x%02X",
             static_cast<unsigned char>(*from));
    out += escaped;
    ++from;
    --inLeft;
    if (known) iconv(cd, nullptr, nullptr, nullptr, nullptr);
  }
  return out;
}

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
