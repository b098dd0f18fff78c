// Small pieces the fuzz targets that read files from disk share.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

inline void Check(bool condition) {
  if (!condition) abort();
}

// A folder of the target's own under the temporary folder, where each run
// writes its input files; removed with the object (a static one: when the
// fuzzer ends).
class FuzzFolder {
 public:
  explicit FuzzFolder(const char* name) {
    std::string pattern = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
    Check(mkdtemp(pattern.data()) != nullptr);
    path_ = pattern;
  }
  ~FuzzFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  FuzzFolder(const FuzzFolder&) = delete;
  FuzzFolder& operator=(const FuzzFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};
