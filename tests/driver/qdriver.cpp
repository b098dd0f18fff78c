// qdriver: drives a Windows program's windows from a script and logs what it
// saw, so that shell tests running under Wine can assert on the log. See
// README.md beside this file for the commands.
#include <windows.h>

#include <ctype.h>
#include <fcntl.h>
#include <io.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "script.h"
#include "window_query.h"

namespace {

const DWORD kPollMs = 50;

struct DriverState {
  double defaultTimeout = 10.0;
  HWND current = nullptr;  // set by `window`
  HWND box = nullptr;      // set by `msgbox`
  PROCESS_INFORMATION process = {};
  bool started = false;
  FILE* log = nullptr;
  std::string failure;
};

DriverState g_driver;

// Between two code pages through UTF-16; a text that is not valid in the
// source code page is passed on unchanged.
std::string Recode(const std::string& text, UINT from, UINT to) {
  if (text.empty()) return text;
  int wideLength = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                       nullptr, 0);
  if (wideLength <= 0) return text;
  std::wstring wide(wideLength, L'\0');
  MultiByteToWideChar(from, 0, text.data(), static_cast<int>(text.size()), &wide[0], wideLength);
  int length = WideCharToMultiByte(to, 0, wide.data(), wideLength, nullptr, 0, nullptr, nullptr);
  if (length <= 0) return text;
  std::string out(length, '\0');
  WideCharToMultiByte(to, 0, wide.data(), wideLength, &out[0], length, nullptr, nullptr);
  return out;
}

// Window texts and arguments are in the ANSI code page, as the programs under
// test see them; the log is UTF-8, as the shell that reads it.
void Say(const char* format, ...) {
  char buffer[4096];
  va_list args;
  va_start(args, format);
  vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  const std::string line = Recode(buffer, CP_ACP, CP_UTF8);
  fputs(line.c_str(), stdout);
  fputc('\n', stdout);
  fflush(stdout);
  if (g_driver.log) {
    fputs(line.c_str(), g_driver.log);
    fputc('\n', g_driver.log);
    fflush(g_driver.log);
  }
}

// Records why the command failed; always returns false so callers can `return Fail(...)`.
bool Fail(const std::string& reason) {
  g_driver.failure = reason;
  return false;
}

std::string Quoted(const std::string& text) { return "\"" + Printable(text) + "\""; }

std::string Handle(HWND window) {
  char text[32];
  snprintf(text, sizeof(text), "%p", static_cast<void*>(window));
  return text;
}

bool ParseNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = strtod(text.c_str(), &end);
  return end && *end == '\0';
}

bool ParseInt(const std::string& text, long* value) {
  if (text.empty()) return false;
  char* end = nullptr;
  *value = strtol(text.c_str(), &end, 0);
  return end && *end == '\0';
}

struct NamedId {
  const char* name;
  int id;
};
const NamedId kButtonNames[] = {
    {"IDOK", IDOK},         {"IDCANCEL", IDCANCEL}, {"IDABORT", IDABORT},      {"IDRETRY", IDRETRY},
    {"IDIGNORE", IDIGNORE}, {"IDYES", IDYES},       {"IDNO", IDNO},            {"IDCLOSE", 8},
    {"IDHELP", 9},          {"IDTRYAGAIN", 10},     {"IDCONTINUE", 11},
};

bool ParseControlId(const std::string& text, int* id) {
  for (const NamedId& named : kButtonNames) {
    if (_stricmp(text.c_str(), named.name) == 0) {
      *id = named.id;
      return true;
    }
  }
  long value = 0;
  if (!ParseInt(text, &value) || value < -1 || value > 0xFFFF) return false;
  *id = static_cast<int>(value & 0xFFFF);
  return true;
}

std::string ButtonName(int id) {
  for (const NamedId& named : kButtonNames) {
    if (named.id == id) return named.name;
  }
  return std::to_string(id);
}

double TimeoutOf(const Command& command) {
  auto it = command.options.find("timeout");
  double seconds = g_driver.defaultTimeout;
  if (it != command.options.end()) ParseNumber(it->second, &seconds);
  return seconds;
}

std::string Option(const Command& command, const char* key) {
  auto it = command.options.find(key);
  return it == command.options.end() ? std::string() : it->second;
}

bool HasOption(const Command& command, const char* key) { return command.options.count(key) != 0; }

// The started program's state, for the messages of waits that ran out.
std::string ProcessNote() {
  if (!g_driver.started) return "";
  DWORD code = 0;
  if (GetExitCodeProcess(g_driver.process.hProcess, &code) && code != STILL_ACTIVE) {
    return " (the started program has exited with " + std::to_string(static_cast<int>(code)) + ")";
  }
  return " (the started program is still running)";
}

