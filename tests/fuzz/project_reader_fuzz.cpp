// The project-file reader over arbitrary TOML: every problem is reported as a
// message, nothing throws, nothing crashes. The project lies in a folder of its
// own beside the example projects' files, so patterns find something to match.
//
// Inputs that could make a pattern walk outside that folder (a '/', which may
// start an absolute path, a "..", or escapes and line continuations that could
// spell either) are skipped: the reader itself would follow them, and the
// fuzzer must not scan the machine.
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "fuzz_folder.h"
#include "project.h"

namespace fs = std::filesystem;

namespace {

// Beside the project, the example projects' files, so that patterns match.
const fs::path& Folder() {
  static FuzzFolder folder("project-fuzz");
  static bool filled = [] {
    for (const char* example : {"hello", "custom"})
      fs::copy(fs::path(QUORIN_SOURCE_DIR) / "examples" / example, folder.path(),
               fs::copy_options::recursive | fs::copy_options::skip_existing);
    return true;
  }();
  (void)filled;
  return folder.path();
}

bool StaysInside(const std::string& text) {
  if (text.find('/') != std::string::npos || text.find("..") != std::string::npos) return false;
  for (size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] != '\\') continue;
    char next = text[i + 1];
    if (next == 'u' || next == 'U' || next == '\n' || next == '\r' || next == ' ' || next == '\t') return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string text(reinterpret_cast<const char*>(data), size);
  if (!StaysInside(text)) return 0;
  fs::path path = Folder() / "project.toml";
  {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
  }
  Project project;
  std::vector<std::string> errors;
  bool loaded = LoadProject(path.string(), &project, &errors);
  // A refusal always says why; an accepted project has a title.
  Check(loaded ? !project.title.empty() : !errors.empty());
  return 0;
}
