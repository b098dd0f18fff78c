#include "package_builder.h"

#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "bitmap_check.h"
#include "defaults_adapter.h"
#include "install/paths.h"
#include "package/checksum.h"
#include "package/format.h"
#include "package/marker.h"
#include "pe_version.h"

namespace {

constexpr uint64_t kMaxU32 = 0xFFFFFFFFull;

bool ReadWholeFile(const std::string& path, Bytes* out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  in.seekg(0, std::ios::end);
  std::streamoff size = in.tellg();
  if (size < 0) return false;
  in.seekg(0);
  out->resize(static_cast<size_t>(size));
  if (size > 0 && !in.read(reinterpret_cast<char*>(out->data()), size)) return false;
  return true;
}

void PutTextRecord(Bytes& out, uint16_t tag, const std::string& text) {
  Bytes body;
  PutText(body, text);
  PutRecord(out, tag, 0, body);
}

// Stores the body compressed when that is smaller.
void PutBodyRecord(Bytes& out, uint16_t tag, const Bytes& body, PackLevel level) {
  Bytes stream = PackStream(body.data(), body.size(), level);
  if (stream.size() + 4 < body.size()) {
    Bytes packed;
    PutU32(packed, static_cast<uint32_t>(body.size()));
    PutBytes(packed, stream);
    PutRecord(out, tag, format::kRecordCompressed, packed);
  } else {
    PutRecord(out, tag, 0, body);
  }
}

Bytes TitleStyleBody(const TitleStyle& s) {
  Bytes b;
  PutU32(b, s.firstColour);
  PutU32(b, s.secondColour);
  // LOGFONTA: a negative height asks for that character height in pixels.
  PutU32(b, static_cast<uint32_t>(-s.height));
  PutU32(b, 0);  // lfWidth
  PutU32(b, 0);  // lfEscapement
  PutU32(b, 0);  // lfOrientation
  PutU32(b, static_cast<uint32_t>(s.weight));
  PutU8(b, s.italic ? 1 : 0);
  PutU8(b, 0);   // lfUnderline
  PutU8(b, 0);   // lfStrikeOut
  PutU8(b, s.charset);
  PutU8(b, 0);   // lfOutPrecision
  PutU8(b, 0);   // lfClipPrecision
  PutU8(b, 0);   // lfQuality
  PutU8(b, 0);   // lfPitchAndFamily
  char face[32] = {};
  memcpy(face, s.face.data(), s.face.size() < 31 ? s.face.size() : 31);
  PutBytes(b, face, sizeof face);
  return b;
}

// FILETIME of the source's modification time, so builds repeat from the same inputs.
uint64_t FileTimeOf(const std::string& path) {
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return 0;
  constexpr uint64_t kEpochDifference = 116444736000000000ull;  // 1601 to 1970 in 100 ns
  int64_t seconds = st.st_mtim.tv_sec;
  if (seconds < -11644473600ll) return 0;
  return kEpochDifference + static_cast<uint64_t>(seconds * 10000000ll) +
         static_cast<uint64_t>(st.st_mtim.tv_nsec / 100);
}

bool AddBitmapRecord(Bytes& head, uint16_t tag, const std::string& path, PackLevel level,
                     std::vector<std::string>* errors) {
  Bytes bmp;
  if (!ReadWholeFile(path, &bmp)) return errors->push_back(path + ": cannot read the bitmap"), false;
  BitmapInfo info;
  std::string why;
  if (!CheckBitmap(bmp.data(), bmp.size(), &info, &why)) return errors->push_back(path + ": " + why), false;
  PutBodyRecord(head, tag, bmp, level);
  return true;
}

struct EntryData {
  uint32_t checksum = 0;
  uint32_t size = 0;
  uint32_t packed = 0;
  PeVersion version{};
  uint64_t fileTime = 0;
};

Bytes FileEntry(const ProjectFile& f, const EntryData& d) {
  Bytes e;
  PutU32(e, 0);  // entry size, filled in below
  PutU16(e, 0);  // status, written by the stub during the run
  PutU16(e, f.iconIndex);
  PutU8(e, f.destinationKind);
  PutU8(e, f.finishAction);
  PutU8(e, f.shared);
  PutU8(e, f.entryKind);
  PutU8(e, f.special);
  PutU8(e, f.options);
  PutU32(e, d.checksum);
  PutU32(e, d.size);
  PutU32(e, d.packed);
  if (f.options & (format::kOptionCheckVersion | format::kOptionCheckLanguage)) {
    PutU32(e, d.version.fileVersionMs);
    PutU32(e, d.version.fileVersionLs);
    PutU32(e, d.version.productVersionMs);  // carried along, the stub does not read them
    PutU32(e, d.version.productVersionLs);
    PutU32(e, d.version.language);
  }
  if (f.options & format::kOptionFileTimes)
    for (int i = 0; i < 3; ++i) {  // creation, last access, last write
      PutU32(e, static_cast<uint32_t>(d.fileTime));
      PutU32(e, static_cast<uint32_t>(d.fileTime >> 32));
    }
  for (const std::string* s : {&f.destination, &f.menuFolders, &f.menuShortcut, &f.menuArguments,
                               &f.desktopShortcut, &f.desktopArguments})
    PutText(e, *s);
  format::WriteU32(e.data(), static_cast<uint32_t>(e.size()));
  return e;
}

bool StubBytes(StubArch arch, Bytes* stub, std::vector<std::string>* errors) {
  const uint8_t* data;
  size_t size;
  EmbeddedStub(arch, &data, &size);
  stub->assign(data, data + size);
  const uint8_t* block = FindMarker(stub->data(), stub->size(), format::kConfigTag);
  if (!block || static_cast<size_t>(block - stub->data()) + format::kConfigBlockSize > stub->size())
    return errors->push_back("the embedded stub has no configuration block; rebuild quorin"), false;
  // The stub finds its package at the stub size its block holds.
  format::WriteU32(stub->data() + (block - stub->data()) + format::kConfigStubSizeOffset,
                   static_cast<uint32_t>(stub->size()));
  return true;
}

}  // namespace

