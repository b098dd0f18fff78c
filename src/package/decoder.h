// The block decoder of compressed streams, and the sinks that take its output.
// One decoder object runs exactly one stream: its file source is opened on the
// input, its output set (a sink, or memory of a known size), then DecodeStream
// runs and the source is closed.
#pragma once

#include <stdint.h>

#include "package/file_source.h"

constexpr uint32_t kWindowSize = 32768;

// Results of DecodeStream; anything but kDecodeOk fails the expansion.
enum DecodeResult {
  kDecodeOk = 0,
  kDecodeDataError = 1,    // invalid code, bad dynamic header, run past the end, incomplete code
  kDecodeBadBlock = 2,     // unknown block kind or over-subscribed code
  kDecodeNoMemory = 3,     // window or lookup table
  kDecodeCancelled = 4,    // the volume change gave up in the middle of the stream
  kDecodeOverflow = 5,     // more output than the memory output holds: stopped there
};

// Receives the window whenever it fills (32,768 bytes) and once at the end of
// a stream that decoded, with what is pending (possibly 0 bytes).
class Sink {
 public:
  virtual ~Sink() {}
  virtual bool IsReady() = 0;
  virtual void Write(const uint8_t* data, uint16_t count) = 0;
};

struct Decoder {
  FileSource source;
  // Where the output goes: to the sink in 32 KiB windows, or, when
  // memoryOutput is set, straight into that memory of memoryRoom bytes.
  Sink* sink;
  uint8_t* memoryOutput;
  uint32_t memoryRoom;
  // The decoding half: lives for one stream.
  uint8_t* window;        // two 32 KiB halves used as a ring; only with a sink
  uint8_t* out;           // next output byte
  uint8_t* outStart;      // output before this reads as zeros (or, once the ring wrapped, wraps)
  uint8_t* outEnd;        // the end of the current window half, or of the memory output
  bool ringWrapped;
  uint64_t bitBuffer;     // next bit in bit 0; zero above bitCount
  uint32_t bitCount;
  uint32_t* tables;       // lookup tables of the current dynamic block
  uint32_t tableRoom;     // entries allocated at tables
};

// A closed source, no output, no tables.
void InitDecoder(Decoder* decoder);

// Decodes one whole stream from the open source into the output. The source
// is left just behind the last byte the stream consists of once it is closed.
int DecodeStream(Decoder* decoder);
