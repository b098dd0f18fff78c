// The block decoder of compressed streams, and the sinks that take its output.
// One decoder object runs exactly one stream: its file source is opened on the
// input, its sink set, then DecodeStream runs and the source is closed.
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
};

// Receives the window whenever it fills (32,768 bytes) and once at the end of
// a stream that decoded, with what is pending (possibly 0 bytes).
class Sink {
 public:
  virtual ~Sink() {}
  virtual bool IsReady() = 0;
  virtual void Write(const uint8_t* data, uint16_t count) = 0;
};

struct TableEntry;

struct Decoder {
  FileSource source;
  Sink* sink;
  // The decoding half: lives for one stream.
  TableEntry* fixedLiteralTable;  // built by the first fixed block, kept to the stream's end
  TableEntry* fixedDistanceTable;
  uint32_t fixedLiteralWidth;
  uint32_t fixedDistanceWidth;
  uint32_t windowPosition;
  bool windowFilled;   // the window has been written out whole at least once
  uint64_t bitBuffer;  // next bit in bit 0; zero above bitCount
  uint32_t bitCount;
  uint8_t* window;
};

// A closed source, no sink, no tables.
void InitDecoder(Decoder* decoder);

// Decodes one whole stream from the open source into the sink. The source is
// left just behind the last byte the stream consists of once it is closed.
int DecodeStream(Decoder* decoder);
