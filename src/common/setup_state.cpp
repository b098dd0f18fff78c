#include "common/setup_state.h"

#include "common/memory.h"
#include "package/format.h"

SetupState g_setup;

bool AllocatePathBuffers() {
  char** buffers[] = {&g_setup.sourcePath,      &g_setup.packagePath, &g_setup.destinationFolder,
                      &g_setup.workPathB,       &g_setup.workPathA,   &g_setup.errorFileName,
                      &g_setup.uninstallerPath};
  for (char** buffer : buffers) {
    if (!AllocZeroed(format::kPathBufferSize, buffer)) {
      ReleasePathBuffers();
      return false;
    }
  }
  return true;
}

void ReleasePathBuffers() {
  FreeBlock(g_setup.sourcePath);
  FreeBlock(g_setup.packagePath);
  FreeBlock(g_setup.destinationFolder);
  FreeBlock(g_setup.workPathB);
  FreeBlock(g_setup.workPathA);
  FreeBlock(g_setup.errorFileName);
  FreeBlock(g_setup.uninstallerPath);
}

void ClearFinishEntries() {
  g_setup.run.viewEntry = nullptr;
  g_setup.run.runEntry = nullptr;
  g_setup.run.screenSaverEntry = nullptr;
}