// A program that exits with a failure code while the driver waits for its
// windows will never show them: stop at once instead of waiting out the time.
// A zero exit is waited out, because a program may hand over to another
// process (a relaunched copy) and end normally.
bool StartedProgramFailed(std::string* why) {
  if (!g_driver.started) return false;
  DWORD code = 0;
  if (!GetExitCodeProcess(g_driver.process.hProcess, &code) || code == STILL_ACTIVE || code == 0) {
    return false;
  }
  *why = "the started program exited with " + std::to_string(static_cast<int>(code)) + " meanwhile";
  return true;
}

// Polls until ready() holds or the time is out; false on timeout or when the
// started program failed meanwhile.
bool WaitUntil(double seconds, const std::function<bool()>& ready, std::string* why) {
  DWORD start = GetTickCount();
  DWORD limit = static_cast<DWORD>(seconds * 1000.0);
  for (;;) {
    if (ready()) return true;
    if (StartedProgramFailed(why)) return false;
    if (GetTickCount() - start >= limit) {
      char text[64];
      snprintf(text, sizeof(text), "not within %g s", seconds);
      *why = text + ProcessNote();
      return false;
    }
    Sleep(kPollMs);
  }
}

bool NeedCurrentWindow() {
  if (!g_driver.current) return Fail("no window chosen yet: use `window` first");
  if (!IsWindow(g_driver.current)) return Fail("the window chosen by `window` is gone");
  return true;
}

// The control a command names: a number or button name as its first word, or
// text=<caption>. Waits until it exists, preferring a visible one.
bool FindControl(const Command& command, size_t argIndex, HWND* control, std::string* label) {
  if (!NeedCurrentWindow()) return false;
  std::string byText = Option(command, "text");
  int id = 0;
  if (byText.empty()) {
    if (command.args.size() <= argIndex || !ParseControlId(command.args[argIndex], &id)) {
      return Fail("a control id (number or IDOK, IDYES, ...) or text=<caption> is needed");
    }
    *label = std::to_string(id);
  } else {
    *label = "text=" + Quoted(byText);
  }
  HWND root = g_driver.current;
  std::string why;
  bool found = WaitUntil(TimeoutOf(command), [&]() {
    std::vector<HWND> hits = byText.empty() ? FindControlsById(root, id) : FindControlsByText(root, byText);
    if (hits.empty()) return false;
    *control = hits[0];
    return true;
  }, &why);
  if (!found) return Fail("control " + *label + " not found in " + Handle(root) + ": " + why);
  return true;
}

bool RunStart(const Command& command) {
  if (command.args.empty()) return Fail("start needs a program");
  std::string line;
  for (const std::string& arg : command.args) {
    if (!line.empty()) line += ' ';
    if (arg.empty() || arg.find_first_of(" \t\"") != std::string::npos) {
      line += '"';
      for (char c : arg) line += (c == '"') ? std::string("\\\"") : std::string(1, c);
      line += '"';
    } else {
      line += arg;
    }
  }
  if (g_driver.started) {
    CloseHandle(g_driver.process.hProcess);
    CloseHandle(g_driver.process.hThread);
    g_driver.started = false;
  }
  std::string folder = Option(command, "dir");
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  std::vector<char> mutableLine(line.begin(), line.end());
  mutableLine.push_back('\0');
  if (!CreateProcessA(nullptr, mutableLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &g_driver.process)) {
    return Fail("CreateProcess failed with error " + std::to_string(GetLastError()) + " for " + line);
  }
  g_driver.started = true;
  Say("start pid=%lu %s", static_cast<unsigned long>(g_driver.process.dwProcessId), line.c_str());
  return true;
}

bool RunWindow(const Command& command) {
  WindowFilter filter;
  filter.className = Option(command, "class");
  filter.title = Option(command, "title");
  for (const std::string& arg : command.args) {
    if (arg == "hidden") filter.hiddenToo = true;
    else return Fail("window takes class=, title=, timeout= and the word hidden, not " + Quoted(arg));
  }
  if (filter.className.empty() && filter.title.empty()) return Fail("window needs class= and/or title=");
  HWND found = nullptr;
  std::string why;
  if (!WaitUntil(TimeoutOf(command), [&]() {
        std::vector<HWND> hits = FindTopLevel(filter);
        if (hits.empty()) return false;
        found = hits[0];
        return true;
      }, &why)) {
    return Fail("no such window: " + why);
  }
  g_driver.current = found;
  std::string title;
  ReadWindowText(found, &title);
  Say("window %s class=%s title=%s", Handle(found).c_str(), ClassOf(found).c_str(), Quoted(title).c_str());
  return true;
}

