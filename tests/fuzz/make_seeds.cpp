// Writes the fuzzer's starting corpus: small streams of random data, each
// behind the three bytes of expanded size and options that the target reads.
#include <stdio.h>

#include <random>
#include <string>
#include <vector>

#include "stream_encoder.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  std::mt19937 rng(1208);
  for (int i = 0; i < 40; ++i) {
    size_t size = i < 20 ? rng() % 64 : rng() % 3000;
    std::vector<uint8_t> data = RandomData(rng, size);
    std::vector<uint8_t> stream = EncodeStream(rng, data);
    // Sizes below 64 KiB are given in bytes (option bit 1 clear).
    uint32_t units = static_cast<uint32_t>(size);
    std::vector<uint8_t> seed = {static_cast<uint8_t>(units), static_cast<uint8_t>(units >> 8),
                                 static_cast<uint8_t>(i & 1)};
    seed.insert(seed.end(), stream.begin(), stream.end());
    std::string path = std::string(argv[1]) + "/seed-" + std::to_string(i);
    FILE* f = fopen(path.c_str(), "wb");
    if (!f || fwrite(seed.data(), 1, seed.size(), f) != seed.size()) {
      fprintf(stderr, "cannot write %s\n", path.c_str());
      return 1;
    }
    fclose(f);
  }
  return 0;
}
