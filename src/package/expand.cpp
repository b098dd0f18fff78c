// The entry points into the decoder: output straight into memory of a known
// size, or through the file sink.
#include "package/expand.h"

#include "package/decoder.h"

namespace {

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

// Runs an opened decoder; the source is closed on every path. A stream that
// expands to more than the memory output holds is damaged and fails. stoppedAt,
// if given, receives the read position the stream ended at, before closing
// gives back the read-ahead.
bool RunExpansion(Decoder* decoder, const uint8_t** stoppedAt = nullptr) {
  bool ok = DecodeStream(decoder) == kDecodeOk;
  if (stoppedAt) *stoppedAt = decoder->source.readPosition;
  return CloseSource(&decoder->source) && ok;
}

}  // namespace

bool ExpandIntoMemory(uint8_t* destination, uint32_t expandedSize, FileHandle input, uint32_t budget) {
  Decoder decoder;
  InitDecoder(&decoder);
  if (!destination || !OpenSource(&decoder.source, input, budget)) return false;
  decoder.memoryOutput = destination;
  decoder.memoryRoom = expandedSize;
  return RunExpansion(&decoder);
}

bool ExpandMemoryIntoMemory(const uint8_t* input, uint32_t inputSize, uint8_t* destination,
                            uint32_t expandedSize, uint32_t* streamLength) {
  Decoder decoder;
  InitDecoder(&decoder);
  *streamLength = 0;
  if (!destination) return false;
  OpenSourceOnMemory(&decoder.source, input, inputSize);
  decoder.memoryOutput = destination;
  decoder.memoryRoom = expandedSize;
  const uint8_t* stoppedAt;
  bool ok = RunExpansion(&decoder, &stoppedAt);
  *streamLength = static_cast<uint32_t>(stoppedAt - input);
  return ok;
}

bool ExpandIntoFile(FileHandle output, FileHandle input, uint32_t budget) {
  Decoder decoder;
  InitDecoder(&decoder);
  if (!OpenSource(&decoder.source, input, budget)) return false;
  FileSink* sink = new FileSink(output);
  decoder.sink = sink;
  bool ok = RunExpansion(&decoder);
  delete sink;
  return ok;
}
