#include "startup/command_line.h"

#include "common/setup_state.h"
#include "package/format.h"

static char FoldUpper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
static bool IsSwitchStart(char c) { return c == '-' || c == '/'; }

static const char* SkipSpaces(const char* p) {
  while (*p == ' ') ++p;
  return p;
}

const char* ParseArgument(const char* p, char* destination, size_t size) {
  destination[0] = '\0';
  p = SkipSpaces(p);
  char end = ' ';
  if (*p == '"') {
    end = '"';
    ++p;
  }
  size_t stored = 0;
  for (; *p && *p != end; ++p) {
    if (stored + 1 < size) destination[stored++] = *p;
  }
  destination[stored] = '\0';
  if (end == '"' && *p == '"') ++p;
  return p;
}

void ParseCommandLine(const char* tail) {
  if (!tail) return;
  const char* p = SkipSpaces(tail);
  while (IsSwitchStart(*p)) {
    char letter = FoldUpper(p[1]);
    if (!letter) break;  // a lone '-' or '/' at the end
    p += 2;
    if (letter == 'D') {
      if (FoldUpper(p[0]) == 'E' && FoldUpper(p[1]) == 'L') g_setup.selfDeleteSwitch = true;
    } else if (letter == 'R') {
      if (*p == '\0' || *p == ' ') g_setup.noVerifySwitch = true;
    } else if (letter == 'S') {
      g_setup.sourceSwitch = true;
      p = ParseArgument(p, g_setup.sourcePath, format::kPathBufferSize);
    } else if (letter == 'Q') {
      if (*p == '\0' || *p == ' ') g_setup.quietSwitch = true;
    } else if (letter == 'T' || letter == 'L') {
      char* path = letter == 'T' ? g_setup.targetFolder : g_setup.logPath;
      const char* start = SkipSpaces(p);
      p = ParseArgument(p, path, format::kPathBufferSize);
      // A cut path would name another folder or file: it is not used.
      size_t length = static_cast<size_t>(p - start);
      if (*start == '"') length -= (p[-1] == '"') ? 2 : 1;
      if (length >= format::kPathBufferSize) {
        path[0] = '\0';
        g_setup.switchTooLong = true;
      }
    }
    while (*p && *p != ' ' && !IsSwitchStart(*p)) ++p;
    p = SkipSpaces(p);
  }
}
