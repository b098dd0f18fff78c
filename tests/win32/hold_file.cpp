// Holds a file open without sharing, as a running program holds its files,
// until the test lets it go: hold_file <file> <ready flag> <release flag>.
// Creates the ready flag once the file is held; ends when the release flag
// appears, or after two minutes. Exit 1 when the file cannot be opened.
#include <windows.h>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  HANDLE held = CreateFileA(argv[1], GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  for (int waited = 0; waited < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++waited) Sleep(100);
  CloseHandle(held);
  return 0;
}
