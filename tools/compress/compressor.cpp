#include "compressor.h"

#include <stdlib.h>

#include <memory>

#include <libdeflate.h>
#include <zopfli/zopfli.h>
#include <zopfli/deflate.h>

#include "block_encoder.h"
#include "deflate_reader.h"

namespace {

constexpr int kFastParseLevel = 6;
constexpr int kDefaultParseLevel = 12;

// Making a compressor at the high levels costs more than compressing a small
// file, and a package holds many; one per level and thread is kept for reuse.
struct CompressorDeleter {
  void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

libdeflate_compressor* CompressorFor(int level) {
  thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> kept[13];
  if (!kept[level]) kept[level].reset(libdeflate_alloc_compressor(level));
  return kept[level].get();
}

// Each parse is taken from a raw deflate stream of a well-kept compressor and
// re-coded; false when the library gave nothing we can read back.
bool ParseWithLibdeflate(const uint8_t* data, size_t size, int level, ParsedStream* parse) {
  libdeflate_compressor* compressor = CompressorFor(level);
  if (!compressor) return false;
  std::vector<uint8_t> raw(libdeflate_deflate_compress_bound(compressor, size));
  size_t rawSize = libdeflate_deflate_compress(compressor, data, size, raw.data(), raw.size());
  return rawSize != 0 && ReadDeflateParse(raw.data(), rawSize, size, parse);
}

bool ParseWithZopfli(const uint8_t* data, size_t size, int iterations, ParsedStream* parse) {
  ZopfliOptions options;
  ZopfliInitOptions(&options);
  options.numiterations = iterations > 0 ? iterations : 1;
  unsigned char bitPointer = 0;
  unsigned char* raw = nullptr;
  size_t rawSize = 0;
  ZopfliDeflate(&options, 2, 1, data, size, &bitPointer, &raw, &rawSize);
  bool ok = raw && ReadDeflateParse(raw, rawSize, size, parse);
  free(raw);
  return ok;
}

// Literals only, in pieces a stored block can hold; the encoder picks the coding.
void LiteralParse(const uint8_t* data, size_t size, ParsedStream* parse) {
  parse->tokens.clear();
  parse->blockEnds.clear();
  for (size_t i = 0; i < size; ++i) {
    parse->tokens.push_back(Token{data[i], 0});
    if ((i + 1) % 0xFFFF == 0) parse->blockEnds.push_back(i + 1);
  }
  if (parse->blockEnds.empty() || parse->blockEnds.back() != size) parse->blockEnds.push_back(size);
}

}  // namespace

std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, const CompressOptions& options) {
  std::vector<uint8_t> best;
  bool haveBest = false;
  auto keepSmaller = [&](std::vector<uint8_t>&& candidate) {
    if (!haveBest || candidate.size() < best.size()) {
      best = std::move(candidate);
      haveBest = true;
    }
  };

  ParsedStream parse;
  bool thorough = options.level != CompressLevel::kFast;
  int level = options.level == CompressLevel::kFast ? kFastParseLevel : kDefaultParseLevel;
  bool last = options.finalPiece;
  if (ParseWithLibdeflate(data, size, level, &parse)) keepSmaller(EncodeStream(data, size, parse, thorough, last));
  int iterations = options.bestIterations > 0          ? options.bestIterations
                   : size <= kBestSmallInput ? kBestIterationsSmall
                                             : kBestIterationsLarge;
  if (options.level == CompressLevel::kBest && ParseWithZopfli(data, size, iterations, &parse))
    keepSmaller(EncodeStream(data, size, parse, thorough, last));
  if (!haveBest) {
    LiteralParse(data, size, &parse);
    keepSmaller(EncodeStream(data, size, parse, thorough, last));
  }
  return best;
}

std::vector<uint8_t> CompressStream(const uint8_t* data, size_t size, CompressLevel level) {
  CompressOptions options;
  options.level = level;
  return CompressStream(data, size, options);
}
