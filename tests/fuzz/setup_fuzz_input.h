// The input of the setup-file fuzzer and of its seed generator: a byte of
// commands to run besides list --json and verify (kAlsoText, ...), a u32 split
// point, then the package bytes that follow the stub. When the split point is
// nonzero and inside the package, the bytes from there on are the volume file
// .D01 instead (its own 4-byte size field first).
#pragma once

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include <vector>

#include "package/format.h"

// A stand-in for the setup stub: an MZ header whose PE header says i386, and
// the configuration block with the stub size, so that the package follows at
// offset kFakeStubSize as in a real setup file.
constexpr uint32_t kFakeStubSize = 64;

constexpr uint8_t kAlsoText = 0x1;     // list as text and as a table
constexpr uint8_t kAlsoExtract = 0x2;
constexpr uint8_t kAlsoDiff = 0x4;     // the file with itself
constexpr size_t kInputHeader = 5;

inline std::vector<uint8_t> FakeStub() {
  std::vector<uint8_t> stub(kFakeStubSize, 0);
  stub[0] = 'M';
  stub[1] = 'Z';
  uint8_t* block = stub.data() + 8;
  block[0] = block[1] = format::kMarkerByte;
  format::WriteU32(block + 2, format::kConfigTag);
  format::WriteU32(block + format::kConfigStubSizeOffset, kFakeStubSize);
  constexpr uint32_t kPe = 0x2C;
  memcpy(stub.data() + kPe, "PE\0\0", 4);
  format::WriteU16(stub.data() + kPe + 4, 0x014C);
  format::WriteU32(stub.data() + 0x3C, kPe);
  return stub;
}
