// Hand-made pieces of setup packages for tests that write their own files.
#pragma once

#include "byte_buffer.h"

// One final stored block (header 15, LEN, the bytes): the simplest valid
// stream, and exactly as long as the decoder fetches.
inline Bytes StoredStream(const Bytes& data) {
  Bytes s;
  PutU8(s, 15);
  PutU16(s, static_cast<uint16_t>(data.size()));
  PutBytes(s, data);
  return s;
}
