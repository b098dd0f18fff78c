#include "uninstall_key.h"

#include <windows.h>

#include <string.h>

#include "common/safe_format.h"
#include "report.h"
#include "uninstall_state.h"

namespace {

constexpr uint32_t kPathSize = format::kPathBufferSize;
constexpr size_t kPrefixLength = sizeof(uninstall::kUninstallKeyPrefix) - 1;

// Only a key of its own below the Uninstall key may be deleted: never the
// Uninstall key itself, a key elsewhere, or one nested deeper. The path is
// given NUL-terminated, its recorded length beside it.
bool IsUninstallEntry(const char* keyPath, uint16_t length) {
  if (length <= kPrefixLength || strlen(keyPath) != length ||
      !IsInsideFolder(keyPath, uninstall::kUninstallKeyPrefix))
    return false;
  for (const char* p = keyPath + kPrefixLength; *p; ++p)
    if (*p == '\\' || static_cast<unsigned char>(*p) < 0x20) return false;
  return true;
}

bool SameFile(const char* a, const char* b) {
  if (lstrcmpiA(a, b) == 0) return true;
  char shortA[format::kPathBufferSize];
  char shortB[format::kPathBufferSize];
  DWORD lengthA = GetShortPathNameA(a, shortA, kPathSize);
  DWORD lengthB = GetShortPathNameA(b, shortB, kPathSize);
  return lengthA && lengthA < kPathSize && lengthB && lengthB < kPathSize && lstrcmpiA(shortA, shortB) == 0;
}

// An entry whose UninstallString names another program belongs to another
// copy of the product (installed again elsewhere, or this file was copied):
// removing through this one would strip that installation of its entry.
void CheckRegisteredProgram(HKEY root, const char* keyPath) {
  HKEY key;
  if (RegOpenKeyExA(root, keyPath, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return;
  // The setup stores the text without its NUL: the zeroed buffer ends it.
  char command[format::kPathBufferSize] = {};
  DWORD size = sizeof command - 1;
  DWORD type = 0;
  if (RegQueryValueExA(key, "UninstallString", nullptr, &type, reinterpret_cast<BYTE*>(command), &size) ==
          ERROR_SUCCESS &&
      (type == REG_SZ || type == REG_EXPAND_SZ)) {
    char* program = command;
    if (*program == '"') {
      ++program;
      if (char* close = strchr(program, '"')) *close = 0;
    }
    if (!SameFile(program, g_uninstall.ownPath)) g_uninstall.notRegistered = true;
  }
  RegCloseKey(key);
}

}  // namespace

void HandleUninstallKey(const UninstallRecord& record, bool checkOnly) {
  uint32_t rootValue;
  CountedText path;
  ReadUninstallKey(record, &rootValue, &path);
  char keyPath[format::kPathBufferSize];
  uint16_t length = path.length < kPathSize ? path.length : 0;
  memcpy(keyPath, path.text, length);
  keyPath[length] = 0;
  if ((rootValue != uninstall::kRootLocalMachine && rootValue != uninstall::kRootCurrentUser) ||
      !IsUninstallEntry(keyPath, length)) {
    if (checkOnly) {
      NoteProblem("The uninstall entry", "not a key of the system's list of uninstall entries");
      g_uninstall.dataDamaged = true;
    }
    return;
  }
  HKEY root = rootValue == uninstall::kRootLocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
  if (checkOnly) {
    g_uninstall.keyFound = true;
    ++g_uninstall.itemsToRemove;
    CopyBounded(g_uninstall.productName, kPathSize, keyPath + kPrefixLength);
    CheckRegisteredProgram(root, keyPath);
    return;
  }
  LONG result = RegDeleteKeyA(root, keyPath);
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) {
    g_uninstall.keyRemoved = true;
  } else {
    g_uninstall.failed = true;
    NoteProblem(keyPath, "this registry key could not be removed");
  }
}