bool ComposeSetup(const Project& project, const BuildOptions& options, SetupImage* image, BuildSummary* summary,
                  std::vector<std::string>* errors) {
  size_t before = errors->size();
  *summary = BuildSummary{};
  image->head.clear();
  image->data.clear();
  if (!StubBytes(options.arch, &image->head, errors)) return false;
  Bytes& head = image->head;
  PackLevel level = options.level;

  Bytes flags;
  PutU32(flags, project.flags);
  PutRecord(head, format::kTagFlags, 0, flags);
  PutTextRecord(head, format::kTagDefaultFolder, project.defaultFolder);
  PutTextRecord(head, format::kTagUninstallName, project.uninstallName);
  if (!project.backgroundTitle.empty()) PutTextRecord(head, format::kTagBackgroundTitle, project.backgroundTitle);
  if (project.hasTitleStyle) PutRecord(head, format::kTagTitleStyle, 0, TitleStyleBody(project.titleStyle));
  if (project.hasRegistryLocation) {
    Bytes root;
    PutU32(root, project.registryRoot);
    PutRecord(head, format::kTagLocationRoot, 0, root);
    PutTextRecord(head, format::kTagLocationKey, project.registryKey);
    // Without a value name the stub uses the key's default value.
    if (!project.registryValue.empty()) PutTextRecord(head, format::kTagLocationValue, project.registryValue);
  }
  if (project.hasIniLocation) {
    PutTextRecord(head, format::kTagLocationIniFile, project.iniFile);
    PutTextRecord(head, format::kTagLocationIniSection, project.iniSection);
    PutTextRecord(head, format::kTagLocationIniKey, project.iniKey);
  }

  std::vector<std::vector<std::string>> groups;
  if (ComposeStringGroups(project, &groups, errors)) {
    Bytes body;
    PutU16(body, static_cast<uint16_t>(groups.size()));
    for (const auto& group : groups) {
      Bytes expanded;
      PutU16(expanded, static_cast<uint16_t>(group.size()));
      for (const std::string& text : group) PutText(expanded, text);
      PutU32(body, static_cast<uint32_t>(expanded.size()));
      PutBytes(body, PackStream(expanded.data(), expanded.size(), level));
    }
    PutRecord(head, format::kTagStringGroups, 0, body);
  }

  Bytes templates;
  if (ComposeTemplateRecord(project, &templates, errors) && !templates.empty())
    PutBodyRecord(head, format::kTagTemplates, templates, level);
  if (!project.sideBitmap.empty()) AddBitmapRecord(head, format::kTagSideBitmap, project.sideBitmap, level, errors);
  if (!project.backgroundBitmap.empty())
    AddBitmapRecord(head, format::kTagBackgroundBitmap, project.backgroundBitmap, level, errors);

  // Sizes first, so the progress bar knows the whole.
  uint64_t total = 0;
  for (const ProjectFile& f : project.files) {
    struct stat st;
    if (!f.source.empty() && stat(f.source.c_str(), &st) == 0) total += static_cast<uint64_t>(st.st_size);
  }
  Bytes fileList;
  PutU32(fileList, static_cast<uint32_t>(project.files.size()));
  uint64_t done = 0;
  for (const ProjectFile& f : project.files) {
    if (options.progress) options.progress(done, total, f.destination);
    EntryData d;
    Bytes content;
    bool haveContent = false;
    if (!f.source.empty()) {
      if (!ReadWholeFile(f.source, &content)) {
        errors->push_back(f.origin + ": cannot read source file '" + f.source + "'");
        continue;
      }
      if (content.size() > kMaxU32) {
        errors->push_back(f.origin + ": '" + f.source + "' is larger than 4 GiB, which a file entry cannot hold");
        continue;
      }
      haveContent = true;
      d.size = static_cast<uint32_t>(content.size());
      d.checksum = UpdateChecksum(0, content.data(), content.size());
      d.fileTime = FileTimeOf(f.source);
    }
    if (f.options & (format::kOptionCheckVersion | format::kOptionCheckLanguage)) {
      std::string why;
      if (!haveContent) {
        errors->push_back(f.origin + ": 'check_version' and 'check_language' need the file's 'source' to read its version");
      } else if (!ReadPeVersion(content.data(), content.size(), &d.version, &why)) {
        errors->push_back(f.origin + ": '" + f.source + "': " + why + "; 'check_version' and 'check_language' need a version resource");
      } else if ((f.options & format::kOptionCheckLanguage) && !d.version.hasLanguage) {
        errors->push_back(f.origin + ": '" + f.source + "' names no language (VarFileInfo\\Translation), which 'check_language' needs");
      }
    }
    if ((f.options & format::kOptionFileTimes) && !haveContent)
      errors->push_back(f.origin + ": 'keep_times' needs the file's 'source' to take its times from");
    if (f.entryKind != format::kEntryExternal) {
      Bytes stream = PackStream(content.data(), content.size(), level);
      d.packed = static_cast<uint32_t>(stream.size());
      PutBytes(image->data, stream);
      summary->inputBytes += content.size();
    }
    PutBytes(fileList, FileEntry(f, d));
    ++summary->files;
    done += content.size();
  }
  if (options.progress) options.progress(done, total, "");
  PutBodyRecord(head, format::kTagFileList, fileList, level);
  if (project.startPage != format::kNoStartPage) {
    Bytes page;
    PutU16(page, project.startPage);
    PutRecord(head, format::kTagStartPage, 0, page);
  }
  summary->dataBytes = image->data.size();
  return errors->size() == before;
}