bool PressInBox(HWND box, const std::string& name, double seconds) {
  int id = 0;
  if (!ParseControlId(name, &id)) return Fail("not a button: " + name);
  HWND button = GetDlgItem(box, id);
  if (!button) {
    std::string present;
    for (const NamedId& named : kButtonNames) {
      if (GetDlgItem(box, named.id)) present += std::string(present.empty() ? "" : " ") + named.name;
    }
    return Fail("the message box has no " + ButtonName(id) + " button (it has: " + present + ")");
  }
  // Posted, as a click would arrive: the box's own loop ends the dialog with this id.
  PostMessageA(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(button));
  std::string why;
  if (!WaitUntil(seconds, [&]() { return !IsWindow(box) || !IsWindowVisible(box); }, &why)) {
    return Fail("the message box stayed open after " + ButtonName(id) + ": " + why);
  }
  Say("answer %s", ButtonName(id).c_str());
  g_driver.box = nullptr;
  return true;
}

bool RunMsgbox(const Command& command) {
  std::string title = Option(command, "title");
  HWND box = nullptr;
  std::string why;
  if (!WaitUntil(TimeoutOf(command), [&]() {
        std::vector<HWND> hits = FindMessageBoxes(title);
        if (hits.empty()) return false;
        box = hits[0];
        return true;
      }, &why)) {
    return Fail("no message box: " + why);
  }
  g_driver.box = box;
  std::string caption;
  ReadWindowText(box, &caption);
  std::string buttons;
  for (const NamedId& named : kButtonNames) {
    if (GetDlgItem(box, named.id)) buttons += std::string(buttons.empty() ? "" : " ") + named.name;
  }
  HWND owner = GetWindow(box, GW_OWNER);
  Say("msgbox caption=%s", Quoted(caption).c_str());
  Say("msgbox text=%s", Quoted(MessageBoxText(box)).c_str());
  Say("msgbox buttons=%s owner=%s", buttons.c_str(), owner ? ClassOf(owner).c_str() : "none");
  if (!command.args.empty()) return PressInBox(box, command.args[0], TimeoutOf(command));
  return true;
}

bool RunAnswer(const Command& command) {
  if (command.args.empty()) return Fail("answer needs a button (IDOK, IDYES, IDNO, IDCANCEL, ...)");
  if (!g_driver.box || !IsWindow(g_driver.box)) return Fail("no open message box: use `msgbox` first");
  return PressInBox(g_driver.box, command.args[0], TimeoutOf(command));
}

bool RunText(const Command& command) {
  if (!command.args.empty() && command.args[0] == "title") {
    if (!NeedCurrentWindow()) return false;
    std::string title;
    if (!ReadWindowText(g_driver.current, &title)) return Fail("the window does not answer");
    Say("text title %s", Quoted(title).c_str());
    return true;
  }
  HWND control = nullptr;
  std::string label;
  if (!FindControl(command, 0, &control, &label)) return false;
  std::string text;
  if (!ReadWindowText(control, &text)) return Fail("control " + label + " does not answer");
  Say("text %s %s", label.c_str(), Quoted(text).c_str());
  return true;
}

bool RunExpect(const Command& command) {
  const bool contains = HasOption(command, "contains");
  const std::string wanted = contains ? Option(command, "contains") : (command.args.size() >= 2 ? command.args[1] : "");
  if (command.args.empty() || (!contains && command.args.size() < 2)) {
    return Fail("expect needs a control (or `title`) and a text, or contains=<text>");
  }
  if (!NeedCurrentWindow()) return false;
  const bool onTitle = command.args[0] == "title";
  std::string label = "title";
  HWND target = g_driver.current;
  if (!onTitle) {
    Command lookup = command;
    lookup.options.erase("contains");
    if (!FindControl(lookup, 0, &target, &label)) return false;
  }
  // A page change destroys the controls of the old page: every poll looks the
  // control up again, so a control of the new page with the same id counts.
  int id = 0;
  const bool byId = !onTitle && Option(command, "text").empty() && ParseControlId(command.args[0], &id);
  std::string seen;
  std::string why;
  bool matched = WaitUntil(TimeoutOf(command), [&]() {
    std::vector<HWND> candidates = {target};
    if (byId) candidates = FindControlsById(g_driver.current, id);
    for (HWND candidate : candidates) {
      if (!IsWindow(candidate) || !ReadWindowText(candidate, &seen)) continue;
      if (contains ? seen.find(wanted) != std::string::npos : seen == wanted) return true;
    }
    return false;
  }, &why);
  if (!matched) {
    return Fail(std::string(contains ? "text containing " : "text ") + Quoted(wanted) + " expected in " + label +
                ", seen " + Quoted(seen) + ": " + why);
  }
  Say("expect %s %s ok", label.c_str(), Quoted(seen).c_str());
  return true;
}

