// Expands arbitrary bytes into memory and checks the result against the
// reference decoder: success, output and the bytes taken from the file must
// agree, and nothing may be written past the expanded size. A stream that
// makes more output than the expanded size stops there, before the reference
// would have: it takes no more bytes than the reference.
//
// Input: two bytes choosing the expanded size, one byte of options (bit 0: read
// with the stream's length as budget; bit 1: the size counts 16-byte units, for
// outputs up to 1 MiB), then the stream.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <memory>
#include <vector>

#include "common/file_io.h"
#include "package/expand.h"
#include "reference_decoder.h"

namespace {

constexpr size_t kGuard = 32;

void Check(bool condition) {
  if (!condition) abort();
}

// An in-memory file holding the run's stream; the caller closes it with
// CloseFile, which also drops the wrappers' read-ahead of it.
FileHandle FileWith(const uint8_t* data, size_t size) {
  int fd = memfd_create("stream", 0);
  Check(fd >= 0);
  size_t done = 0;
  while (done < size) {
    ssize_t n = pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    Check(n > 0);
    done += static_cast<size_t>(n);
  }
  lseek(fd, 0, SEEK_SET);
  return reinterpret_cast<FileHandle>(static_cast<intptr_t>(fd));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 3) return 0;
  uint32_t expandedSize = (data[0] | (data[1] << 8)) * ((data[2] & 2) ? 16u : 1u);
  bool budgeted = data[2] & 1;
  const uint8_t* stream = data + 3;
  size_t streamSize = size - 3;

  ReferenceResult ref = ReferenceDecode(stream, streamSize);
  bool overflows = ref.produced > expandedSize;
  bool expected = ref.result == 0 && !overflows;

  // Only the guard bytes are set: filling up to a megabyte per run would cost
  // more than the expansion.
  std::unique_ptr<uint8_t[]> out(new uint8_t[expandedSize + kGuard]);
  memset(out.get() + expandedSize, 0xA5, kGuard);
  FileHandle input = FileWith(stream, streamSize);
  bool ok = ExpandIntoMemory(out.get(), expandedSize, input, budgeted ? static_cast<uint32_t>(streamSize) : 0);
  uint32_t position = FilePosition(input);
  CloseFile(input);

  Check(ok == expected);
  Check(overflows ? position <= ref.fetched : position == ref.fetched);
  size_t compared = ref.output.size() < expandedSize ? ref.output.size() : expandedSize;
  Check(compared == 0 || memcmp(out.get(), ref.output.data(), compared) == 0);
  for (size_t i = expandedSize; i < expandedSize + kGuard; ++i) Check(out[i] == 0xA5);
  return 0;
}
