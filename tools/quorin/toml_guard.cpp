#include "toml_guard.h"

#include <stdint.h>
#include <stdio.h>

namespace {

// The code point of the UTF-8 sequence at t[i], and its length; a byte that
// starts no valid sequence counts as one character of its own.
uint32_t DecodeAt(const std::string& t, size_t i, size_t* length) {
  unsigned char c = static_cast<unsigned char>(t[i]);
  size_t n = c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
  if (n == 1 || i + n > t.size()) return *length = 1, c;
  uint32_t cp = c & (0x7F >> n);
  for (size_t k = 1; k < n; ++k) cp = (cp << 6) | (static_cast<unsigned char>(t[i + k]) & 0x3F);
  *length = n;
  return cp;
}

// Unicode horizontal whitespace as the library means it, not counting ASCII.
bool NonAsciiSpace(uint32_t c) {
  return c == 0xA0 || c == 0x1680 || c == 0x180E || (c >= 0x2000 && c <= 0x200B) || c == 0x202F ||
         (c >= 0x205F && c <= 0x2060) || c == 0x3000 || c == 0xFEFF;
}

struct Scan {
  const std::string& t;
  std::string out;
  size_t at = 0;        // next byte of t not yet copied to out
  size_t bad = std::string::npos;
  const char* why = "";
};

bool Fail(Scan* s, size_t i, const char* why) {
  s->bad = i;
  s->why = why;
  return false;
}

// Behind a line-ending backslash the library skips whitespace and line
// breaks and tests the first other character; a non-ASCII one is passed on
// as its escape.
void EscapeAfterLineEnding(Scan* s, size_t i) {
  const std::string& t = s->t;
  while (i < t.size()) {
    size_t n;
    uint32_t c = DecodeAt(t, i, &n);
    if (c == ' ' || c == '\t' || c == '\r' || c == '\n' || NonAsciiSpace(c)) {
      i += n;
      continue;
    }
    if (c >= 0x80) {
      char escape[16];
      snprintf(escape, sizeof escape, c > 0xFFFF ? "\\U%08X" : "\\u%04X", c);
      s->out.append(t, s->at, i - s->at);
      s->out += escape;
      s->at = i + n;
    }
    return;
  }
}

bool ScanText(Scan* s) {
  const std::string& t = s->t;
  size_t n = t.size();
  size_t i = t.compare(0, 3, "\xEF\xBB\xBF") == 0 ? 3 : 0;  // a byte-order mark may open the file
  auto starts = [&](size_t at, const char* delimiter) { return t.compare(at, 3, delimiter) == 0; };
  while (i < n) {
    char c = t[i];
    if (static_cast<unsigned char>(c) >= 0x80)
      return Fail(s, i, "a character that is not ASCII stands outside quotes; names and texts are written in double quotes");
    if (c == '#') {
      while (i < n && t[i] != '\n') ++i;
    } else if (starts(i, "\"\"\"")) {
      for (i += 3; i < n && !starts(i, "\"\"\"");) {
        if (t[i] != '\\') {
          ++i;
          continue;
        }
        if (i + 1 < n && static_cast<unsigned char>(t[i + 1]) >= 0x80)
          return Fail(s, i + 1, "a character that is not ASCII follows a backslash; write a backslash as \\\\");
        if (i + 1 < n && (t[i + 1] == ' ' || t[i + 1] == '\t' || t[i + 1] == '\r' || t[i + 1] == '\n'))
          EscapeAfterLineEnding(s, i + 1);
        i += 2;
      }
      i += 3;
      for (int extra = 0; extra < 2 && i < n && t[i] == '"'; ++extra) ++i;  // quotes just before the end are content
    } else if (starts(i, "'''")) {
      for (i += 3; i < n && !starts(i, "'''");) ++i;
      i += 3;
      for (int extra = 0; extra < 2 && i < n && t[i] == '\''; ++extra) ++i;
    } else if (c == '"' || c == '\'') {
      for (++i; i < n && t[i] != c && t[i] != '\n';) i += c == '"' && t[i] == '\\' ? 2 : 1;
      ++i;
    } else {
      ++i;
    }
  }
  s->out.append(t, s->at < n ? s->at : n, std::string::npos);
  return true;
}

}  // namespace

bool PrepareTomlText(const std::string& path, const std::string& t, std::string* text, std::string* error) {
  text->clear();
  Scan s{t, {}};
  if (ScanText(&s)) {
    *text = std::move(s.out);
    return true;
  }
  size_t line = 1, column = 1;
  for (size_t i = 0; i < s.bad; ++i) {
    if (t[i] == '\n') line++, column = 1;
    else if ((static_cast<unsigned char>(t[i]) & 0xC0) != 0x80) ++column;
  }
  *error = path + ":" + std::to_string(line) + ":" + std::to_string(column) + ": " + s.why;
  return false;
}
