#include "pe_version.h"

#include <errno.h>
#include <string.h>
#include <unistd.h>

#include "package/format.h"

using format::ReadU16;
using format::ReadU32;

namespace {

constexpr uint16_t kResourceVersion = 16;  // RT_VERSION
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr int kMaxResourceDepth = 3;       // type, name, language
constexpr size_t kMaxVersionInfo = 0xFFFF; // VS_VERSIONINFO counts its length in a u16

// The file through small reads: only the headers, the resource directories on
// the way to the version resource and the resource itself are ever read, so a
// large file costs no more memory than a small one.
struct Image {
  const PeReader& read;
  uint64_t size;
  std::vector<uint8_t> sections;  // the section table
  uint16_t sectionCount = 0;

  bool Has(uint64_t offset, uint64_t length) const { return offset <= size && length <= size - offset; }
  bool Read(uint64_t offset, size_t length, std::vector<uint8_t>* out) const {
    return Has(offset, length) && read(offset, length, out) && out->size() == length;
  }
};

// File offset of a virtual address, through the section that holds it.
bool RvaToOffset(const Image& image, uint32_t rva, uint32_t length, uint64_t* offset) {
  for (uint16_t i = 0; i < image.sectionCount; ++i) {
    const uint8_t* s = image.sections.data() + i * 40u;
    uint32_t virtualSize = ReadU32(s + 8), virtualAddress = ReadU32(s + 12);
    uint32_t rawSize = ReadU32(s + 16), rawPointer = ReadU32(s + 20);
    uint32_t extent = virtualSize > rawSize ? virtualSize : rawSize;
    if (rva >= virtualAddress && rva - virtualAddress < extent) {
      uint32_t inside = rva - virtualAddress;
      if (inside > rawSize || length > rawSize - inside) return false;
      *offset = static_cast<uint64_t>(rawPointer) + inside;
      return image.Has(*offset, length);
    }
  }
  return false;
}

// Walks one level of the resource directory at root + directory: the entry
// with the wanted id, or the first entry when id is 0. Returns its offset field.
bool FindResourceEntry(const Image& image, uint64_t root, uint32_t rootSize, uint32_t directory, uint16_t id,
                       uint32_t* field) {
  if (directory > rootSize || rootSize - directory < 16) return false;
  std::vector<uint8_t> d;
  if (!image.Read(root + directory, 16, &d)) return false;
  uint32_t count = static_cast<uint32_t>(ReadU16(d.data() + 12)) + ReadU16(d.data() + 14);
  if (count == 0 || (rootSize - directory - 16) / 8 < count) return false;
  std::vector<uint8_t> entries;
  if (!image.Read(root + directory + 16, count * 8u, &entries)) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = entries.data() + i * 8;
    uint32_t name = ReadU32(e);
    if (id == 0 || (!(name & 0x80000000u) && name == id)) {
      *field = ReadU32(e + 4);
      return true;
    }
  }
  return false;
}

size_t Align4(size_t v) { return (v + 3) & ~size_t(3); }

// A version block: u16 length, u16 value length, u16 type, UTF-16 key, padding,
// value, padding, children. Compares the key with an ASCII name.
bool KeyIs(const uint8_t* block, size_t length, const char* name, size_t* valueAt) {
  size_t at = 6;
  for (const char* c = name;; ++c) {
    if (at + 2 > length) return false;
    uint16_t ch = ReadU16(block + at);
    at += 2;
    if (ch != static_cast<uint8_t>(*c)) return false;
    if (*c == 0) break;
  }
  *valueAt = Align4(at);
  return true;
}

bool FindTranslation(const uint8_t* info, size_t length, size_t childrenAt, uint16_t* language) {
  // VS_VERSION_INFO children: StringFileInfo and VarFileInfo blocks.
  for (size_t at = childrenAt; at + 6 <= length;) {
    size_t blockLength = ReadU16(info + at);
    if (blockLength < 6 || blockLength > length - at) return false;
    size_t valueAt;
    if (KeyIs(info + at, blockLength, "VarFileInfo", &valueAt)) {
      for (size_t v = valueAt; v + 6 <= blockLength;) {
        const uint8_t* var = info + at + v;
        size_t varLength = ReadU16(var), valueLength = ReadU16(var + 2);
        if (varLength < 6 || varLength > blockLength - v) return false;
        size_t translationAt;
        if (KeyIs(var, varLength, "Translation", &translationAt) && valueLength >= 4 &&
            translationAt + 4 <= varLength) {
          *language = ReadU16(var + translationAt);
          return true;
        }
        v += Align4(varLength);
      }
    }
    at += Align4(blockLength);
  }
  return false;
}

}  // namespace

