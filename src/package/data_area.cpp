#include "common/setup_state.h"
#include "package/format.h"
#include "package/volumes.h"

int RecordDataArea(FileHandle file) {
  PackageData& pkg = g_setup.package;
  pkg.dataAreaStart = FilePosition(file);
  uint8_t field[4];
  if (ReadExact(file, field, 4) != kFileOk) return kFileReadFailed;
  pkg.dataLength = format::ReadU32(field);
  g_setup.volume.volumeSize = pkg.dataLength;
  g_setup.volume.remaining = pkg.dataLength;
  return kFileOk;
}
