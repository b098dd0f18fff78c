// Expands arbitrary bytes into memory and checks the result against the
// reference decoder: success, output and the bytes taken from the file must
// agree, and nothing may be written past the expanded size.
//
// Input: two bytes choosing the expanded size, one byte of options (bit 0: read
// with the stream's length as budget; bit 1: the size counts 16-byte units, for
// outputs up to 1 MiB), then the stream.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

#include "common/file_io.h"
#include "package/expand.h"
#include "reference_decoder.h"

namespace {

constexpr size_t kGuard = 32;

void Check(bool condition) {
  if (!condition) abort();
}

FileHandle FileWith(const uint8_t* data, size_t size) {
  int fd = memfd_create("stream", 0);
  Check(fd >= 0);
  size_t done = 0;
  while (done < size) {
    ssize_t n = write(fd, data + done, size - done);
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
  bool expected = ref.result == 0 && ref.output.size() <= expandedSize;

  std::vector<uint8_t> out(expandedSize + kGuard, 0xA5);
  FileHandle input = FileWith(stream, streamSize);
  bool ok = ExpandIntoMemory(out.data(), expandedSize, input, budgeted ? static_cast<uint32_t>(streamSize) : 0);
  uint32_t position = FilePosition(input);
  CloseFile(input);

  Check(ok == expected);
  Check(position == ref.fetched);
  size_t compared = ref.output.size() < expandedSize ? ref.output.size() : expandedSize;
  Check(compared == 0 || memcmp(out.data(), ref.output.data(), compared) == 0);
  for (size_t i = expandedSize; i < out.size(); ++i) Check(out[i] == 0xA5);
  return 0;
}
