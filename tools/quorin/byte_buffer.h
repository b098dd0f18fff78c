// Growing little-endian byte buffers for the records the builder writes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

using Bytes = std::vector<uint8_t>;

inline void PutU8(Bytes& out, uint8_t v) { out.push_back(v); }

inline void PutU16(Bytes& out, uint16_t v) {
  out.push_back(static_cast<uint8_t>(v));
  out.push_back(static_cast<uint8_t>(v >> 8));
}

inline void PutU32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

inline void PutBytes(Bytes& out, const void* data, size_t size) {
  const uint8_t* p = static_cast<const uint8_t*>(data);
  out.insert(out.end(), p, p + size);
}

inline void PutBytes(Bytes& out, const Bytes& data) { out.insert(out.end(), data.begin(), data.end()); }

// The text and its NUL, as every string of the package is stored.
inline void PutText(Bytes& out, const std::string& text) {
  out.insert(out.end(), text.begin(), text.end());
  out.push_back(0);
}

// A package record: u16 tag, flags byte, reserved byte, u32 body length, body.
inline void PutRecord(Bytes& out, uint16_t tag, uint8_t flags, const Bytes& body) {
  PutU16(out, tag);
  PutU8(out, flags);
  PutU8(out, 0);
  PutU32(out, static_cast<uint32_t>(body.size()));
  PutBytes(out, body);
}