bool ReadPeVersion(const PeReader& read, uint64_t size, PeVersion* out, std::string* why) {
  *out = PeVersion{};
  Image image{read, size, {}, 0};
  std::vector<uint8_t> b;
  if (!image.Read(0, 64, &b) || b[0] != 'M' || b[1] != 'Z') return *why = "not a Windows executable (no MZ header)", false;
  uint32_t pe = ReadU32(b.data() + 60);
  if (!image.Read(pe, 24, &b) || ReadU32(b.data()) != 0x00004550) return *why = "not a PE file (no PE signature)", false;
  uint16_t sections = ReadU16(b.data() + 6);
  uint16_t optionalSize = ReadU16(b.data() + 20);
  uint64_t optional = pe + 24ull;
  if (optionalSize < 2 || !image.Read(optional, optionalSize, &b)) return *why = "damaged PE optional header", false;
  uint16_t magic = ReadU16(b.data());
  uint32_t directories;  // offset of the data directory array inside the optional header
  if (magic == 0x10B) directories = 96;
  else if (magic == 0x20B) directories = 112;
  else return *why = "unknown PE optional header kind", false;
  if (optionalSize < directories + 3 * 8) return *why = "the PE file has no resource directory", false;
  uint32_t resourceRva = ReadU32(b.data() + directories + 2 * 8);
  uint32_t resourceSize = ReadU32(b.data() + directories + 2 * 8 + 4);
  image.sectionCount = sections;
  if (!image.Read(optional + optionalSize, sections * 40u, &image.sections)) return *why = "damaged PE section table", false;
  uint64_t root;
  if (resourceRva == 0 || resourceSize == 0 || !RvaToOffset(image, resourceRva, resourceSize, &root))
    return *why = "the file has no resources", false;

  uint32_t field = 0, directory = 0;
  uint16_t ids[kMaxResourceDepth] = {kResourceVersion, 0, 0};
  for (int depth = 0; depth < kMaxResourceDepth; ++depth) {
    if (!FindResourceEntry(image, root, resourceSize, directory, ids[depth], &field))
      return *why = "the file has no version resource", false;
    bool isDirectory = (field & 0x80000000u) != 0;
    if (depth < kMaxResourceDepth - 1 && !isDirectory) return *why = "damaged resource directory", false;
    if (depth == kMaxResourceDepth - 1 && isDirectory) return *why = "damaged resource directory", false;
    directory = field & 0x7FFFFFFFu;
  }
  if (directory > resourceSize || resourceSize - directory < 16 || !image.Read(root + directory, 16, &b))
    return *why = "damaged resource data entry", false;
  uint32_t dataRva = ReadU32(b.data());
  uint32_t dataSize = ReadU32(b.data() + 4);
  uint64_t infoAt;
  if (!RvaToOffset(image, dataRva, dataSize, &infoAt)) return *why = "the version resource lies outside the file", false;
  size_t wanted = dataSize < kMaxVersionInfo ? dataSize : kMaxVersionInfo;
  std::vector<uint8_t> info;
  if (wanted < 6 || !image.Read(infoAt, wanted, &info)) return *why = "damaged version resource", false;
  size_t infoLength = ReadU16(info.data());
  if (infoLength > wanted || infoLength < 6) return *why = "damaged version resource", false;
  size_t valueAt;
  if (!KeyIs(info.data(), infoLength, "VS_VERSION_INFO", &valueAt))
    return *why = "damaged version resource (no VS_VERSION_INFO)", false;
  size_t valueLength = ReadU16(info.data() + 2);
  const uint8_t* fixed = info.data() + valueAt;
  if (valueLength < 52 || valueAt + 52 > infoLength || ReadU32(fixed) != kFixedInfoSignature)
    return *why = "the version resource has no fixed file information", false;
  out->fileVersionMs = ReadU32(fixed + 8);
  out->fileVersionLs = ReadU32(fixed + 12);
  out->productVersionMs = ReadU32(fixed + 16);
  out->productVersionLs = ReadU32(fixed + 20);
  out->hasLanguage = FindTranslation(info.data(), infoLength, Align4(valueAt + valueLength), &out->language);
  return true;
}

bool ReadPeVersion(const uint8_t* data, size_t size, PeVersion* out, std::string* why) {
  PeReader fromMemory = [&](uint64_t offset, size_t length, std::vector<uint8_t>* bytes) {
    bytes->assign(data + offset, data + offset + length);
    return true;
  };
  return ReadPeVersion(fromMemory, size, out, why);
}

bool ReadPeVersionOfFile(int fd, uint64_t size, PeVersion* out, std::string* why) {
  int readError = 0;
  PeReader fromFile = [&](uint64_t offset, size_t length, std::vector<uint8_t>* bytes) {
    bytes->resize(length);
    size_t done = 0;
    while (done < length) {
      ssize_t got = pread(fd, bytes->data() + done, length - done, static_cast<off_t>(offset + done));
      if (got < 0 && errno == EINTR) continue;
      if (got <= 0) {
        readError = got < 0 ? errno : 0;
        return false;
      }
      done += static_cast<size_t>(got);
    }
    return true;
  };
  bool ok = ReadPeVersion(fromFile, size, out, why);
  if (!ok && readError) *why = std::string("cannot read it: ") + strerror(readError);
  return ok;
}

std::string FormatVersion(uint32_t ms, uint32_t ls) {
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
         std::to_string(ls & 0xFFFF);
}
