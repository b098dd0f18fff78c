// The package loader over whole setup files: a stand-in stub whose
// configuration block the loader finds as it does for a /S source (its own
// block says stub size 0), then records. Nothing may crash, leak or read
// outside its buffers; a loaded package keeps the promises its readers rely
// on: texts terminated inside their groups, the destination folder inside its
// buffer, every file entry inside the file list.
//
// Input: the setup file. Seeds: the examples' packages behind a 32-byte stub
// (tests/fuzz/seeds/make-seeds.sh).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include "common/file_io.h"
#include "common/setup_state.h"
#include "package/format.h"
#include "package/loader.h"
#include "package/strings.h"
#include "package/volumes.h"
#include "startup/config_block.h"

// The loader reads no volume files; its one message is dropped.
FileHandle OpenNextVolume() { return INVALID_FILE; }
int ShowMessage(const char* text, unsigned) {
  volatile size_t length = strlen(text);  // as the message box reads it
  (void)length;
  return 1;
}

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

void CheckPackage() {
  const PackageData& pkg = g_setup.package;
  for (int g = 0; g < format::kStringGroupCount; ++g) {
    uint32_t count = pkg.stringGroups[g] && pkg.stringGroupSizes[g] >= 2 ? format::ReadU16(pkg.stringGroups[g]) : 0;
    for (uint32_t e = 0; e <= count + 1 && e < 300; ++e) {
      const char* text = GetGroupString(g, static_cast<int>(e));
      Check(text != nullptr);
      if (*text) Check(text >= reinterpret_cast<const char*>(pkg.stringGroups[g]) &&
                       text + strlen(text) < reinterpret_cast<const char*>(pkg.stringGroups[g]) + pkg.stringGroupSizes[g]);
    }
  }
  Check(strnlen(g_setup.destinationFolder, format::kPathBufferSize) < format::kPathBufferSize);
  const uint8_t* entry = pkg.firstEntry;
  for (uint32_t i = 0; i < pkg.fileCount; ++i) {
    uint32_t size = format::ReadU32(entry + format::kEntrySize);
    Check(size >= format::kEntryFixedSize && entry + size <= pkg.fileList + pkg.fileListSize);
    entry += size;
  }
}

}  // namespace

// The stub's own configuration block, with stub size 0; the loader replaces
// it with the one it finds in the input.
static uint8_t g_ownBlock[sizeof g_stubConfig];

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  AllocatePathBuffers();
  for (size_t i = 0; i < sizeof g_ownBlock; ++i) g_ownBlock[i] = g_stubConfig[i];
  for (size_t i = 0; i < 4; ++i) g_ownBlock[format::kConfigStubSizeOffset + i] = 0;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  for (size_t i = 0; i < sizeof g_ownBlock; ++i) g_stubConfig[i] = g_ownBlock[i];

  int fd = memfd_create("setup", 0);
  Check(fd >= 0);
  Check(write(fd, data, size) == static_cast<ssize_t>(size));
  char* sourcePath = g_setup.sourcePath;
  snprintf(sourcePath, format::kPathBufferSize, "/proc/self/fd/%d", fd);
  g_setup.sourceSwitch = true;
  g_setup.destinationFolder[0] = 0;

  if (LoadPackage()) CheckPackage();
  ReleasePackage();
  close(fd);
  return 0;
}
