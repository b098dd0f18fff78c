#include "startup/install_log.h"

#include <windows.h>

#include <string.h>

#include "common/file_io.h"
#include "common/setup_state.h"
#include "install/install_state.h"
#include "package/format.h"

namespace {

FileHandle g_log = INVALID_FILE;

void Write(const char* text) {
  if (g_log != INVALID_FILE) WriteExact(g_log, text, static_cast<uint32_t>(strlen(text)));
}

// Digits of a number, at least `width` of them.
void WriteNumber(uint32_t value, int width) {
  char digits[12];
  int n = 0;
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value || n < width);
  char text[12];
  for (int i = 0; i < n; ++i) text[i] = digits[n - 1 - i];
  text[n] = 0;
  Write(text);
}

void LogEntry(const uint8_t*, const char* path, EntryOutcome outcome) {
  static const char* const kOutcomes[] = {"installed", "identical, left as it was", "kept the newer file",
                                          "waits for the next restart", "lies beside the setup file",
                                          "stopped the installation"};
  Write(kOutcomes[outcome]);
  Write(" (");
  uint32_t count = g_setup.package.fileCount;
  WriteNumber(count ? (g_install.index + 1) * 100u / count : 100, 1);
  Write("%): ");
  Write(path);
  Write("\r\n");
}

void LogMessage(const char* text, int answer) {
  if (!answer) {
    LogLine("message", text);
    return;
  }
  LogLine("question", text);
  LogLine("answered", answer == IDYES ? "yes" : answer == IDOK ? "OK" : answer == IDCANCEL ? "cancel" : "no");
}

}  // namespace

void LogLine(const char* what, const char* detail) {
  Write(what);
  Write(": ");
  // Line breaks of a message stay on one line of the log.
  for (const char* p = detail; *p; ++p) {
    char c[2] = {*p == '\r' || *p == '\n' ? ' ' : *p, 0};
    Write(c);
  }
  Write("\r\n");
}

void OpenInstallLog() {
  if (!g_setup.logPath[0]) return;
  g_log = CreateFileA(g_setup.logPath, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                      nullptr);
  if (g_log == INVALID_HANDLE_VALUE) {
    g_log = INVALID_FILE;
    return;
  }
  SeekFromEnd(g_log, 0);
  SYSTEMTIME now;
  GetLocalTime(&now);
  Write("== ");
  WriteNumber(now.wYear, 4), Write("-"), WriteNumber(now.wMonth, 2), Write("-"), WriteNumber(now.wDay, 2);
  Write(" "), WriteNumber(now.wHour, 2), Write(":"), WriteNumber(now.wMinute, 2), Write(":"), WriteNumber(now.wSecond, 2);
  Write(g_setup.quietSwitch ? " unattended setup\r\n" : " setup\r\n");
  LogLine("package", g_setup.sourcePath);
  g_install.hooks.entryDone = LogEntry;
  g_install.hooks.note = LogLine;
  g_setup.logMessage = LogMessage;
}

void CloseInstallLog(const char* result, int exitCode) {
  if (g_log == INVALID_FILE) return;
  Write("result: ");
  Write(result);
  Write(" (exit code ");
  if (exitCode < 0) Write("-");
  WriteNumber(static_cast<uint32_t>(exitCode < 0 ? -exitCode : exitCode), 1);
  Write(")\r\n");
  CloseFile(g_log);
  g_log = INVALID_FILE;
  g_setup.logMessage = nullptr;
}
