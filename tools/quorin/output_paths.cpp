#include "output_paths.h"

#include <errno.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "install/paths.h"
#include "package/format.h"

namespace fs = std::filesystem;

std::string VolumePath(const std::string& setupPath, int k) {
  size_t slash = setupPath.rfind('/');
  std::string folder = slash == std::string::npos ? "" : setupPath.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? setupPath : setupPath.substr(slash + 1);
  if (name.size() >= format::kPathBufferSize) return "";
  char buffer[format::kPathBufferSize];
  snprintf(buffer, sizeof buffer, "%s", name.c_str());
  // Each volume's name comes from the one before, as the setup program makes it.
  for (int i = 1; i <= k; ++i) {
    char extension[16];
    snprintf(extension, sizeof extension, ".D%2.2d", i);
    ReplaceExtension(buffer, extension);
  }
  return folder + buffer;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa, sb;
  if (stat(a.c_str(), &sa) == 0 && stat(b.c_str(), &sb) == 0) return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
  std::error_code ea, eb;
  fs::path ca = fs::weakly_canonical(fs::absolute(a, ea), ea), cb = fs::weakly_canonical(fs::absolute(b, eb), eb);
  return !ea && !eb && ca == cb;
}

int VolumeNumberOf(const std::string& path, const std::string& setupPath) {
  std::string name = fs::path(path).filename().string();
  size_t dot = name.rfind('.');
  if (dot == std::string::npos || dot + 3 > name.size() || name[dot + 1] != 'D') return 0;
  int k = 0;
  for (size_t i = dot + 2; i < name.size(); ++i) {
    if (name[i] < '0' || name[i] > '9' || k > 100000) return 0;
    k = k * 10 + (name[i] - '0');
  }
  return k > 0 && SameFile(path, VolumePath(setupPath, k)) ? k : 0;
}

bool MakeFolders(const std::string& folder, std::vector<std::string>* made, std::string* error) {
  if (folder.empty()) return true;
  std::vector<fs::path> missing;
  std::error_code ec;
  for (fs::path p = fs::absolute(folder, ec); !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (mkdir(it->c_str(), 0777) != 0 && errno != EEXIST)
      return *error = it->string() + ": cannot create the folder: " + strerror(errno), false;
    made->push_back(it->string());
  }
  struct stat st;
  if (stat(folder.c_str(), &st) != 0) return *error = folder + ": " + strerror(errno), false;
  if (!S_ISDIR(st.st_mode)) return *error = folder + ": is not a folder", false;
  return true;
}

void RemoveFolders(const std::vector<std::string>& made) {
  for (auto it = made.rbegin(); it != made.rend(); ++it) rmdir(it->c_str());
}
