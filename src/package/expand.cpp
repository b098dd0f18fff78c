// The two entry points into the decoder and the sinks they make.
#include "package/expand.h"

#include <string.h>

#include "package/decoder.h"

namespace {

// Copies into caller-owned memory of a known size. A stream that expands to
// more is damaged: the excess is dropped and the expansion fails.
class MemorySink : public Sink {
 public:
  MemorySink(uint8_t* destination, uint32_t room) : destination_(destination), room_(room) {}
  bool IsReady() override { return destination_ != nullptr; }
  void Write(const uint8_t* data, uint16_t count) override {
    uint32_t n = count;
    if (n > room_) {
      n = room_;
      overflowed_ = true;
    }
    memcpy(destination_, data, n);
    destination_ += n;
    room_ -= n;
  }
  bool overflowed() const { return overflowed_; }

 private:
  uint8_t* destination_;
  uint32_t room_;
  bool overflowed_ = false;
};

// Writes to a caller-owned file, or drops the output for INVALID_FILE. A failed
// write is not reported here: the install loop reads the file back and checks it.
class FileSink : public Sink {
 public:
  explicit FileSink(FileHandle file) : file_(file) {}
  bool IsReady() override { return true; }
  void Write(const uint8_t* data, uint16_t count) override {
    if (file_ != INVALID_FILE && count > 0) WriteExact(file_, data, count);
  }

 private:
  FileHandle file_;
};

// Runs an opened decoder into the sink; the source is closed on every path,
// the sink is left to the caller. stoppedAt, if given, receives the read
// position the stream ended at, before closing gives back the read-ahead.
bool RunExpansion(Decoder* decoder, Sink* sink, const uint8_t** stoppedAt = nullptr) {
  bool ok = false;
  if (sink && sink->IsReady()) {
    decoder->sink = sink;
    ok = DecodeStream(decoder) == kDecodeOk;
  }
  if (stoppedAt) *stoppedAt = decoder->source.readPosition;
  CloseSource(&decoder->source);
  return ok;
}

}  // namespace

bool ExpandIntoMemory(uint8_t* destination, uint32_t expandedSize, FileHandle input, uint32_t budget) {
  Decoder decoder;
  InitDecoder(&decoder);
  if (!OpenSource(&decoder.source, input, budget)) return false;
  MemorySink* sink = new MemorySink(destination, expandedSize);
  bool ok = RunExpansion(&decoder, sink) && !sink->overflowed();
  delete sink;
  return ok;
}

bool ExpandMemoryIntoMemory(const uint8_t* input, uint32_t inputSize, uint8_t* destination,
                            uint32_t expandedSize, uint32_t* streamLength) {
  Decoder decoder;
  InitDecoder(&decoder);
  OpenSourceOnMemory(&decoder.source, input, inputSize);
  MemorySink* sink = new MemorySink(destination, expandedSize);
  const uint8_t* stoppedAt;
  bool ok = RunExpansion(&decoder, sink, &stoppedAt) && !sink->overflowed();
  *streamLength = static_cast<uint32_t>(stoppedAt - input);
  delete sink;
  return ok;
}

bool ExpandIntoFile(FileHandle output, FileHandle input, uint32_t budget) {
  Decoder decoder;
  InitDecoder(&decoder);
  if (!OpenSource(&decoder.source, input, budget)) return false;
  FileSink* sink = new FileSink(output);
  bool ok = RunExpansion(&decoder, sink);
  delete sink;
  return ok;
}
