#include "wizard/document_opener.h"

#include <windows.h>
#include <shellapi.h>

#include <string.h>

#include "common/memory.h"
#include "common/safe_format.h"

namespace {

constexpr unsigned kCommandSize = 520;
constexpr LONG kValueSize = 260;

// The unnamed value of a key, into a buffer of at least 260 bytes. False when
// the key cannot be opened or the value not read: the buffer is then not used.
bool ReadDefaultValue(HKEY root, const char* subkey, char* value) {
  HKEY key;
  if (RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return false;
  LONG size = kValueSize;
  bool read = RegQueryValueA(key, nullptr, value, &size) == ERROR_SUCCESS;
  RegCloseKey(key);
  value[kValueSize - 1] = 0;
  return read;
}

// Scrambled when the program is built, so the plain text is not in the file.
template <size_t N>
struct Scrambled {
  char text[N];
  constexpr Scrambled(const char (&plain)[N]) : text() {
    for (size_t i = 0; i + 1 < N; ++i) text[i] = static_cast<char>(plain[i] ^ 0x55);
  }
};

Scrambled g_link("https://quorin-setup.example/docs/");

}  // namespace

char* LinkTarget() { return g_link.text; }

void Unscramble(char* text) {
  for (size_t i = 0; i < strlen(text); ++i) text[i] ^= 0x55;
}

void OpenDocument(const char* target, const char* fileType) {
  if (reinterpret_cast<INT_PTR>(ShellExecuteA(nullptr, "open", target, nullptr, nullptr, SW_SHOW)) > 32) return;
  char* command;
  if (!AllocZeroed(kCommandSize, &command)) return;
  if (ReadDefaultValue(HKEY_CLASSES_ROOT, fileType, command) && *command) {
    AppendBounded(command, kCommandSize, "\\shell\\open\\command");
    char subkey[kCommandSize];
    CopyBounded(subkey, kCommandSize, command);
    if (ReadDefaultValue(HKEY_CLASSES_ROOT, subkey, command) && *command &&
        OpenCommandFor(command, kCommandSize, target))
      WinExec(command, SW_SHOW);
  }
  FreeBlock(command);
}
