#include "source_check.h"

#include <errno.h>
#include <fcntl.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "package/format.h"

namespace {

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

bool LooksLikeFont(const uint8_t* head, size_t size) {
  if (size < 4) return false;
  uint32_t tag = static_cast<uint32_t>(head[0]) << 24 | head[1] << 16 | head[2] << 8 | head[3];
  if (tag == 0x00010000 || tag == 0x4F54544F /* OTTO */ || tag == 0x74727565 /* true */ ||
      tag == 0x74746366 /* ttcf */ || tag == 0x74797031 /* typ1 */)
    return true;
  if (head[0] == 'M' && head[1] == 'Z') return true;                            // .fon, .fot: a resource-only executable
  if ((head[0] == 0x00 || head[0] == 0x01) && head[1] == 0x02) return true;     // .fnt, versions 1.0 and 2.0
  if (head[0] == 0x00 && head[1] == 0x03) return true;                          // .fnt, version 3.0
  if (head[0] == 0x80 && head[1] == 0x01) return true;                          // .pfb
  if (head[0] == 0x00 && head[1] == 0x01 && size >= 6) return true;             // .pfm
  return false;
}

void CheckSources(const Project& project, std::vector<SourceFacts>* facts, std::vector<std::string>* errors,
                  std::vector<std::string>* warnings) {
  facts->assign(project.files.size(), SourceFacts{});
  for (size_t i = 0; i < project.files.size(); ++i) {
    const ProjectFile& f = project.files[i];
    SourceFacts& s = (*facts)[i];
    auto fail = [&](const std::string& problem) { errors->push_back(f.origin + ": " + problem); };
    bool wantsVersion = f.options & (format::kOptionCheckVersion | format::kOptionCheckLanguage);
    if (f.source.empty()) {
      if (wantsVersion) fail("'check_version' and 'check_language' need the file's 'source' to read its version");
      if (f.options & format::kOptionFileTimes) fail("'keep_times' needs the file's 'source' to take its times from");
      continue;
    }
    Descriptor file;
    file.fd = open(f.source.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat st;
    if (file.fd < 0 || fstat(file.fd, &st) != 0) {
      fail("cannot open source file '" + f.source + "': " + strerror(errno));
      continue;
    }
    if (!S_ISREG(st.st_mode)) {
      fail("source '" + f.source + "' is not a file");
      continue;
    }
    s.size = static_cast<uint64_t>(st.st_size);
    s.modifiedSeconds = st.st_mtim.tv_sec;
    s.modifiedNanoseconds = st.st_mtim.tv_nsec;
    if (s.size > kMaxSourceBytes) {
      fail("source file '" + f.source + "' is " + std::to_string(s.size) +
           " bytes; a file of a setup must be smaller than 4 GiB (4,294,967,296 bytes)");
      continue;
    }
    s.present = true;
    if (wantsVersion) {
      std::string why;
      if (!ReadPeVersionOfFile(file.fd, s.size, &s.version, &why))
        fail("'" + f.source + "': " + why + "; 'check_version' and 'check_language' need a version resource");
      else if ((f.options & format::kOptionCheckLanguage) && !s.version.hasLanguage)
        fail("'" + f.source + "' names no language (VarFileInfo\\Translation), which 'check_language' needs");
    }
    if (f.destinationKind == format::kDestFonts) {
      uint8_t head[8] = {};
      ssize_t got = pread(file.fd, head, sizeof head, 0);
      if (got < 0) fail("cannot read source file '" + f.source + "': " + strerror(errno));
      else if (!LooksLikeFont(head, static_cast<size_t>(got)))
        warnings->push_back(f.origin + ": warning: '" + f.source +
                            "' is not a font file (TrueType, OpenType or Windows .fon); kind = \"fonts\" registers "
                            "it as a font, which Windows will refuse");
    }
  }
}
