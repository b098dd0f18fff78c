#include "package/volume_name.h"

#include "install/paths.h"

bool NextVolumeName(char* path, int32_t counter) {
  // ".D" and the number with at least two digits.
  char extension[16] = ".D";
  char digits[12];
  int n = 0;
  uint32_t value = counter < 0 ? 0 : static_cast<uint32_t>(counter);
  do {
    digits[n++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value || n < 2);
  int at = 2;
  while (n) extension[at++] = digits[--n];
  extension[at] = 0;
  return ReplaceExtension(path, extension);
}
