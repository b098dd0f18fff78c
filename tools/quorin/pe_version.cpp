#include "pe_version.h"

#include "package/format.h"

using format::ReadU16;
using format::ReadU32;

namespace {

constexpr uint16_t kResourceVersion = 16;  // RT_VERSION
constexpr uint32_t kFixedInfoSignature = 0xFEEF04BD;
constexpr int kMaxResourceDepth = 3;       // type, name, language

struct Image {
  const uint8_t* data;
  size_t size;
  uint32_t sectionTable;
  uint16_t sectionCount;
};

bool Has(const Image& image, size_t offset, size_t length) {
  return offset <= image.size && length <= image.size - offset;
}

// File offset of a virtual address, through the section that holds it.
bool RvaToOffset(const Image& image, uint32_t rva, uint32_t length, uint32_t* offset) {
  for (uint16_t i = 0; i < image.sectionCount; ++i) {
    const uint8_t* s = image.data + image.sectionTable + i * 40u;
    uint32_t virtualSize = ReadU32(s + 8), virtualAddress = ReadU32(s + 12);
    uint32_t rawSize = ReadU32(s + 16), rawPointer = ReadU32(s + 20);
    uint32_t extent = virtualSize > rawSize ? virtualSize : rawSize;
    if (rva >= virtualAddress && rva - virtualAddress < extent) {
      uint32_t inside = rva - virtualAddress;
      if (inside > rawSize || length > rawSize - inside) return false;
      *offset = rawPointer + inside;
      return Has(image, *offset, length);
    }
  }
  return false;
}

// Walks one level of the resource directory: the entry with the wanted id, or
// the first entry when id is 0. Returns the entry's offset field.
bool FindResourceEntry(const Image& image, uint32_t root, uint32_t rootSize, uint32_t directory,
                       uint16_t id, uint32_t* field) {
  if (directory > rootSize || rootSize - directory < 16) return false;
  const uint8_t* d = image.data + root + directory;
  uint32_t named = ReadU16(d + 12), numbered = ReadU16(d + 14);
  uint32_t count = named + numbered;
  if (count == 0 || (rootSize - directory - 16) / 8 < count) return false;
  for (uint32_t i = 0; i < count; ++i) {
    const uint8_t* e = d + 16 + i * 8;
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

bool ReadPeVersion(const uint8_t* data, size_t size, PeVersion* out, std::string* why) {
  *out = PeVersion{};
  Image image{data, size, 0, 0};
  if (!Has(image, 0, 64) || data[0] != 'M' || data[1] != 'Z') return *why = "not a Windows executable (no MZ header)", false;
  uint32_t pe = ReadU32(data + 60);
  if (!Has(image, pe, 24) || ReadU32(data + pe) != 0x00004550) return *why = "not a PE file (no PE signature)", false;
  uint16_t sections = ReadU16(data + pe + 6);
  uint16_t optionalSize = ReadU16(data + pe + 20);
  uint32_t optional = pe + 24;
  if (!Has(image, optional, optionalSize) || optionalSize < 2) return *why = "damaged PE optional header", false;
  uint16_t magic = ReadU16(data + optional);
  uint32_t directories;  // offset of the data directory array inside the optional header
  if (magic == 0x10B) directories = 96;
  else if (magic == 0x20B) directories = 112;
  else return *why = "unknown PE optional header kind", false;
  if (optionalSize < directories + 3 * 8) return *why = "the PE file has no resource directory", false;
  uint32_t resourceRva = ReadU32(data + optional + directories + 2 * 8);
  uint32_t resourceSize = ReadU32(data + optional + directories + 2 * 8 + 4);
  image.sectionTable = optional + optionalSize;
  image.sectionCount = sections;
  if (!Has(image, image.sectionTable, sections * 40u)) return *why = "damaged PE section table", false;
  uint32_t root;
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
  if (directory > resourceSize || resourceSize - directory < 16) return *why = "damaged resource data entry", false;
  uint32_t dataRva = ReadU32(data + root + directory);
  uint32_t dataSize = ReadU32(data + root + directory + 4);
  uint32_t infoAt;
  if (!RvaToOffset(image, dataRva, dataSize, &infoAt)) return *why = "the version resource lies outside the file", false;

  const uint8_t* info = data + infoAt;
  size_t infoLength = ReadU16(info);
  if (infoLength > dataSize || infoLength < 6) return *why = "damaged version resource", false;
  size_t valueAt;
  if (!KeyIs(info, infoLength, "VS_VERSION_INFO", &valueAt)) return *why = "damaged version resource (no VS_VERSION_INFO)", false;
  size_t valueLength = ReadU16(info + 2);
  if (valueLength < 52 || valueAt + 52 > infoLength || ReadU32(info + valueAt) != kFixedInfoSignature)
    return *why = "the version resource has no fixed file information", false;
  out->fileVersionMs = ReadU32(info + valueAt + 8);
  out->fileVersionLs = ReadU32(info + valueAt + 12);
  out->productVersionMs = ReadU32(info + valueAt + 16);
  out->productVersionLs = ReadU32(info + valueAt + 20);
  out->hasLanguage = FindTranslation(info, infoLength, Align4(valueAt + valueLength), &out->language);
  return true;
}

std::string FormatVersion(uint32_t ms, uint32_t ls) {
  return std::to_string(ms >> 16) + "." + std::to_string(ms & 0xFFFF) + "." + std::to_string(ls >> 16) + "." +
         std::to_string(ls & 0xFFFF);
}
