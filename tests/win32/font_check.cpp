// Tells whether a font family can be used by a program started now:
// font_check <family> exits 0 when the system lists it, 1 otherwise.
#include <windows.h>

#include <string.h>

static int CALLBACK Found(const LOGFONTA*, const TEXTMETRICA*, DWORD, LPARAM found) {
  *reinterpret_cast<bool*>(found) = true;
  return 0;
}

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  LOGFONTA wanted = {};
  wanted.lfCharSet = DEFAULT_CHARSET;
  lstrcpynA(wanted.lfFaceName, argv[1], LF_FACESIZE);
  bool found = false;
  HDC dc = GetDC(nullptr);
  EnumFontFamiliesExA(dc, &wanted, Found, reinterpret_cast<LPARAM>(&found), 0);
  ReleaseDC(nullptr, dc);
  return found ? 0 : 1;
}
