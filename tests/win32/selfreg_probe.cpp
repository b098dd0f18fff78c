// A self-registering component for the uninstaller's end-to-end test: each
// registration entry point writes its own file's path under
// HKCU\Software\QuorinSelfRegProbe, so a test can see which one ran on which file.
#include <windows.h>

static HMODULE s_module;

static HRESULT Note(const char* valueName) {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(s_module, path, sizeof path - 1);
  HKEY key;
  if (RegCreateKeyA(HKEY_CURRENT_USER, "Software\\QuorinSelfRegProbe", &key) != ERROR_SUCCESS) return E_FAIL;
  RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(path), lstrlenA(path) + 1);
  RegCloseKey(key);
  return S_OK;
}

extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllRegisterServer() { return Note("Registered"); }
extern "C" __declspec(dllexport) HRESULT STDAPICALLTYPE DllUnregisterServer() { return Note("Unregistered"); }

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) s_module = instance;
  return TRUE;
}
