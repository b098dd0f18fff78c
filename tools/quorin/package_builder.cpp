#include "package_builder.h"

#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <thread>

#include "bitmap_check.h"
#include "defaults_adapter.h"
#include "grouped_number.h"
#include "package/format.h"
#include "package/marker.h"

namespace {

constexpr uint64_t kMaxU32 = 0xFFFFFFFFull;
// The stub keeps a bitmap whole in memory; a larger one is no side or tile bitmap.
constexpr uint64_t kMaxBitmapBytes = 32ull << 20;
constexpr size_t kCopyBlock = 1 << 20;

// A small input file read whole, its size checked first.
bool ReadSmallFile(const std::string& path, uint64_t limit, Bytes* out, std::string* why) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) {
    *why = std::string("cannot open it: ") + strerror(errno);
    if (fd >= 0) close(fd);
    return false;
  }
  bool ok = true;
  if (static_cast<uint64_t>(st.st_size) > limit) {
    *why = "it is " + Grouped(static_cast<uint64_t>(st.st_size)) + " bytes; the limit is " + Grouped(limit);
    ok = false;
  } else {
    out->resize(static_cast<size_t>(st.st_size));
    size_t done = 0;
    while (ok && done < out->size()) {
      ssize_t got = read(fd, out->data() + done, out->size() - done);
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        *why = got < 0 ? std::string("cannot read it: ") + strerror(errno) : "it became shorter while it was read";
        ok = false;
      }
      done += got > 0 ? static_cast<size_t>(got) : 0;
    }
  }
  close(fd);
  return ok;
}

void PutTextRecord(Bytes& out, uint16_t tag, const std::string& text) {
  Bytes body;
  PutText(body, text);
  PutRecord(out, tag, 0, body);
}

