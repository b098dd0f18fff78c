// quorin list of an installed uninstaller over arbitrary uninstall data: the
// file is an uninstaller's configuration block followed by the data, and the
// listing must read it whole without a fault, in text and as JSON, and name
// every entry it shows as left alone among its problems.
//
// Input: the first byte 0xFF takes the length the block holds from the next
// four bytes (any length, also past the end of the file); otherwise the
// block holds its true length and the data starts behind the first byte (so
// the uninstall_data seeds fit).
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "fuzz_folder.h"
#include "package/format.h"
#include "uninstaller_listing.h"

namespace {

const std::filesystem::path& Folder() {
  static FuzzFolder folder("uninstaller-fuzz");
  return folder.path();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  // 'w' 'w' "UnIn", the length, 8 unused bytes; the placeholder is the data's
  // first 8 bytes.
  uint8_t block[format::kConfigBlockSize] = {'w', 'w', 'U', 'n', 'I', 'n'};
  size_t skip = 1;
  uint32_t length = format::kConfigBlockSize + 8;
  if (input[0] == 0xFF && size >= 5) {
    length = format::ReadU32(input + 1);
    skip = 5;
  }
  format::WriteU32(block + format::kConfigStubSizeOffset, length);
  std::filesystem::path path = Folder() / "uninst.exe";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(block), sizeof block);
    out.write(reinterpret_cast<const char*>(input + skip), static_cast<std::streamsize>(size - skip));
    Check(out.good());
  }

  UninstallerView view;
  std::string error;
  Check(ReadUninstaller(path.string(), 1252, &view, &error));
  std::ostringstream text;
  PrintUninstaller(view, text);
  std::string json = UninstallerModel(view).dump(2, ' ', false, nlohmann::json::error_handler_t::replace);
  Check(!nlohmann::json::parse(json, nullptr, false).is_discarded());
  size_t refused = 0;
  for (const UninstallRecordView& r : view.records) {
    for (const UninstallEntryView& e : r.entries) refused += !e.refused.empty();
    refused += !r.keyRefused.empty() || !r.problem.empty();
  }
  // Each refusal is a problem of its own; the data as a whole may add one.
  Check(view.problems.size() >= refused && view.problems.size() <= refused + 1);
  return 0;
}
