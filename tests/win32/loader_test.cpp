// The package loader on Windows, where SetFilePointer takes a 32-bit offset
// without its high word as a signed number: a record length of 2 GiB and more
// must be followed (past the end of the file), never misread as a step back.
#include <windows.h>

#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/setup_state.h"
#include "package/format.h"
#include "package/loader.h"
#include "startup/config_block.h"

namespace {

typedef std::vector<uint8_t> Bytes;

void PutU16(Bytes& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}
void PutU32(Bytes& b, uint32_t v) {
  for (int i = 0; i < 4; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}
void PutHeader(Bytes& b, uint16_t tag, uint32_t length) {
  PutU16(b, tag);
  PutU16(b, 0);  // flags, reserved
  PutU32(b, length);
}

TEST(LoaderOnWindows, RecordLengthsOf2GiBAndMoreAreFollowedNotMisread) {
  const uint32_t kStubSize = 64;
  for (int i = 0; i < 4; ++i)
    g_stubConfig[format::kConfigStubSizeOffset + i] = static_cast<uint8_t>(kStubSize >> (8 * i));
  char dir[MAX_PATH], path[MAX_PATH];
  ASSERT_NE(GetTempPathA(sizeof dir, dir), 0u);
  ASSERT_NE(GetTempFileNameA(dir, "qlt", 0, path), 0u);

  for (uint32_t length : {0x80000000u, 0x80000010u, 0xFFFFFF00u}) {
    // A record that claims `length` bytes, then what would make a usable
    // package if it were read as records: a start page and a whole data area.
    Bytes file(kStubSize, 0x90);
    PutHeader(file, 0x5555, length);
    PutHeader(file, format::kTagStartPage, 2);
    PutU16(file, 1);
    PutHeader(file, format::kTagDataArea, 8);
    PutU32(file, 4);
    PutU32(file, 0xABABABAB);
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, file.data(), static_cast<DWORD>(file.size()), &written, nullptr));
    CloseHandle(h);

    g_setup = SetupState();
    AllocatePathBuffers();
    strcpy(g_setup.sourcePath, path);
    EXPECT_FALSE(LoadPackage()) << std::hex << length;
    ReleasePackage();
    ReleasePathBuffers();
  }
  DeleteFileA(path);
}

}  // namespace
