// Small pieces the fuzz targets that read files from disk share.
#pragma once

#include <stdlib.h>

#include <filesystem>
#include <string>

inline void Check(bool condition) {
  if (!condition) abort();
}

// A folder of the target's own under the temporary folder, made on first use
// and kept for the process: each run writes its input files there.
inline std::filesystem::path MakeFuzzFolder(const char* name) {
  std::string pattern = (std::filesystem::temp_directory_path() / (std::string(name) + "-XXXXXX")).string();
  Check(mkdtemp(pattern.data()) != nullptr);
  return pattern;
}
