// Reads arbitrary bytes as uninstall data, record by record and entry by
// entry, and resolves every entry as the uninstaller would. Every text the
// reader hands out must lie inside the data; the sanitizers catch any read
// outside it. The first byte chooses the destination folder.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "install/uninstall_data.h"
#include "package/format.h"

namespace {

void Check(bool condition) {
  if (!condition) abort();
}

void CheckInside(CountedText text, const uint8_t* data, size_t size) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(text.text);
  Check(p >= data && p + text.length <= data + size);
}

void CheckResolved(const UninstallItem& item, const char* destination) {
  char path[format::kPathBufferSize + 1];
  path[format::kPathBufferSize] = 0x5A;
  RecordedPathResult result = RecordedPath(path, item.folder, item.name, destination);
  Check(path[format::kPathBufferSize] == 0x5A);
  size_t length = strlen(path);
  Check(length < format::kPathBufferSize);
  if (result != kPathRelative && result != kPathAbsolute) {
    Check(length == 0);
    return;
  }
  // Nothing resolved may climb: no "\..\" or "\.\" can be in it.
  Check(strstr(path, "\\..\\") == nullptr && strstr(path, "\\.\\") == nullptr);
  if (result == kPathRelative) Check(IsInsideFolder(path, destination));
  // The writer records the path under the same folder it came from.
  char folder[format::kPathBufferSize];
  RecordedFolderOf(folder, path, destination);
  if (result == kPathRelative) Check(folder[0] == '.');
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  if (inputSize < 1) return 0;
  static const char* const kDestinations[] = {"C:\\Program Files\\Product", "C:\\", "D:\\A\\"};
  const char* destination = kDestinations[input[0] % 3];
  // An exact copy, so that a read one byte past the data is caught.
  std::vector<uint8_t> copy(input + 1, input + inputSize);
  const uint8_t* data = copy.data();
  size_t size = copy.size();

  UninstallReader reader;
  StartUninstallData(&reader, data, size);
  size_t records = 0;
  while (!reader.finished) {
    Check(++records <= size / 8 + 1);
    UninstallRecord record;
    UninstallDataResult result = NextUninstallRecord(&reader, &record);
    Check(UninstallDataProblem(result) != nullptr);
    if (result != kDataOk) continue;
    Check(record.body >= data && record.body + record.length <= data + size);
    if (record.tag == uninstall::kTagKey) {
      uint32_t root;
      CountedText path;
      ReadUninstallKey(record, &root, &path);
      CheckInside(path, data, size);
      continue;
    }
    if (record.tag != uninstall::kTagFiles && record.tag != uninstall::kTagShortcuts) continue;
    UninstallItems items;
    StartUninstallItems(record, &items);
    uint32_t expected = items.left;
    uint32_t seen = 0;
    UninstallItem item;
    while (NextUninstallItem(&items, &item)) {
      CheckInside(item.folder, data, size);
      CheckInside(item.name, data, size);
      CheckResolved(item, destination);
      ++seen;
    }
    // A record that passed its check holds exactly its count of entries.
    Check(seen == expected);
  }
  return 0;
}