bool RunClick(const Command& command) {
  HWND control = nullptr;
  std::string label;
  if (!FindControl(command, 0, &control, &label)) return false;
  std::string why;
  if (!WaitUntil(TimeoutOf(command), [&]() { return IsWindowVisible(control) && IsWindowEnabled(control); }, &why)) {
    return Fail("control " + label + " cannot be clicked: it is " +
                (IsWindowVisible(control) ? "disabled" : "hidden") + ", " + why);
  }
  std::string caption;
  ReadWindowText(control, &caption);
  int id = ControlId(control);
  if (Option(command, "via") == "command") {
    HWND parent = GetParent(control);
    PostMessageA(parent, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
  } else {
    // Posted, not sent: the click may open a modal message box, and a sent
    // message would not come back until that box is closed.
    PostMessageA(control, BM_CLICK, 0, 0);
  }
  Say("click %d %s", id, Quoted(caption).c_str());
  return true;
}

bool RunSetText(const Command& command) {
  if (command.args.size() < 2 && !(HasOption(command, "text") && command.args.size() == 1)) {
    return Fail("settext needs a control and the new text");
  }
  HWND control = nullptr;
  std::string label;
  if (!FindControl(command, 0, &control, &label)) return false;
  const std::string& text = command.args.back();
  DWORD_PTR result = 0;
  if (!SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_ABORTIFHUNG, 3000,
                           &result)) {
    return Fail("control " + label + " does not answer");
  }
  std::string back;
  ReadWindowText(control, &back);
  if (back != text) return Fail("control " + label + " kept " + Quoted(back) + " instead of " + Quoted(text));
  Say("settext %s %s", label.c_str(), Quoted(text).c_str());
  return true;
}

bool RunCheck(const Command& command, bool wanted) {
  HWND control = nullptr;
  std::string label;
  if (!FindControl(command, 0, &control, &label)) return false;
  if (!IsWindowEnabled(control)) return Fail("check box " + label + " is disabled");
  auto state = [&]() {
    DWORD_PTR checked = 0;
    SendMessageTimeoutA(control, BM_GETCHECK, 0, 0, SMTO_ABORTIFHUNG, 3000, &checked);
    return checked == BST_CHECKED;
  };
  // A click, not BM_SETCHECK, so that the program hears of the change as it would from a user.
  if (state() != wanted) PostMessageA(control, BM_CLICK, 0, 0);
  std::string why;
  if (!WaitUntil(TimeoutOf(command), [&]() { return state() == wanted; }, &why)) {
    return Fail("check box " + label + " did not become " + (wanted ? "checked" : "unchecked") + ": " + why);
  }
  Say("%s %s", wanted ? "check" : "uncheck", label.c_str());
  return true;
}

bool RunEnabled(const Command& command, bool wanted) {
  HWND control = nullptr;
  std::string label;
  if (!FindControl(command, 0, &control, &label)) return false;
  std::string why;
  if (!WaitUntil(TimeoutOf(command), [&]() { return (IsWindowEnabled(control) != FALSE) == wanted; }, &why)) {
    return Fail("control " + label + " is " + (wanted ? "disabled" : "enabled") + ": " + why);
  }
  Say("%s %s", wanted ? "enabled" : "disabled", label.c_str());
  return true;
}

bool RunGone(const Command& command) {
  WindowFilter filter;
  filter.className = Option(command, "class");
  filter.title = Option(command, "title");
  std::string why;
  std::string label;
  std::function<bool()> gone;
  if (filter.className.empty() && filter.title.empty()) {
    if (!g_driver.current) return Fail("gone needs class=/title= or a window chosen by `window`");
    HWND window = g_driver.current;
    label = Handle(window);
    gone = [window]() { return !IsWindow(window) || !IsWindowVisible(window); };
  } else {
    label = "class=" + filter.className + " title=" + Quoted(filter.title);
    gone = [filter]() { return FindTopLevel(filter).empty(); };
  }
  // The program may well exit once its window is gone: that is no failure here.
  DWORD start = GetTickCount();
  const double seconds = TimeoutOf(command);
  while (!gone()) {
    if (GetTickCount() - start >= static_cast<DWORD>(seconds * 1000.0)) {
      char text[64];
      snprintf(text, sizeof(text), "still there after %g s", seconds);
      return Fail("window " + label + " " + text + ProcessNote());
    }
    Sleep(kPollMs);
  }
  Say("gone %s", label.c_str());
  return true;
}

