// Holds a file open, as a running program holds its files, until the test
// lets it go: hold_file <file> <ready flag> <release flag> [read]. Without
// sharing by default; with "read" others may still read it, as a program
// that is running its own file or a library allows. Creates the ready flag
// once the file is held; ends when the release flag appears, or after two
// minutes. Exit 1 when the file cannot be opened.
#include <windows.h>

#include <string.h>

int main(int argc, char** argv) {
  if (argc != 4 && argc != 5) return 2;
  DWORD share = argc == 5 && strcmp(argv[4], "read") == 0 ? FILE_SHARE_READ : 0;
  HANDLE held = CreateFileA(argv[1], GENERIC_READ, share, nullptr, OPEN_EXISTING, 0, nullptr);
  if (held == INVALID_HANDLE_VALUE) return 1;
  HANDLE ready = CreateFileA(argv[2], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
  for (int waited = 0; waited < 1200 && GetFileAttributesA(argv[3]) == INVALID_FILE_ATTRIBUTES; ++waited) Sleep(100);
  CloseHandle(held);
  return 0;
}
