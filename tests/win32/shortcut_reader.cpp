// Reads shortcut files back through the shell's link object, for tests:
// shortcut_reader <file.lnk>... prints for each
//   <file> target=<path> folder=<working folder> arguments=<text> icon=<index>
// Exit 1 when a file cannot be loaded.
#include <windows.h>
#include <shlobj.h>

#include <stdio.h>

int main(int argc, char** argv) {
  CoInitialize(nullptr);
  int failed = 0;
  for (int i = 1; i < argc; ++i) {
    IShellLinkA* link;
    IPersistFile* file;
    WCHAR wide[MAX_PATH];
    MultiByteToWideChar(CP_ACP, 0, argv[i], -1, wide, MAX_PATH);
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                reinterpret_cast<void**>(&link)))) return 2;
    if (FAILED(link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file))) ||
        FAILED(file->Load(wide, STGM_READ))) {
      printf("%s unreadable\n", argv[i]);
      failed = 1;
    } else {
      char target[MAX_PATH] = "", folder[MAX_PATH] = "", arguments[MAX_PATH] = "", icon[MAX_PATH] = "";
      int index = 0;
      link->GetPath(target, MAX_PATH, nullptr, 0);
      link->GetWorkingDirectory(folder, MAX_PATH);
      link->GetArguments(arguments, MAX_PATH);
      link->GetIconLocation(icon, MAX_PATH, &index);
      printf("%s target=%s folder=%s arguments=%s icon=%d\n", argv[i], target, folder, arguments, index);
      file->Release();
    }
    link->Release();
  }
  CoUninitialize();
  return failed;
}
