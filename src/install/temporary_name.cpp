#include "install/temporary_name.h"

#include <string.h>

#include "common/safe_format.h"
#include "install/paths.h"
#include "package/format.h"

bool MakeTemporaryName(char* name, const char* destination, NameTaken taken) {
  CopyBounded(name, format::kPathBufferSize, destination);
  if (strlen(destination) >= format::kPathBufferSize || !ReplaceExtension(name, ".$$A")) return false;
  char& last = name[strlen(name) - 1];
  for (; last <= 'Z'; ++last) {
    if (!taken(name)) return true;
  }
  return false;
}
