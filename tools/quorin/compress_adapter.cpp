#include "compress_adapter.h"

#include "compressor.h"

Bytes PackStream(const uint8_t* data, size_t size, PackLevel level, bool finalPiece) {
  CompressOptions options;
  options.level = level == PackLevel::kBest ? CompressLevel::kBest : CompressLevel::kDefault;
  options.finalPiece = finalPiece;
  return CompressStream(data, size, options);
}