bool RunExit(const Command& command) {
  if (!g_driver.started) return Fail("no program was started with `start`");
  const double seconds = TimeoutOf(command);
  DWORD waited = WaitForSingleObject(g_driver.process.hProcess, static_cast<DWORD>(seconds * 1000.0));
  if (waited != WAIT_OBJECT_0) {
    char text[64];
    snprintf(text, sizeof(text), "the started program is still running after %g s", seconds);
    return Fail(text);
  }
  DWORD code = 0;
  GetExitCodeProcess(g_driver.process.hProcess, &code);
  int signedCode = static_cast<int>(code);
  Say("exit %d", signedCode);
  CloseHandle(g_driver.process.hProcess);
  CloseHandle(g_driver.process.hThread);
  g_driver.started = false;
  if (!command.args.empty()) {
    long expected = 0;
    if (!ParseInt(command.args[0], &expected)) return Fail("not an exit code: " + command.args[0]);
    if (static_cast<int>(expected) != signedCode) {
      return Fail("exit code " + std::to_string(expected) + " expected, got " + std::to_string(signedCode));
    }
  }
  return true;
}

bool RunSysCommand(const Command& command) {
  if (!NeedCurrentWindow()) return false;
  const std::string what = command.args.empty() ? "" : command.args[0];
  WPARAM code = 0;
  if (what == "close") code = SC_CLOSE;
  else if (what == "minimize") code = SC_MINIMIZE;
  else if (what == "maximize") code = SC_MAXIMIZE;
  else if (what == "restore") code = SC_RESTORE;
  else return Fail("syscommand takes close, minimize, maximize or restore");
  PostMessageA(g_driver.current, WM_SYSCOMMAND, code, 0);
  Say("syscommand %s", what.c_str());
  return true;
}

bool RunDump(const Command&) {
  std::vector<std::string> lines;
  if (g_driver.current && IsWindow(g_driver.current)) {
    DescribeTree(g_driver.current, 0, &lines);
  } else {
    DescribeDesktop(&lines);
  }
  for (const std::string& line : lines) Say("dump %s", line.c_str());
  return true;
}

bool RunVersion(const Command&) {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  if (!GetVersionExA(&info)) return Fail("GetVersionExA failed");
  Say("version platform=%lu major=%lu minor=%lu build=%lu", info.dwPlatformId, info.dwMajorVersion,
      info.dwMinorVersion, info.dwBuildNumber & 0xFFFF);
  return true;
}

bool RunDrive(const Command& command) {
  if (command.args.empty()) return Fail("drive needs a root such as A:\\");
  UINT type = GetDriveTypeA(command.args[0].c_str());
  Say("drive %s type=%u", command.args[0].c_str(), type);
  return true;
}

bool RunSleep(const Command& command) {
  long ms = 0;
  if (command.args.empty() || !ParseInt(command.args[0], &ms) || ms < 0) return Fail("sleep needs milliseconds");
  Sleep(static_cast<DWORD>(ms));
  return true;
}

bool RunTimeout(const Command& command) {
  double seconds = 0;
  if (command.args.empty() || !ParseNumber(command.args[0], &seconds) || seconds < 0) {
    return Fail("timeout needs seconds");
  }
  g_driver.defaultTimeout = seconds;
  return true;
}

bool RunEcho(const Command& command) {
  std::string text;
  for (const std::string& arg : command.args) text += (text.empty() ? "" : " ") + arg;
  Say("echo %s", text.c_str());
  return true;
}

// Lets the shell do its part (a screenshot, a look at the files) at a known
// moment: the script waits here until the shell creates the file.
bool RunWaitFile(const Command& command) {
  if (command.args.empty()) return Fail("waitfile needs a path");
  const std::string& path = command.args[0];
  std::string why;
  if (!WaitUntil(TimeoutOf(command), [&]() { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; },
                 &why)) {
    return Fail("file " + path + " did not appear: " + why);
  }
  Say("waitfile %s", path.c_str());
  return true;
}

bool RunKill(const Command&) {
  if (!g_driver.started) return Fail("no program was started with `start`");
  TerminateProcess(g_driver.process.hProcess, 1);
  WaitForSingleObject(g_driver.process.hProcess, 5000);
  Say("kill pid=%lu", static_cast<unsigned long>(g_driver.process.dwProcessId));
  return true;
}

// rect [ID]: the window rectangle and the client rectangle, both in screen
// co-ordinates, of a control or of the current window.
bool RunRect(const Command& command) {
  if (!NeedCurrentWindow()) return false;
  HWND target = g_driver.current;
  std::string label = "window";
  if (!command.args.empty() || HasOption(command, "text")) {
    if (!FindControl(command, 0, &target, &label)) return false;
  }
  RECT outer, inner;
  GetWindowRect(target, &outer);
  GetClientRect(target, &inner);
  MapWindowPoints(target, nullptr, reinterpret_cast<POINT*>(&inner), 2);
  Say("rect %s window=%ld,%ld,%ld,%ld client=%ld,%ld,%ld,%ld", label.c_str(), outer.left, outer.top, outer.right,
      outer.bottom, inner.left, inner.top, inner.right, inner.bottom);
  return true;
}

