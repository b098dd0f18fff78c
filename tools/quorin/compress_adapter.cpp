#include "compress_adapter.h"

#include "compressor.h"

Bytes PackStream(const uint8_t* data, size_t size, PackLevel level) {
  return CompressStream(data, size, level == PackLevel::kBest ? CompressLevel::kBest : CompressLevel::kDefault);
}
