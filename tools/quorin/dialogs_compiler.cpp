#include "dialogs_compiler.h"

#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <sstream>
#include <vector>

extern char** environ;

std::string FindWindres() {
  const char* path = getenv("PATH");
  for (const char* name : {"x86_64-w64-mingw32-windres", "i686-w64-mingw32-windres", "windres"}) {
    std::stringstream dirs(path ? path : "/usr/bin");
    std::string dir;
    while (std::getline(dirs, dir, ':')) {
      std::string candidate = (dir.empty() ? "." : dir) + "/" + name;
      if (access(candidate.c_str(), X_OK) == 0) return candidate;
    }
  }
  return "";
}

bool CompileRc(const std::string& rcPath, const std::string& resPath, std::string* error) {
  std::string windres = FindWindres();
  if (windres.empty()) {
    *error = rcPath + ": no resource compiler found to compile it; install the mingw-w64 binutils "
                      "(x86_64-w64-mingw32-windres) or give a compiled .res file";
    return false;
  }
  // No shell: the paths go to windres as they stand.
  std::vector<std::string> args = {windres, "-O", "res", "-i", rcPath, "-o", resPath};
  std::vector<char*> argv;
  for (std::string& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t pid;
  int spawned = posix_spawn(&pid, windres.c_str(), nullptr, nullptr, argv.data(), environ);
  if (spawned != 0) {
    *error = rcPath + ": cannot start " + windres + ": " + strerror(spawned);
    return false;
  }
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = rcPath + ": " + windres + " could not compile it (its messages are above)";
    return false;
  }
  return true;
}
