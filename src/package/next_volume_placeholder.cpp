// Placeholder until the stub reads volume files: a data area that continues
// beyond the setup file cannot be followed, so the expansion that needs the
// next volume fails and the install loop reports the damaged file.
#include "common/setup_state.h"
#include "package/volumes.h"

FileHandle OpenNextVolume() {
  if (g_setup.volume.dataHandle != INVALID_FILE) CloseFile(g_setup.volume.dataHandle);
  g_setup.volume.dataHandle = INVALID_FILE;
  return INVALID_FILE;
}
