#include "install/fonts.h"

#include <windows.h>

#include <string.h>

#include "common/setup_state.h"
#include "install/font_name.h"
#include "install/paths.h"
#include "package/format.h"

void RegisterFont(const char* path) {
  char name[format::kPathBufferSize];
  ReadFontFullNameFromFile(path, name);
  // A window that hangs cannot hang the installation.
  if (AddFontResourceA(path))
    SendMessageTimeoutA(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, 2000, nullptr);
  if (!name[0]) return;
  char valueName[format::kPathBufferSize];
  MakeFontValueName(valueName, name);
  HKEY key;
  const char* fonts = g_setup.isNt ? "Software\\Microsoft\\Windows NT\\CurrentVersion\\Fonts"
                                   : "Software\\Microsoft\\Windows\\CurrentVersion\\Fonts";
  if (RegOpenKeyA(HKEY_LOCAL_MACHINE, fonts, &key) != ERROR_SUCCESS) return;
  const char* file = LastComponent(path);
  RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(file), static_cast<DWORD>(strlen(file)));
  RegCloseKey(key);
}
