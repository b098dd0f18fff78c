// The stub's entry point. There is no C runtime start-up code: the command-line
// tail and the show command are found here and WinMain is called directly.
#include <windows.h>

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandTail, int showCommand);

// Skips the program name, quoted or not, and the spaces after it.
static char* CommandTail(char* p) {
  if (*p == '"') {
    ++p;
    while (*p && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

extern "C" void StubEntry() {
  STARTUPINFOA startup;
  startup.cb = sizeof(startup);
  GetStartupInfoA(&startup);
  int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow : SW_SHOWDEFAULT;
  int code = WinMain(GetModuleHandleA(nullptr), nullptr, CommandTail(GetCommandLineA()), show);
  ExitProcess(static_cast<UINT>(code));
}