bool PlanVolumes(uint64_t headSize, uint64_t dataSize, uint64_t volumeSize, std::vector<uint32_t>* volumes,
                 std::string* error) {
  volumes->clear();
  // The setup program seeks with 32-bit offsets, so no file may reach 4 GiB.
  if (volumeSize == 0 || volumeSize > kMaxU32) volumeSize = volumeSize ? kMaxU32 : 0;
  if (volumeSize == 0 || headSize + dataSize <= volumeSize) {
    if (headSize + dataSize > kMaxU32)
      return *error = "the setup file would be larger than 4 GiB; give --volume-size to cut it into volume files", false;
    volumes->push_back(static_cast<uint32_t>(dataSize));
    return true;
  }
  if (volumeSize < 4 + kMinVolumeData)
    return *error = "--volume-size " + std::to_string(volumeSize) + " is too small: a volume file followed by another must hold at least " +
                    std::to_string(kMinVolumeData) + " data bytes, so the size must be at least " +
                    std::to_string(4 + kMinVolumeData),
           false;
  if (headSize + kMinVolumeData > volumeSize)
    return *error = "--volume-size " + std::to_string(volumeSize) + " leaves " +
                    std::to_string(volumeSize > headSize ? volumeSize - headSize : 0) +
                    " data bytes in the setup file after the stub and records (" + std::to_string(headSize) +
                    " bytes); a volume followed by another must hold at least " + std::to_string(kMinVolumeData) +
                    ", so the size must be at least " + std::to_string(headSize + kMinVolumeData),
           false;
  uint64_t left = dataSize;
  uint64_t first = volumeSize - headSize;
  volumes->push_back(static_cast<uint32_t>(first));
  left -= first;
  while (left > 0) {
    uint64_t piece = left < volumeSize - 4 ? left : volumeSize - 4;
    volumes->push_back(static_cast<uint32_t>(piece));
    left -= piece;
  }
  return true;
}

