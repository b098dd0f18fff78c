#include "res_reader.h"

#include <errno.h>
#include <string.h>

#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

constexpr uint16_t kDialogType = 5;
constexpr size_t kFixedHeaderTail = 16;   // data version .. characteristics

uint32_t U32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
         (static_cast<uint32_t>(p[3]) << 24);
}

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

size_t AlignUp4(size_t n) { return (n + 3) & ~static_cast<size_t>(3); }

// A resource type or name: a number, or a string (kept as plain ASCII for
// messages, anything else shown as '?').
struct ResName {
  bool numeric = false;
  uint16_t number = 0;
  std::string text;
};

// Reads a type or name field starting at at; false when it runs past end.
bool ReadName(const uint8_t* bytes, size_t* at, size_t end, ResName* name) {
  if (*at + 2 > end) return false;
  if (U16(bytes + *at) == 0xFFFF) {
    if (*at + 4 > end) return false;
    name->numeric = true;
    name->number = U16(bytes + *at + 2);
    *at += 4;
    return true;
  }
  for (;;) {
    if (*at + 2 > end) return false;
    uint16_t c = U16(bytes + *at);
    *at += 2;
    if (c == 0) return true;
    name->text += (c >= 0x20 && c < 0x7F) ? static_cast<char>(c) : '?';
  }
}

std::string Where(const std::string& fileName, int index, size_t offset) {
  return fileName + ": resource " + std::to_string(index) + " at offset " + std::to_string(offset);
}

}  // namespace

bool ReadDialogResources(const uint8_t* bytes, size_t size, const std::string& fileName,
                         DialogResources* dialogs, std::string* error) {
  dialogs->clear();
  // rc and windres both open the file with the empty marker entry; without it
  // this is most likely a .rc script or a 16-bit resource file.
  if (size < 32 || U32(bytes) != 0 || U32(bytes + 4) != 32 || U16(bytes + 8) != 0xFFFF ||
      U16(bytes + 10) != 0 || U16(bytes + 12) != 0xFFFF || U16(bytes + 14) != 0) {
    *error = fileName + ": not a compiled 32-bit resource file (compile the script with windres -O res)";
    return false;
  }
  size_t at = 32;
  int index = 1;
  while (at < size) {
    if (size - at < 8) {
      *error = Where(fileName, index, at) + ": header truncated (" + std::to_string(size - at) +
               " bytes left in the file)";
      return false;
    }
    uint32_t dataSize = U32(bytes + at);
    uint32_t headerSize = U32(bytes + at + 4);
    if (headerSize < 8 + 4 + kFixedHeaderTail || headerSize > size - at) {
      *error = Where(fileName, index, at) + ": header size " + std::to_string(headerSize) +
               (headerSize > size - at ? " runs past the end of the file" : " is too small");
      return false;
    }
    size_t headerEnd = at + headerSize;
    size_t field = at + 8;
    ResName type, name;
    if (!ReadName(bytes, &field, headerEnd, &type) || !ReadName(bytes, &field, headerEnd, &name) ||
        at + AlignUp4(field - at) + kFixedHeaderTail > headerEnd) {
      *error = Where(fileName, index, at) + ": type and name run past its header of " +
               std::to_string(headerSize) + " bytes";
      return false;
    }
    if (dataSize > size - headerEnd) {
      *error = Where(fileName, index, at) + " truncated: " + std::to_string(dataSize) + " data bytes, " +
               std::to_string(size - headerEnd) + " left in the file";
      return false;
    }
    const uint8_t* data = bytes + headerEnd;
    if (type.numeric && type.number == kDialogType) {
      if (!name.numeric) {
        *error = Where(fileName, index, at) + ": dialog \"" + name.text +
                 "\" has a name; setup dialogs need numeric ids";
        return false;
      }
      if (dialogs->count(name.number)) {
        *error = Where(fileName, index, at) + ": dialog " + std::to_string(name.number) + " appears twice";
        return false;
      }
      (*dialogs)[name.number].assign(data, data + dataSize);
    }
    // The last entry need not be padded to a 4-byte boundary.
    size_t next = headerEnd + dataSize;
    at = next + (AlignUp4(next - at) - (next - at));
    if (at > size) at = size;
    ++index;
  }
  return true;
}

bool ReadDialogResourceFile(const std::string& path, DialogResources* dialogs, std::string* error) {
  // Dialogs are small; a resource file larger than this is not what the author meant.
  constexpr uintmax_t kMaxResourceFile = 16u << 20;
  std::error_code ec;
  uintmax_t size = std::filesystem::file_size(path, ec);
  if (ec) {
    *error = path + ": cannot open it: " + ec.message();
    return false;
  }
  if (size > kMaxResourceFile) {
    *error = path + ": " + std::to_string(size) + " bytes, too large for a file of dialogs";
    return false;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    *error = path + ": cannot open it: " + strerror(errno);
    return false;
  }
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) {
    *error = path + ": cannot read it: " + strerror(errno);
    return false;
  }
  return ReadDialogResources(bytes.data(), bytes.size(), path, dialogs, error);
}
