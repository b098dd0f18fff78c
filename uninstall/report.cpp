#include "report.h"

#include <windows.h>

#include <string.h>

#include "common/safe_format.h"
#include "uninstall_state.h"

namespace {

const char kMoreLeftOut[] = "- and more\n";

}  // namespace

void NoteProblem(const char* what, const char* why) {
  char* list = g_uninstall.problems;
  const uint32_t capacity = sizeof g_uninstall.problems;
  if (g_uninstall.problemListFull) return;
  char line[640];
  CopyBounded(line, sizeof line, "- ");
  AppendBounded(line, sizeof line, what);
  if (why) {
    AppendBounded(line, sizeof line, ": ");
    AppendBounded(line, sizeof line, why);
  }
  AppendBounded(line, sizeof line, "\n");
  if (strlen(list) + strlen(line) + sizeof kMoreLeftOut > capacity) {
    AppendBounded(list, capacity, kMoreLeftOut);
    g_uninstall.problemListFull = true;
    return;
  }
  AppendBounded(list, capacity, line);
}

bool HasProblems() { return g_uninstall.problems[0] != 0; }

const char* ProblemList() { return g_uninstall.problems; }

// wsprintfA writes at most 1,024 characters; each buffer it fills here holds
// at least its format and its argument.
int ShowUninstallMessage(const char* text, unsigned type) {
  char title[format::kPathBufferSize + 16];
  wsprintfA(title, "%s Uninstall", g_uninstall.productName);
  return MessageBoxA(nullptr, text, title, type | MB_SETFOREGROUND);
}

int ShowAboutProduct(const char* format, const char* more, unsigned type) {
  // Room for the list of problems as well as the text itself.
  char text[sizeof g_uninstall.problems + 1024];
  wsprintfA(text, format, g_uninstall.productName);
  if (more) AppendBounded(text, sizeof text, more);
  return ShowUninstallMessage(text, type);
}
