// quorin list, verify, extract and diff over damaged setup files: whatever the
// package holds, each command ends with a status of 0 to 2, the JSON listing
// parses, a file compared with itself is the same, and extraction writes only
// inside its folder and leaves no temporary file.
//
// Input: see setup_fuzz_input.h (which commands, a split point, the package).
// list --json and verify run for every input; the others when the input asks,
// because each command reads the whole file again.
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "fuzz_folder.h"
#include "setup_commands.h"
#include "setup_fuzz_input.h"

namespace fs = std::filesystem;

namespace {

const fs::path& Folder() {
  static FuzzFolder folder("setup-fuzz");
  return folder.path();
}

void WriteFile(const fs::path& path, const uint8_t* data, size_t size, bool withStub) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (withStub) {
    std::vector<uint8_t> stub = FakeStub();
    out.write(reinterpret_cast<const char*>(stub.data()), static_cast<std::streamsize>(stub.size()));
  }
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  Check(out.good());
}

}  // namespace

// Every command expands a dozen streams, each with its own window and tables;
// the default quarantine of freed blocks makes each run touch megabytes of
// fresh pages. A smaller one still catches a block used right after freeing.
extern "C" const char* __asan_default_options() { return "quarantine_size_mb=16"; }

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < kInputHeader) return 0;
  uint8_t also = data[0];
  uint32_t volumeAt = format::ReadU32(data + 1);
  const uint8_t* package = data + kInputHeader;
  size_t packageSize = size - kInputHeader;
  fs::path setup = Folder() / "setup.exe", volume = Folder() / "setup.D01", extracted = Folder() / "x";
  std::error_code ec;
  fs::remove(volume, ec);
  if (volumeAt != 0 && volumeAt < packageSize) {
    WriteFile(volume, package + volumeAt, packageSize - volumeAt, false);
    packageSize = volumeAt;
  }
  WriteFile(setup, package, packageSize, true);

  std::ostringstream out, err, json;
  int listed = ListSetup(setup, ListSections{}, ListFormat::kJson, json, err);
  Check(listed >= 0 && listed <= 2);
  if (listed != 2) Check(!nlohmann::json::parse(json.str(), nullptr, false).is_discarded());
  int verified = VerifySetup(setup, out, err);
  Check(verified >= 0 && verified <= 2);
  if (also & kAlsoText) {
    Check(ListSetup(setup, ListSections{}, ListFormat::kText, out, err) == listed);
    Check(ListSetup(setup, ListSections{}, ListFormat::kTable, out, err) == listed);
  }
  if (also & kAlsoDiff) Check(DiffSetupFiles(setup, setup, out, err) == (listed == 2 ? 2 : 0));
  if (also & kAlsoExtract) {
    fs::remove_all(extracted, ec);
    int status = ExtractSetup(setup, extracted, ExtractOptions{}, out, err);
    Check(status >= 0 && status <= 2);
    // Everything written lies inside the folder, and no temporary file is left.
    if (fs::exists(extracted))
      for (auto& e : fs::recursive_directory_iterator(extracted)) {
        Check(e.path().string().rfind(extracted.string(), 0) == 0);
        Check(e.path().filename().string().find(".quorin-") == std::string::npos);
      }
  }
  return 0;
}
