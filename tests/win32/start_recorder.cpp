// Stands in for a program a setup starts or opens a document with: appends a
// line with its command line to C:\started.log, so a test can see whether and
// how it was started.
#include <windows.h>

#include <stdio.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  FILE* log = fopen("C:\\started.log", "a");
  if (!log) return 1;
  fprintf(log, "started %s\n", GetCommandLineA());
  fclose(log);
  return 0;
}