struct NamedKey {
  const char* name;
  WORD key;
};
const NamedKey kKeyNames[] = {
    {"Return", VK_RETURN}, {"Escape", VK_ESCAPE}, {"Tab", VK_TAB}, {"Space", VK_SPACE},
    {"F4", VK_F4},         {"Up", VK_UP},         {"Down", VK_DOWN}, {"Back", VK_BACK},
};

void PushKey(std::vector<INPUT>* inputs, WORD key, bool up) {
  INPUT input = {};
  input.type = INPUT_KEYBOARD;
  input.ki.wVk = key;
  input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
  inputs->push_back(input);
}

// key [alt+|shift+]NAME: a key stroke as the user types it, to whatever window
// has the keyboard focus. NAME is Return, Escape, Tab, Space, F4, Up, Down,
// Back, or a letter or digit.
bool RunKey(const Command& command) {
  if (command.args.size() != 1) return Fail("key needs one key name");
  std::string name = command.args[0];
  std::vector<WORD> modifiers;
  for (;;) {
    if (name.compare(0, 4, "alt+") == 0) modifiers.push_back(VK_MENU), name.erase(0, 4);
    else if (name.compare(0, 6, "shift+") == 0) modifiers.push_back(VK_SHIFT), name.erase(0, 6);
    else break;
  }
  WORD key = 0;
  for (const NamedKey& named : kKeyNames) {
    if (name == named.name) key = named.key;
  }
  if (!key && name.size() == 1 && isalnum(static_cast<unsigned char>(name[0]))) {
    key = static_cast<WORD>(toupper(static_cast<unsigned char>(name[0])));
  }
  if (!key) return Fail("unknown key " + Quoted(name));
  std::vector<INPUT> inputs;
  for (WORD modifier : modifiers) PushKey(&inputs, modifier, false);
  PushKey(&inputs, key, false);
  PushKey(&inputs, key, true);
  for (auto it = modifiers.rbegin(); it != modifiers.rend(); ++it) PushKey(&inputs, *it, true);
  if (SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT)) != inputs.size()) {
    return Fail("SendInput failed with error " + std::to_string(GetLastError()));
  }
  Say("key %s", command.args[0].c_str());
  return true;
}

// focus: the control that has the keyboard focus in the current window's thread.
bool RunFocus(const Command& command) {
  if (!NeedCurrentWindow()) return false;
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  DWORD thread = GetWindowThreadProcessId(g_driver.current, nullptr);
  HWND focus = nullptr;
  std::string why;
  // Right after a page changes the focus may be on its way.
  WaitUntil(TimeoutOf(command) < 2 ? TimeoutOf(command) : 2, [&]() {
    focus = GetGUIThreadInfo(thread, &info) ? info.hwndFocus : nullptr;
    return focus != nullptr && IsWindow(focus);
  }, &why);
  if (!focus) {
    Say("focus none");
    return true;
  }
  std::string text;
  ReadWindowText(focus, &text);
  bool inside = focus == g_driver.current || IsChild(g_driver.current, focus);
  Say("focus %s id=%d %s %s", ClassOf(focus).c_str(), ControlId(focus), inside ? "inside" : "outside",
      Quoted(text).c_str());
  return true;
}

// clock: milliseconds since the driver started, for timings in scripts.
// listpick ID INDEX: selects an item of a list box and double-clicks it, as
// the user opens a folder in a file dialog's directory list.
bool RunListPick(const Command& command) {
  HWND list;
  std::string label;
  long index = 0;
  if (command.args.size() != 2 || !ParseInt(command.args[1], &index)) return Fail("listpick needs a control and an index");
  if (!FindControl(command, 0, &list, &label)) return false;
  DWORD_PTR result;
  if (!SendMessageTimeoutA(list, LB_SETCURSEL, static_cast<WPARAM>(index), 0, SMTO_ABORTIFHUNG, 3000, &result) ||
      static_cast<LRESULT>(result) == LB_ERR)
    return Fail("item " + std::to_string(index) + " of list " + label + " cannot be selected");
  PostMessageA(GetParent(list), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(list), LBN_DBLCLK), reinterpret_cast<LPARAM>(list));
  Say("listpick %s %ld", label.c_str(), index);
  return true;
}

// The texts a page shows, for the log of a walk: the window title and the
// page texts 1000 to 1003 of the visible page.
std::string PageSummary(HWND window) {
  std::string title;
  ReadWindowText(window, &title);
  std::string summary = "title=" + Quoted(title);
  for (int id = 1000; id <= 1003; ++id) {
    std::vector<HWND> hits = FindControlsById(window, id);
    if (hits.empty() || !IsWindowVisible(hits[0])) continue;
    std::string text;
    ReadWindowText(hits[0], &text);
    summary += " " + std::to_string(id) + "=" + Quoted(text);
  }
  return summary;
}

