// Reads a Windows executable's version resource: the file version from its
// fixed file information and the language of its first translation.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

struct PeVersion {
  uint32_t fileVersionMs;
  uint32_t fileVersionLs;
  uint32_t productVersionMs;
  uint32_t productVersionLs;
  uint16_t language;     // 0 when the resource lists no translation
  bool hasLanguage;
};

// Reads length bytes at offset into out; false when they cannot all be read.
using PeReader = std::function<bool(uint64_t offset, size_t length, std::vector<uint8_t>* out)>;

// False with a reason when the file is not a PE file or carries no usable
// version resource. Every offset is checked against size before it is read;
// the reads are small (headers, directories, the resource), whatever the size.
bool ReadPeVersion(const PeReader& read, uint64_t size, PeVersion* out, std::string* why);
bool ReadPeVersion(const uint8_t* data, size_t size, PeVersion* out, std::string* why);
bool ReadPeVersionOfFile(int fd, uint64_t size, PeVersion* out, std::string* why);

// "1.2.3.4"
std::string FormatVersion(uint32_t ms, uint32_t ls);
