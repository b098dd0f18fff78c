// Writes the setup-file fuzzer's starting corpus from the example projects:
// each is read with the project reader and laid out as the builder lays out a
// package (flags, folder, names, location, string groups, dialog templates,
// file list, data area), with streams from the test encoder. Variants add the
// optional records, a compressed file list, a cut into a volume file, and
// bytes behind the data.
#include <stdio.h>

#include <random>
#include <string>
#include <vector>

#include "byte_buffer.h"
#include "defaults_adapter.h"
#include "package/checksum.h"
#include "package/format.h"
#include "project.h"
#include "setup_fuzz_input.h"
#include "stream_encoder.h"

namespace {

std::mt19937 g_rng(1715);

Bytes ReadFile(const std::string& path) {
  Bytes data;
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return data;
  uint8_t buffer[4096];
  size_t got;
  while ((got = fread(buffer, 1, sizeof buffer, f)) > 0) data.insert(data.end(), buffer, buffer + got);
  fclose(f);
  return data;
}

void PutTextRecord(Bytes& out, uint16_t tag, const std::string& text) {
  Bytes body;
  PutText(body, text);
  PutRecord(out, tag, 0, body);
}

void PutCompressedRecord(Bytes& out, uint16_t tag, const Bytes& body) {
  Bytes compressed;
  PutU32(compressed, static_cast<uint32_t>(body.size()));
  PutBytes(compressed, EncodeStream(g_rng, body));
  PutRecord(out, tag, format::kRecordCompressed, compressed);
}

Bytes FileEntry(const ProjectFile& f, const Bytes& content, uint32_t packed) {
  Bytes e;
  PutU32(e, 0);
  PutU16(e, 0);
  PutU16(e, f.iconIndex);
  for (uint8_t b : {f.destinationKind, f.finishAction, f.shared, f.entryKind, f.special,
                    static_cast<uint8_t>(f.options & ~(format::kOptionCheckVersion | format::kOptionCheckLanguage))})
    PutU8(e, b);
  PutU32(e, UpdateChecksum(0, content.data(), content.size()));
  PutU32(e, static_cast<uint32_t>(content.size()));
  PutU32(e, packed);
  if (f.options & format::kOptionFileTimes)
    for (int t = 0; t < 3; ++t) PutU32(e, 0xD53E8000u + t), PutU32(e, 0x01D9C4A0u);
  for (const std::string* s : {&f.destination, &f.menuFolders, &f.menuShortcut, &f.menuArguments, &f.desktopShortcut,
                               &f.desktopArguments})
    PutText(e, *s);
  format::WriteU32(e.data(), static_cast<uint32_t>(e.size()));
  return e;
}

struct Variant {
  bool optionalRecords;
  bool compressedList;
  bool volume;
  uint32_t strayBytes;
};

// The package of one project; *volumeAt receives where the volume file starts.
Bytes Package(const Project& project, const Variant& v, uint32_t* volumeAt) {
  Bytes out;
  Bytes flags(4);
  format::WriteU32(flags.data(), project.flags);
  PutRecord(out, format::kTagFlags, 0, flags);
  PutTextRecord(out, format::kTagDefaultFolder, project.defaultFolder);
  PutTextRecord(out, format::kTagUninstallName, project.uninstallName);
  if (!project.backgroundTitle.empty()) PutTextRecord(out, format::kTagBackgroundTitle, project.backgroundTitle);
  if (project.hasRegistryLocation) {
    Bytes root(4);
    format::WriteU32(root.data(), project.registryRoot);
    PutRecord(out, format::kTagLocationRoot, 0, root);
    PutTextRecord(out, format::kTagLocationKey, project.registryKey);
    PutTextRecord(out, format::kTagLocationValue, project.registryValue);
  }
  if (project.hasIniLocation) {
    PutTextRecord(out, format::kTagLocationIniFile, project.iniFile);
    PutTextRecord(out, format::kTagLocationIniSection, project.iniSection);
    PutTextRecord(out, format::kTagLocationIniKey, project.iniKey);
  }
  if (v.optionalRecords) {
    Bytes value(4);
    format::WriteU32(value.data(), 1251);
    PutRecord(out, format::kTagCodePage, 0, value);
    format::WriteU32(value.data(), 30);
    PutRecord(out, format::kTagPacing, 0, value);
    Bytes values;
    PutU32(values, format::kValueInstallLocation | format::kValueNoModify);
    PutU32(values, 42);
    PutText(values, "1.0");
    PutText(values, "Acme \xCC\xE8\xF0");
    PutText(values, "bin\\app.exe,0");
    PutRecord(out, format::kTagUninstallValues, 0, values);
  }
  std::vector<std::vector<std::string>> groups;
  std::vector<std::string> errors;
  if (ComposeStringGroups(project, &groups, &errors)) {
    Bytes body;
    PutU16(body, static_cast<uint16_t>(groups.size()));
    for (const std::vector<std::string>& group : groups) {
      Bytes expanded;
      PutU16(expanded, static_cast<uint16_t>(group.size()));
      for (const std::string& text : group) PutText(expanded, text);
      PutU32(body, static_cast<uint32_t>(expanded.size()));
      PutBytes(body, EncodeStream(g_rng, expanded));
    }
    PutRecord(out, format::kTagStringGroups, 0, body);
  }
  Bytes templates;
  if (ComposeTemplateRecord(project, &templates, &errors)) PutCompressedRecord(out, format::kTagTemplates, templates);

  Bytes list, data;
  PutU32(list, 0);
  uint32_t count = 0;
  for (const ProjectFile& f : project.files) {
    Bytes content = f.source.empty() ? Bytes{} : ReadFile(f.source);
    Bytes stream;
    if (f.entryKind != format::kEntryExternal) stream = EncodeStream(g_rng, content);
    PutBytes(list, FileEntry(f, content, static_cast<uint32_t>(stream.size())));
    PutBytes(data, stream);
    ++count;
  }
  format::WriteU32(list.data(), count);
  if (v.compressedList) PutCompressedRecord(out, format::kTagFileList, list);
  else PutRecord(out, format::kTagFileList, 0, list);

  // The data area record; its body length counts volume 0's part only.
  uint32_t inVolume0 = v.volume ? static_cast<uint32_t>(data.size() / 2) : static_cast<uint32_t>(data.size());
  Bytes area;
  PutU32(area, inVolume0);
  PutBytes(area, data.data(), inVolume0);
  PutRecord(out, format::kTagDataArea, 0, area);
  *volumeAt = 0;
  if (v.volume) {
    *volumeAt = static_cast<uint32_t>(out.size());
    PutU32(out, static_cast<uint32_t>(data.size() - inVolume0));
    PutBytes(out, data.data() + inVolume0, data.size() - inVolume0);
  }
  PutBytes(out, Bytes(v.strayBytes, 0x5A));
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  const Variant variants[] = {{false, false, false, 0}, {true, true, false, 0}, {false, true, true, 0},
                              {true, false, false, 7}};
  int written = 0;
  for (const char* example : {"hello", "custom"}) {
    Project project;
    std::vector<std::string> errors;
    std::string path = std::string(QUORIN_SOURCE_DIR) + "/examples/" + example + "/project.toml";
    if (!LoadProject(path, &project, &errors)) {
      fprintf(stderr, "%s: %s\n", path.c_str(), errors.empty() ? "cannot read" : errors[0].c_str());
      return 1;
    }
    for (const Variant& v : variants) {
      uint32_t volumeAt;
      Bytes package = Package(project, v, &volumeAt);
      Bytes seed;
      PutU8(seed, written % 2 ? kAlsoText | kAlsoExtract | kAlsoDiff : 0);
      PutU32(seed, volumeAt);
      PutBytes(seed, package);
      std::string name = std::string(argv[1]) + "/" + example + "-" + std::to_string(written++);
      FILE* f = fopen(name.c_str(), "wb");
      if (!f || fwrite(seed.data(), 1, seed.size(), f) != seed.size()) {
        fprintf(stderr, "cannot write %s\n", name.c_str());
        return 1;
      }
      fclose(f);
    }
  }
  return 0;
}