bool VisibleAndEnabled(HWND window, int id, HWND* control) {
  std::vector<HWND> hits = FindControlsById(window, id);
  if (hits.empty() || !IsWindowVisible(hits[0]) || !IsWindowEnabled(hits[0])) return false;
  *control = hits[0];
  return true;
}

// walk [class=C] [answer=B,B,...] [last=TITLE] [hold=TITLE] [timeout=S]:
// drives the started program to its end without knowing what it will show.
// Each message box is logged and answered with the first listed button it
// has; on a window of the class, each page is logged and Next (1) pressed, or
// Cancel (2) on the page whose title is `last`; nothing on the page whose
// title is `hold`, which moves on by itself (a Next enabled as that page goes
// would press the next page's Next); Cancel on a page whose Next was pressed
// three times. Fails only when the program has not ended in time.
constexpr int kNextPressesBeforeCancel = 3;

bool RunWalk(const Command& command) {
  if (!g_driver.started) return Fail("no program was started with `start`");
  std::string className = HasOption(command, "class") ? Option(command, "class") : "QuorinClass";
  std::vector<std::string> answers;
  std::string list = HasOption(command, "answer") ? Option(command, "answer") : "IDCANCEL,IDYES,IDOK";
  for (size_t start = 0; start <= list.size();) {
    size_t comma = list.find(',', start);
    if (comma == std::string::npos) comma = list.size();
    answers.push_back(list.substr(start, comma - start));
    start = comma + 1;
  }
  const std::string last = Option(command, "last");
  const std::string hold = Option(command, "hold");
  const double seconds = TimeoutOf(command);
  DWORD begin = GetTickCount();
  std::string shown, previous, pressedOn;
  DWORD pressedAt = 0;
  std::map<std::string, int> nextPresses;
  for (;;) {
    if (WaitForSingleObject(g_driver.process.hProcess, 0) == WAIT_OBJECT_0) {
      DWORD code = 0;
      GetExitCodeProcess(g_driver.process.hProcess, &code);
      Say("walk exit %d", static_cast<int>(code));
      CloseHandle(g_driver.process.hProcess);
      CloseHandle(g_driver.process.hThread);
      g_driver.started = false;
      return true;
    }
    if (GetTickCount() - begin >= static_cast<DWORD>(seconds * 1000.0)) {
      char text[80];
      snprintf(text, sizeof(text), "the started program has not ended after %g s", seconds);
      return Fail(text);
    }
    std::vector<HWND> boxes = FindMessageBoxes("");
    if (!boxes.empty()) {
      HWND box = boxes[0];
      Say("walk msgbox %s", Quoted(MessageBoxText(box)).c_str());
      std::string chosen;
      for (const std::string& answer : answers) {
        int id = 0;
        if (ParseControlId(answer, &id) && GetDlgItem(box, id)) {
          chosen = answer;
          break;
        }
      }
      if (chosen.empty()) return Fail("the message box has none of the buttons " + list);
      if (!PressInBox(box, chosen, 5)) return false;
      shown.clear();  // the page may show other texts now
      previous.clear();
      continue;
    }
    WindowFilter filter;
    filter.className = className;
    std::vector<HWND> windows = FindTopLevel(filter);
    if (!windows.empty()) {
      // A page is taken once it shows the same texts on two polls running:
      // the next page may be half set up while the old one goes.
      std::string summary = PageSummary(windows[0]);
      bool settled = summary == previous;
      previous = summary;
      if (!settled) {
        Sleep(kPollMs);
        continue;
      }
      if (summary != shown) {
        Say("walk page %s", summary.c_str());
        shown = summary;
      }
      std::string title;
      ReadWindowText(windows[0], &title);
      if (!hold.empty() && title == hold) {
        Sleep(kPollMs);
        continue;
      }
      int button = !last.empty() && title == last ? IDCANCEL : 1;
      // A page that keeps coming back after its Next (a message box, then the
      // same page) is given up with Cancel, as a user would.
      if (button == 1 && nextPresses[summary] >= kNextPressesBeforeCancel) button = IDCANCEL;
      HWND control = nullptr;
      // One press per page; a page that stays as it was is pressed again
      // after a while.
      bool pressedHere = summary == pressedOn && GetTickCount() - pressedAt < 1000;
      if (!pressedHere && VisibleAndEnabled(windows[0], button, &control)) {
        PostMessageA(control, BM_CLICK, 0, 0);
        Say("walk click %d", button);
        if (button == 1) ++nextPresses[summary];
        pressedOn = summary;
        pressedAt = GetTickCount();
      }
    }
    Sleep(kPollMs);
  }
}

const DWORD g_driverStart = GetTickCount();

bool RunClock(const Command&) {
  Say("clock %lu", static_cast<unsigned long>(GetTickCount() - g_driverStart));
  return true;
}