void PutU32Record(Bytes& out, uint16_t tag, uint32_t value) {
  Bytes body;
  PutU32(body, value);
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

// Values of the uninstall entry beside its name: the folder, the size, no
// modify and no repair buttons, and the project's version, publisher and icon.
Bytes UninstallValuesBody(const Project& project, const std::vector<SourceFacts>& sources) {
  uint64_t bytes = 0;
  for (size_t i = 0; i < project.files.size(); ++i)
    if (project.files[i].entryKind != format::kEntryExternal) bytes += sources[i].size;
  uint64_t kilobytes = (bytes + 1023) / 1024;
  Bytes b;
  PutU32(b, format::kValueInstallLocation | format::kValueEstimatedSize | format::kValueNoModify |
                format::kValueNoRepair);
  PutU32(b, static_cast<uint32_t>(kilobytes > kMaxU32 ? kMaxU32 : kilobytes));
  PutText(b, project.displayVersion);
  PutText(b, project.publisher);
  PutText(b, project.displayIcon);
  return b;
}

// FILETIME of the source's modification time, so builds repeat from the same inputs.
uint64_t FileTimeOf(const SourceFacts& s) {
  constexpr uint64_t kEpochDifference = 116444736000000000ull;  // 1601 to 1970 in 100 ns
  if (s.modifiedSeconds < -11644473600ll) return 0;
  return kEpochDifference + static_cast<uint64_t>(s.modifiedSeconds * 10000000ll) +
         static_cast<uint64_t>(s.modifiedNanoseconds / 100);
}

bool AddBitmapRecord(Bytes& head, uint16_t tag, const std::string& path, PackLevel level,
                     std::vector<std::string>* errors) {
  Bytes bmp;
  std::string why;
  if (!ReadSmallFile(path, kMaxBitmapBytes, &bmp, &why)) return errors->push_back(path + ": " + why), false;
  BitmapInfo info;
  if (!CheckBitmap(bmp.data(), bmp.size(), &info, &why)) return errors->push_back(path + ": " + why), false;
  PutBodyRecord(head, tag, bmp, level);
  return true;
}

Bytes FileEntry(const ProjectFile& f, const SourceFacts& s, const PackedFile& p) {
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
  PutU32(e, p.checksum);
  PutU32(e, static_cast<uint32_t>(s.size));
  PutU32(e, p.packed);
  if (f.options & (format::kOptionCheckVersion | format::kOptionCheckLanguage)) {
    PutU32(e, s.version.fileVersionMs);
    PutU32(e, s.version.fileVersionLs);
    PutU32(e, s.version.productVersionMs);  // carried along, the stub does not read them
    PutU32(e, s.version.productVersionLs);
    PutU32(e, s.version.language);
  }
  if (f.options & format::kOptionFileTimes) {
    uint64_t time = FileTimeOf(s);
    for (int i = 0; i < 3; ++i) {  // creation, last access, last write
      PutU32(e, static_cast<uint32_t>(time));
      PutU32(e, static_cast<uint32_t>(time >> 32));
    }
  }
  for (const std::string* text : {&f.destination, &f.menuFolders, &f.menuShortcut, &f.menuArguments,
                                  &f.desktopShortcut, &f.desktopArguments})
    PutText(e, *text);
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
    return errors->push_back("this quorin carries a damaged setup stub; rebuild quorin"), false;
  // The stub finds its package at the stub size its block holds.
  format::WriteU32(stub->data() + (block - stub->data()) + format::kConfigStubSizeOffset,
                   static_cast<uint32_t>(stub->size()));
  return true;
}

// Inputs the project names must not be the setup file the build writes. A
// project read with this output path was checked as it was read.
void CheckInputsAreNotOutput(const Project& project, const std::string& outPath, std::vector<std::string>* errors) {
  if (outPath.empty()) return;
  struct stat st;
  if (stat(outPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
    errors->push_back(outPath + ": is a folder; give -o the name of the setup file to write");
    return;
  }
  if (!project.outputPath.empty() && SameFile(project.outputPath, outPath)) return;
  auto check = [&](const std::string& origin, const std::string& input) {
    if (input.empty()) return;
    if (SameFile(input, outPath))
      errors->push_back(origin + ": '" + input + "' is the setup file this build writes (-o); give the output another name");
    else if (int k = VolumeNumberOf(input, outPath))
      errors->push_back(origin + ": '" + input + "' is volume file " + std::to_string(k) +
                        " of the setup file this build writes (-o); give the output another name");
  };
  check(project.path, project.path);
  for (const ProjectFile& f : project.files) check(f.origin, f.source);
  check(project.path, project.sideBitmap);
  check(project.path, project.backgroundBitmap);
  check(project.dialogsOrigin, project.dialogs);
  check(project.informationFileOrigin, project.informationFile);
}

// Stub, the prepared records, the file list and the start page.
bool FinishHead(const Project& project, const PreparedSetup& prepared, const std::vector<PackedFile>& packed,
                const BuildOptions& options, Bytes* head, std::vector<std::string>* errors) {
  if (!StubBytes(options.arch, head, errors)) return false;
  PutBytes(*head, prepared.records);
  Bytes fileList;
  PutU32(fileList, static_cast<uint32_t>(project.files.size()));
  for (size_t i = 0; i < project.files.size(); ++i)
    PutBytes(fileList, FileEntry(project.files[i], prepared.sources[i], packed[i]));
  PutBodyRecord(*head, format::kTagFileList, fileList, options.level);
  if (project.startPage != format::kNoStartPage) {
    Bytes page;
    PutU16(page, project.startPage);
    PutRecord(*head, format::kTagStartPage, 0, page);
  }
  return true;
}

void Summarise(const Project& project, const PreparedSetup& prepared, uint64_t dataBytes, BuildSummary* summary) {
  summary->files = project.files.size();
  summary->inputBytes = 0;
  for (size_t i = 0; i < project.files.size(); ++i)
    if (project.files[i].entryKind != format::kEntryExternal) summary->inputBytes += prepared.sources[i].size;
  summary->dataBytes = dataBytes;
  summary->warnings.insert(summary->warnings.end(), prepared.warnings.begin(), prepared.warnings.end());
}

PackOptions PackOptionsOf(const BuildOptions& options) {
  PackOptions pack;
  pack.level = options.level;
  pack.jobs = options.jobs > 0 ? options.jobs : DefaultJobs();
  pack.pieceBytes = options.pieceBytes;
  pack.progress = options.progress;
  return pack;
}

}  // namespace

int DefaultJobs() {
  cpu_set_t set;
  if (sched_getaffinity(0, sizeof set, &set) == 0 && CPU_COUNT(&set) > 0) return CPU_COUNT(&set);
  unsigned cores = std::thread::hardware_concurrency();
  return cores ? static_cast<int>(cores) : 1;
}

bool PrepareSetup(const Project& project, const BuildOptions& options, const std::string& outPath,
                  PreparedSetup* prepared, std::vector<std::string>* errors) {
  size_t before = errors->size();
  *prepared = PreparedSetup{};
  CheckInputsAreNotOutput(project, outPath, errors);
  CheckSources(project, &prepared->sources, errors, &prepared->warnings);
  for (size_t i = 0; i < project.files.size(); ++i) {
    if (!project.files[i].builtIn) continue;
    // The uninstaller of the stub's architecture, as its build made it.
    SourceFacts& s = prepared->sources[i];
    size_t size;
    EmbeddedUninstaller(options.arch, &s.embedded, &size);
    s.size = size;
    s.present = true;
  }
  Bytes& head = prepared->records;
  PackLevel level = options.level;

  PutU32Record(head, format::kTagFlags, project.flags);
  PutU32Record(head, format::kTagCodePage, project.codepage);
  if (project.pacing) PutU32Record(head, format::kTagPacing, project.pacingMs);
  PutTextRecord(head, format::kTagDefaultFolder, project.defaultFolder);
  PutTextRecord(head, format::kTagUninstallName, project.uninstallName);
  PutRecord(head, format::kTagUninstallValues, 0, UninstallValuesBody(project, prepared->sources));
  if (!project.backgroundTitle.empty()) PutTextRecord(head, format::kTagBackgroundTitle, project.backgroundTitle);
  if (project.hasTitleStyle) PutRecord(head, format::kTagTitleStyle, 0, TitleStyleBody(project.titleStyle));
  if (project.hasRegistryLocation) {
    PutU32Record(head, format::kTagLocationRoot, project.registryRoot);
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
  if (ComposeTemplateRecord(project, &templates, errors, &prepared->warnings) && !templates.empty())
    PutBodyRecord(head, format::kTagTemplates, templates, level);
  if (!project.sideBitmap.empty()) AddBitmapRecord(head, format::kTagSideBitmap, project.sideBitmap, level, errors);
  if (!project.backgroundBitmap.empty())
    AddBitmapRecord(head, format::kTagBackgroundBitmap, project.backgroundBitmap, level, errors);
  return errors->size() == before;
}

bool ComposeSetup(const Project& project, const BuildOptions& options, SetupImage* image, BuildSummary* summary,
                  std::vector<std::string>* errors) {
  *summary = BuildSummary{};
  image->head.clear();
  PreparedSetup prepared;
  std::vector<PackedFile> packed;
  if (!PrepareSetup(project, options, "", &prepared, errors) ||
      !PackFiles(project, prepared.sources, PackOptionsOf(options), &image->data, &packed, errors) ||
      !FinishHead(project, prepared, packed, options, &image->head, errors))
    return false;
  Summarise(project, prepared, image->data.size(), summary);
  return true;
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
  // The setup file holds the stub and the records before its share of the
  // data; each later volume holds a 4-byte size before its share. Every
  // volume followed by another needs kMinVolumeData, and the setup file's
  // share is the tightest, so one number covers them all.
  uint64_t smallest = headSize + kMinVolumeData;
  if (volumeSize < smallest)
    return *error = "--volume-size " + Grouped(volumeSize) + " is too small: the setup file's stub and records take " +
                    Grouped(headSize) + " bytes, and a volume followed by another must hold at least " +
                    Grouped(kMinVolumeData) + " data bytes, so the size must be at least " + Grouped(smallest) +
                    " (or " + Grouped(headSize + dataSize) + " for a setup without volume files)",
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

namespace {

// One output file: written whole under a temporary name beside it.
struct PendingFile {
  std::string path;
  std::string temporary;
};

bool WriteAll(int fd, const uint8_t* data, size_t size) {
  while (size) {
    ssize_t wrote = write(fd, data, size);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    data += wrote;
    size -= static_cast<size_t>(wrote);
  }
  return true;
}

// Writes prefix and then bytes [from, from + count) of the data area.
bool WritePending(PendingFile* file, const Bytes& prefix, const DataArea& data, uint64_t from, uint64_t count,
                  std::string* error) {
  std::string folder = std::filesystem::path(file->path).parent_path().string();
  std::string name = std::filesystem::path(file->path).filename().string();
  file->temporary = (folder.empty() ? "" : folder + "/") + "." + name + ".quorin-XXXXXX";
  int fd = mkostemp(file->temporary.data(), O_CLOEXEC);
  if (fd < 0) {
    *error = file->path + ": cannot create the file: " + strerror(errno);
    file->temporary.clear();
    return false;
  }
  bool ok = WriteAll(fd, prefix.data(), prefix.size());
  Bytes block;
  while (ok && count) {
    size_t n = count < kCopyBlock ? static_cast<size_t>(count) : kCopyBlock;
    block.resize(n);
    if (!data.ReadAt(from, n, block.data(), error)) {
      close(fd);
      return false;
    }
    ok = WriteAll(fd, block.data(), n);
    from += n;
    count -= n;
  }
  // Made with the permissions a new file of this user gets.
  mode_t mask = umask(0);
  umask(mask);
  if (ok) ok = fchmod(fd, 0666 & ~mask) == 0;
  int writeError = errno;
  if (close(fd) != 0 && ok) {
    ok = false;
    writeError = errno;
  }
  if (!ok) *error = file->path + ": cannot write the file: " + strerror(writeError);
  return ok;
}

}  // namespace

bool WriteSetupFiles(const std::string& outPath, const SetupImage& image, const std::vector<uint32_t>& volumes,
                     std::vector<std::string>* written, std::string* error) {
  uint64_t sum = 0;
  for (uint32_t v : volumes) sum += v;
  if (volumes.empty() || sum != image.data.size())
    return *error = "the volume plan does not cover the data area", false;
  for (size_t k = 0; k + 1 < volumes.size(); ++k)
    if (volumes[k] < kMinVolumeData) return *error = "a volume followed by another holds less than one read", false;
  std::string name = outPath.substr(outPath.rfind('/') == std::string::npos ? 0 : outPath.rfind('/') + 1);
  if (name.size() > format::kPathBufferSize - 5)
    return *error = outPath + ": the file name is too long for a setup file", false;
  written->clear();
  std::vector<PendingFile> files(volumes.size());
  auto discard = [&] {
    for (const PendingFile& f : files)
      if (!f.temporary.empty()) unlink(f.temporary.c_str());
    return false;
  };
  Bytes prefix = image.head;
  PutU16(prefix, format::kTagDataArea);
  PutU8(prefix, 0);
  PutU8(prefix, 0);
  PutU32(prefix, 4 + volumes[0]);
  PutU32(prefix, volumes[0]);
  uint64_t at = 0;
  for (size_t k = 0; k < volumes.size(); ++k) {
    files[k].path = k == 0 ? outPath : VolumePath(outPath, static_cast<int>(k));
    if (k > 0) {
      prefix.clear();
      PutU32(prefix, volumes[k]);
    }
    if (!WritePending(&files[k], prefix, image.data, at, volumes[k], error)) return discard();
    at += volumes[k];
  }
  for (PendingFile& f : files) {
    if (rename(f.temporary.c_str(), f.path.c_str()) != 0) {
      *error = f.path + ": cannot write the file: " + strerror(errno);
      return discard();
    }
    f.temporary.clear();
    written->push_back(f.path);
  }
  // A volume file left from an earlier, longer build would be read as a damaged
  // continuation only if the stub got there; remove it so the folder is honest.
  for (int k = static_cast<int>(volumes.size());; ++k) {
    std::string stale = VolumePath(outPath, k);
    if (unlink(stale.c_str()) != 0) break;
  }
  return true;
}

bool BuildPrepared(const Project& project, const PreparedSetup& prepared, const BuildOptions& options,
                   const std::string& outPath, BuildSummary* summary, std::vector<std::string>* errors) {
  *summary = BuildSummary{};
  std::vector<std::string> made;
  std::string folder = std::filesystem::path(outPath).parent_path().string(), error;
  SetupImage image;
  std::vector<PackedFile> packed;
  std::vector<uint32_t> volumes;
  bool ok = MakeFolders(folder, &made, &error) && image.data.UseTemporaryFile(folder, &error);
  if (!ok) errors->push_back(error);
  ok = ok && PackFiles(project, prepared.sources, PackOptionsOf(options), &image.data, &packed, errors) &&
       FinishHead(project, prepared, packed, options, &image.head, errors);
  if (ok && !(PlanVolumes(image.head.size() + kDataAreaHeader, image.data.size(), options.volumeSize, &volumes,
                          &error) &&
              WriteSetupFiles(outPath, image, volumes, &summary->outputs, &error))) {
    errors->push_back(error);
    ok = false;
  }
  if (!ok) {
    RemoveFolders(made);
    return false;
  }
  Summarise(project, prepared, image.data.size(), summary);
  if (volumes.size() > kMaxShortVolumeFiles + 1)
 summary->warnings.push_back(outPath + ": warning: --volume-size " + Grouped(options.volumeSize) + " makes " +
                                Grouped(volumes.size() - 1) + " volume files; names past " +
                                std::filesystem::path(VolumePath(outPath, static_cast<int>(kMaxShortVolumeFiles)))
                                    .filename()
                                    .string() +
                                " are longer than 8.3, which disks of the Windows 9x family may not take");
  const uint8_t* stub;
  size_t stubSize;
  EmbeddedStub(options.arch, &stub, &stubSize);
  summary->packageBytes = image.head.size() - stubSize + kDataAreaHeader + image.data.size() + 4 * (volumes.size() - 1);
  return true;
}

bool BuildSetup(const Project& project, const BuildOptions& options, const std::string& outPath, BuildSummary* summary,
                std::vector<std::string>* errors) {
  PreparedSetup prepared;
  if (!PrepareSetup(project, options, outPath, &prepared, errors)) return false;
  return BuildPrepared(project, prepared, options, outPath, summary, errors);
}