std::string VolumePath(const std::string& setupPath, int k) {
  size_t slash = setupPath.rfind('/');
  std::string folder = slash == std::string::npos ? "" : setupPath.substr(0, slash + 1);
  std::string name = slash == std::string::npos ? setupPath : setupPath.substr(slash + 1);
  char buffer[format::kPathBufferSize] = {};
  snprintf(buffer, sizeof buffer, "%s", name.c_str());
  char extension[16];
  snprintf(extension, sizeof extension, ".D%2.2d", k);
  ReplaceExtension(buffer, extension);
  return folder + buffer;
}

namespace {

bool WriteFile(const std::string& path, const std::vector<std::pair<const uint8_t*, size_t>>& pieces,
               std::string* error) {
  std::string temporary = path + ".part";
  FILE* out = fopen(temporary.c_str(), "wb");
  if (!out) return *error = path + ": cannot create the file: " + strerror(errno), false;
  bool ok = true;
  for (auto& [data, size] : pieces)
    if (size && fwrite(data, 1, size, out) != size) ok = false;
  if (fclose(out) != 0) ok = false;
  if (!ok || rename(temporary.c_str(), path.c_str()) != 0) {
    *error = path + ": cannot write the file: " + strerror(errno);
    unlink(temporary.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool WriteSetupFiles(const std::string& outPath, const SetupImage& image, const std::vector<uint32_t>& volumes,
                     std::vector<std::string>* written, std::string* error) {
  uint64_t sum = 0;
  for (uint32_t v : volumes) sum += v;
  if (volumes.empty() || sum != image.data.size()) return *error = "internal error: the volume plan does not cover the data area", false;
  for (size_t k = 0; k + 1 < volumes.size(); ++k)
    if (volumes[k] < kMinVolumeData) return *error = "internal error: a volume followed by another holds less than one read", false;
  std::string name = outPath.substr(outPath.rfind('/') == std::string::npos ? 0 : outPath.rfind('/') + 1);
  if (name.size() > format::kPathBufferSize - 5) return *error = outPath + ": the file name is too long for a setup file", false;
  Bytes header;
  PutU16(header, format::kTagDataArea);
  PutU8(header, 0);
  PutU8(header, 0);
  PutU32(header, 4 + volumes[0]);
  PutU32(header, volumes[0]);
  const uint8_t* data = image.data.data();
  written->clear();
  std::error_code ec;
  std::filesystem::path parent = std::filesystem::path(outPath).parent_path();
  if (!parent.empty()) std::filesystem::create_directories(parent, ec);
  if (!WriteFile(outPath, {{image.head.data(), image.head.size()}, {header.data(), header.size()}, {data, volumes[0]}}, error))
    return false;
  written->push_back(outPath);
  size_t at = volumes[0];
  for (size_t k = 1; k < volumes.size(); ++k) {
    uint8_t size[4];
    format::WriteU32(size, volumes[k]);
    std::string path = VolumePath(outPath, static_cast<int>(k));
    if (!WriteFile(path, {{size, 4}, {data + at, volumes[k]}}, error)) return false;
    written->push_back(path);
    at += volumes[k];
  }
  // A volume file left from an earlier, longer build would be read as a damaged
  // continuation only if the stub got there; remove it so the folder is honest.
  for (int k = static_cast<int>(volumes.size());; ++k) {
    std::string stale = VolumePath(outPath, k);
    if (unlink(stale.c_str()) != 0) break;
  }
  return true;
}

bool BuildSetup(const Project& project, const BuildOptions& options, const std::string& outPath, BuildSummary* summary,
                std::vector<std::string>* errors) {
  SetupImage image;
  if (!ComposeSetup(project, options, &image, summary, errors)) return false;
  std::vector<uint32_t> volumes;
  std::string error;
  if (!PlanVolumes(image.head.size() + kDataAreaHeader, image.data.size(), options.volumeSize, &volumes, &error) ||
      !WriteSetupFiles(outPath, image, volumes, &summary->outputs, &error)) {
    errors->push_back(error);
    return false;
  }
  const uint8_t* stub;
  size_t stubSize;
  EmbeddedStub(options.arch, &stub, &stubSize);
  summary->packageBytes = image.head.size() - stubSize + kDataAreaHeader + image.data.size() + 4 * (volumes.size() - 1);
  return true;
}