struct CommandEntry {
  const char* name;
  std::function<bool(const Command&)> run;
};

const std::vector<CommandEntry>& CommandTable() {
  static const std::vector<CommandEntry> table = {
      {"start", RunStart},
      {"window", RunWindow},
      {"msgbox", RunMsgbox},
      {"answer", RunAnswer},
      {"text", RunText},
      {"expect", RunExpect},
      {"click", RunClick},
      {"settext", RunSetText},
      {"check", [](const Command& c) { return RunCheck(c, true); }},
      {"uncheck", [](const Command& c) { return RunCheck(c, false); }},
      {"enabled", [](const Command& c) { return RunEnabled(c, true); }},
      {"disabled", [](const Command& c) { return RunEnabled(c, false); }},
      {"gone", RunGone},
      {"exit", RunExit},
      {"syscommand", RunSysCommand},
      {"dump", RunDump},
      {"version", RunVersion},
      {"drive", RunDrive},
      {"sleep", RunSleep},
      {"timeout", RunTimeout},
      {"echo", RunEcho},
      {"waitfile", RunWaitFile},
      {"kill", RunKill},
      {"rect", RunRect},
      {"key", RunKey},
      {"focus", RunFocus},
      {"clock", RunClock},
      {"listpick", RunListPick},
      {"walk", RunWalk},
  };
  return table;
}

const CommandEntry* Lookup(const std::string& name) {
  for (const CommandEntry& entry : CommandTable()) {
    if (name == entry.name) return &entry;
  }
  return nullptr;
}

int Usage() {
  fprintf(stderr,
          "usage: qdriver [--timeout SECONDS] [--log FILE] [-f SCRIPT] [command ...]\n"
          "Each argument is one command line; -f reads one command per line.\n"
          "Exit code: 0 all commands succeeded, 1 a command failed, 2 bad usage or script.\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  // Plain LF line ends, so shell tests can compare lines without stripping CRs.
  _setmode(_fileno(stdout), _O_BINARY);
  std::vector<std::string> lines;
  std::vector<std::string> origins;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--timeout" && i + 1 < argc) {
      if (!ParseNumber(argv[++i], &g_driver.defaultTimeout)) return Usage();
    } else if (arg == "--log" && i + 1 < argc) {
      g_driver.log = fopen(argv[++i], "wb");
      if (!g_driver.log) {
        fprintf(stderr, "qdriver: cannot write the log %s\n", argv[i]);
        return 2;
      }
    } else if (arg == "-f" && i + 1 < argc) {
      std::ifstream script(argv[++i]);
      if (!script) {
        fprintf(stderr, "qdriver: cannot read the script %s\n", argv[i]);
        return 2;
      }
      std::string line;
      int number = 0;
      while (std::getline(script, line)) {
        ++number;
        // Script files are UTF-8; arguments already arrive in the ANSI code page.
        lines.push_back(Recode(line, CP_UTF8, CP_ACP));
        origins.push_back(std::string(argv[i]) + ":" + std::to_string(number));
      }
    } else if (arg == "--help" || arg == "-h") {
      return Usage();
    } else {
      lines.push_back(arg);
      origins.push_back("argument " + std::to_string(i));
    }
  }

  // The whole script is checked before anything runs, so a typo cannot leave
  // a program half-driven.
  std::vector<Command> commands;
  std::vector<std::string> where;
  for (size_t i = 0; i < lines.size(); ++i) {
    Command command;
    std::string error;
    if (!ParseCommand(lines[i], &command, &error)) {
      fprintf(stderr, "qdriver: %s: %s: %s\n", origins[i].c_str(), error.c_str(), lines[i].c_str());
      return 2;
    }
    if (command.name.empty()) continue;
    if (!Lookup(command.name)) {
      fprintf(stderr, "qdriver: %s: unknown command '%s'\n", origins[i].c_str(), command.name.c_str());
      return 2;
    }
    commands.push_back(command);
    where.push_back(origins[i]);
  }
  if (commands.empty()) return Usage();

  for (size_t i = 0; i < commands.size(); ++i) {
    g_driver.failure.clear();
    if (!Lookup(commands[i].name)->run(commands[i])) {
      Say("FAIL %s: %s", commands[i].source.c_str(), g_driver.failure.c_str());
      Say("FAIL at %s", where[i].c_str());
      std::vector<std::string> desktop;
      DescribeDesktop(&desktop);
      Say("windows on the screen:");
      for (const std::string& line : desktop) Say("  %s", line.c_str());
      if (g_driver.log) fclose(g_driver.log);
      return 1;
    }
  }
  Say("OK %u commands", static_cast<unsigned>(commands.size()));
  if (g_driver.log) fclose(g_driver.log);
  return 0;
}
