#include "install/destination_check.h"

#include <windows.h>

#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/destination.h"
#include "install/install_loop.h"
#include "install/paths.h"
#include "install/space.h"
#include "package/format.h"
#include "package/messages.h"

using namespace format;

namespace {

typedef BOOL(WINAPI* FreeSpaceEx)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER, PULARGE_INTEGER);

bool IsNetworkPath(const char* path) { return path[0] == '\\' && path[1] == '\\'; }

bool Writable(DWORD attributes) { return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_READONLY); }

// A read-only target is made writable for a moment and left as it was: the
// check is only whether its attribute can be changed at all.
bool CanBeMadeWritable(const char* path) {
  DWORD before = GetFileAttributesA(path);
  if (Writable(before)) return true;
  g_setup.run.readOnlyTargets = true;
  SetFileAttributesA(path, before & ~FILE_ATTRIBUTE_READONLY);
  bool writable = Writable(GetFileAttributesA(path));
  SetFileAttributesA(path, before);
  return writable;
}

}  // namespace

bool QueryFreeSpace(const char* path, uint64_t* freeKilobytes, uint32_t* clusterKb) {
  if (clusterKb) *clusterKb = 1;
  if (!path || !*path) return false;
  char copy[kPathBufferSize];
  CopyBounded(copy, kPathBufferSize, path);
  bool known = false;
  // Systems before the extended call lack it; it answers for the folder
  // itself, quotas included.
  HMODULE kernel = LoadLibraryA("KERNEL32.DLL");
  FreeSpaceEx extended =
      kernel ? reinterpret_cast<FreeSpaceEx>(reinterpret_cast<void*>(GetProcAddress(kernel, "GetDiskFreeSpaceExA")))
             : nullptr;
  if (extended) {
    if (IsNetworkPath(copy)) AppendBackslash(copy);
    else StripBackslash(copy);
    ULARGE_INTEGER available, total, free;
    if (extended(copy, &available, &total, &free)) {
      *freeKilobytes = available.QuadPart / 1024;
      known = true;
    }
  }
  if (kernel) FreeLibrary(kernel);
  if (known && !clusterKb) return true;
  if (!IsNetworkPath(copy) && copy[0] && copy[1] == ':') {
    copy[2] = '\\';
    copy[3] = 0;
  }
  DWORD sectorsPerCluster, bytesPerSector, freeClusters, clusters;
  if (!GetDiskFreeSpaceA(copy, &sectorsPerCluster, &bytesPerSector, &freeClusters, &clusters)) return known;
  uint64_t clusterBytes = static_cast<uint64_t>(sectorsPerCluster) * bytesPerSector;
  if (!known) *freeKilobytes = clusterBytes * freeClusters / 1024;
  if (clusterKb) *clusterKb = clusterBytes ? static_cast<uint32_t>((clusterBytes + 1023) / 1024) : 1;
  return true;
}

uint64_t SpaceNeeded(uint32_t clusterKb) {
  uint64_t sum = 0;
  const uint8_t* entry = g_setup.package.firstEntry;
  for (uint32_t i = 0; i < g_setup.package.fileCount; ++i, entry += ReadU32(entry + kEntrySize))
    sum += AllocatedSize(ReadU32(entry + kEntryFileSize), clusterKb);
  return sum;
}

FolderResult PrepareDestinationFolder() {
  char* folder = g_setup.destinationFolder;
  StripBackslash(folder);
  DWORD length = GetFullPathNameA(folder, kPathBufferSize, g_setup.workPathB, nullptr);
  if (length && length < kPathBufferSize) CopyBounded(folder, kPathBufferSize, g_setup.workPathB);
  if (!SetCurrentDirectoryA(folder)) {
    const char* question = GetGroupString(6, 6);
    if (*question && AskQuestion(kAskCreateFolder, question, MB_YESNO | MB_ICONQUESTION) != IDYES)
      return kFolderDeclined;
    AppendBackslash(folder);
    CreateFolders(folder);
    StripBackslash(folder);
    if (!SetCurrentDirectoryA(folder)) return kFolderFailed;
  }
  AppendBackslash(folder);
  return kFolderReady;
}

int CheckDestination() {
  uint64_t freeKilobytes = 0;
  uint32_t clusterKb;
  bool freeKnown = QueryFreeSpace(g_setup.destinationFolder, &freeKilobytes, &clusterKb);
  g_setup.run.readOnlyTargets = false;
  uint64_t extra = 0, largest = 0;
  uint8_t* entry = g_setup.package.firstEntry;
  for (uint32_t i = 0; i < g_setup.package.fileCount; ++i, entry += ReadU32(entry + kEntrySize)) {
    int inUse = ResolveEntryDestination(entry);
    const char* path = g_setup.workPathB;
    uint64_t allocated = AllocatedSize(ReadU32(entry + kEntryFileSize), clusterKb);
    if (allocated > largest) largest = allocated;
    if (entry[kEntryKind] == kEntryExternal || inUse == kDestinationTooLong) continue;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      extra += allocated;
      continue;
    }
    uint64_t existing = AllocatedSize(GetFileSize(file, nullptr), clusterKb);
    CloseHandle(file);
    if (allocated > existing) extra += allocated - existing;
    if (entry[kEntryDestKind] == kDestFonts) {
      // A font that was there before is not the installation's to remove.
      if (entry[kEntryKind] == kEntryListedForRemoval) entry[kEntryKind] = kEntryInstalled;
      continue;
    }
    if (inUse == 1) continue;
    if (!CanBeMadeWritable(path)) {
      CopyBounded(g_setup.errorFileName, kPathBufferSize, path);
      return 9;
    }
  }
  if (!freeKnown) return 0;  // a free space that cannot be found never stops the installation
  return EnoughSpace(largest + extra, freeKilobytes) ? 0 : 11;
}
