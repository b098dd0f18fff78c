#include "toml_guard.h"

#include <fstream>
#include <sstream>

namespace {

// Where the first non-ASCII byte outside strings and comments lies, or npos.
// Strings follow TOML: "basic" with backslash escapes, 'literal' without,
// and the multi-line forms whose closing delimiter may carry up to two more
// quotes of content.
size_t FindBareNonAscii(const std::string& t) {
  size_t i = t.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a byte-order mark may open the file
  size_t n = t.size();
  auto starts = [&](size_t at, const char* s) { return t.compare(at, 3, s) == 0; };
  while (i < n) {
    char c = t[i];
    if (static_cast<unsigned char>(c) >= 0x80) return i;
    if (c == '#') {
      while (i < n && t[i] != '\n') ++i;
    } else if (c == '"' || c == '\'') {
      bool escapes = c == '"';
      const char* triple = escapes ? "\"\"\"" : "'''";
      if (starts(i, triple)) {
        i += 3;
        while (i < n && !starts(i, triple)) i += escapes && t[i] == '\\' ? 2 : 1;
        i += 3;
        for (int extra = 0; extra < 2 && i < n && t[i] == c; ++extra) ++i;
      } else {
        ++i;
        while (i < n && t[i] != c && t[i] != '\n') i += escapes && t[i] == '\\' ? 2 : 1;
        ++i;
      }
    } else {
      ++i;
    }
  }
  return std::string::npos;
}

}  // namespace

bool CheckTomlCharacters(const std::string& path, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return true;
  std::ostringstream text;
  text << in.rdbuf();
  std::string t = text.str();
  size_t at = FindBareNonAscii(t);
  if (at == std::string::npos) return true;
  size_t line = 1, column = 1;
  for (size_t i = 0; i < at; ++i) {
    if (t[i] == '\n') line++, column = 1;
    else if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80) ++column;
  }
  *error = path + ":" + std::to_string(line) + ":" + std::to_string(column) +
           ": a character that is not ASCII stands outside quotes; names and texts are written in double quotes";
  return false;
}
