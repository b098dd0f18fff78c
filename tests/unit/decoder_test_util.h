// Running the decoder on bytes from a temporary file, with a sink that records
// every write, and comparing it with the reference decoder.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/file_io.h"
#include "package/decoder.h"
#include "package/expand.h"
#include "reference_decoder.h"

class RecordingSink : public Sink {
 public:
  bool IsReady() override { return true; }
  void Write(const uint8_t* data, uint16_t count) override {
    writes.push_back(count);
    output.insert(output.end(), data, data + count);
  }
  std::vector<uint8_t> output;
  std::vector<uint32_t> writes;
};

// A file in the temporary folder, removed with the object.
class TempFile {
 public:
  explicit TempFile(const std::vector<uint8_t>& bytes = {}) {
    char name[] = "/tmp/quorin-decoder-XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    path_ = name;
    if (!bytes.empty()) {
      EXPECT_EQ(write(fd, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    close(fd);
  }
  ~TempFile() { unlink(path_.c_str()); }
  const char* path() const { return path_.c_str(); }
  FileHandle Open() const { return OpenExisting(path_.c_str(), kOpenRead); }
  std::vector<uint8_t> Contents() const {
    std::vector<uint8_t> bytes;
    FILE* f = fopen(path_.c_str(), "rb");
    int c;
    while (f && (c = fgetc(f)) != EOF) bytes.push_back(static_cast<uint8_t>(c));
    if (f) fclose(f);
    return bytes;
  }

 private:
  std::string path_;
};

struct DecodeRun {
  int result = -1;
  std::vector<uint8_t> output;
  std::vector<uint32_t> writes;
  uint32_t position = 0;  // of the input file after the source is closed
};

// Decodes one stream from the file's current position.
inline DecodeRun DecodeFrom(FileHandle input, uint32_t budget = 0) {
  DecodeRun run;
  RecordingSink sink;
  Decoder decoder;
  InitDecoder(&decoder);
  if (!OpenSource(&decoder.source, input, budget)) return run;
  decoder.sink = &sink;
  run.result = DecodeStream(&decoder);
  CloseSource(&decoder.source);
  run.output = sink.output;
  run.writes = sink.writes;
  run.position = FilePosition(input);
  return run;
}

inline DecodeRun DecodeBytes(const std::vector<uint8_t>& bytes) {
  TempFile file(bytes);
  FileHandle input = file.Open();
  DecodeRun run = DecodeFrom(input);
  CloseFile(input);
  return run;
}

// Decodes with both decoders and checks they agree on the result, the sink
// writes and the bytes taken. Returns the real decoder's run.
inline DecodeRun DecodeAndCompare(const std::vector<uint8_t>& bytes) {
  DecodeRun run = DecodeBytes(bytes);
  ReferenceResult ref = ReferenceDecode(bytes);
  EXPECT_EQ(run.result, ref.result);
  EXPECT_EQ(run.writes, ref.writes);
  EXPECT_TRUE(run.output == ref.output) << "output differs from the reference";
  EXPECT_EQ(run.position, ref.fetched);
  // The same stream read from memory takes the same bytes and gives the same output.
  std::vector<uint8_t> out(ref.output.size() + 1);
  uint32_t length = 0;
  bool ok = ExpandMemoryIntoMemory(bytes.data(), static_cast<uint32_t>(bytes.size()), out.data(),
                                   static_cast<uint32_t>(ref.output.size()), &length);
  EXPECT_EQ(ok, ref.result == 0);
  if (ok) {
    EXPECT_EQ(length, ref.fetched);
    out.pop_back();
    EXPECT_TRUE(out == ref.output) << "output from memory differs from the reference";
  }
  return run;
}
