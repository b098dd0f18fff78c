// Checks on the built stubs themselves: each carries its own file length in its
// configuration block, and imports nothing but system DLLs.
#include <gtest/gtest.h>

#include <strings.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "package/format.h"
#include "package/marker.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t U32(const Bytes& b, size_t at) { return at + 4 <= b.size() ? format::ReadU32(&b[at]) : 0; }
uint16_t U16(const Bytes& b, size_t at) { return at + 2 <= b.size() ? format::ReadU16(&b[at]) : 0; }

// The names in the PE import directory, read through the section table.
std::vector<std::string> ImportedDlls(const Bytes& pe) {
  std::vector<std::string> names;
  uint32_t header = U32(pe, 0x3C);
  if (U32(pe, header) != 0x00004550) return names;  // "PE\0\0"
  size_t coff = header + 4;
  uint16_t sections = U16(pe, coff + 2);
  uint16_t optionalSize = U16(pe, coff + 16);
  size_t optional = coff + 20;
  bool pe32plus = U16(pe, optional) == 0x20B;
  size_t directories = optional + (pe32plus ? 112 : 96);
  uint32_t importRva = U32(pe, directories + 8);
  size_t table = optional + optionalSize;
  auto toOffset = [&](uint32_t rva) -> size_t {
    for (uint16_t i = 0; i < sections; ++i) {
      size_t s = table + 40u * i;
      uint32_t va = U32(pe, s + 12), size = U32(pe, s + 8), raw = U32(pe, s + 20);
      if (rva >= va && rva < va + size) return raw + (rva - va);
    }
    return 0;
  };
  for (size_t d = toOffset(importRva); d && d + 20 <= pe.size(); d += 20) {
    uint32_t nameRva = U32(pe, d + 12);
    if (!nameRva) break;
    size_t at = toOffset(nameRva);
    std::string name;
    while (at && at < pe.size() && pe[at]) name += static_cast<char>(pe[at++]);
    names.push_back(name);
  }
  return names;
}

class BuiltStub : public ::testing::TestWithParam<const char*> {};

TEST_P(BuiltStub, ConfigurationBlockHoldsFileLength) {
  Bytes stub = ReadFile(GetParam());
  ASSERT_FALSE(stub.empty()) << "missing " << GetParam();
  const uint8_t* block = FindMarker(stub.data(), stub.size(), format::kConfigTag);
  ASSERT_NE(block, nullptr);
  size_t at = block - stub.data();
  EXPECT_EQ(format::ReadU32(block + format::kConfigStubSizeOffset), stub.size());
  for (size_t i = 10; i < format::kConfigBlockSize; ++i) EXPECT_EQ(block[i], 0) << "byte " << i;
  EXPECT_EQ(FindMarker(block + 1, stub.size() - at - 1, format::kConfigTag), nullptr) << "a second block";
}

TEST_P(BuiltStub, ImportsOnlySystemDlls) {
  static const std::set<std::string> kSystem = {"kernel32.dll", "user32.dll",   "gdi32.dll",
                                                "comdlg32.dll", "advapi32.dll", "shell32.dll",
                                                "ole32.dll",    "version.dll",  "msvcrt.dll"};
  std::vector<std::string> dlls = ImportedDlls(ReadFile(GetParam()));
  ASSERT_FALSE(dlls.empty());
  for (std::string dll : dlls) {
    for (char& c : dll) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
    EXPECT_TRUE(kSystem.count(dll)) << GetParam() << " imports " << dll;
  }
}

INSTANTIATE_TEST_SUITE_P(BothTargets, BuiltStub, ::testing::Values(QUORIN_STUB_I686, QUORIN_STUB_X64));

}  // namespace
