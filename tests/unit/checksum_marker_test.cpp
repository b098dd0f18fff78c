#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "package/checksum.h"
#include "package/format.h"
#include "package/marker.h"

namespace {

uint32_t Sum(const std::string& s) { return UpdateChecksum(0, s.data(), s.size()); }

TEST(Checksum, KnownValues) {
  EXPECT_EQ(Sum(""), 0u);
  EXPECT_EQ(Sum("abc"), 0x000002ABu);
  EXPECT_EQ(Sum("abcd"), 0x64636261u);
  EXPECT_EQ(Sum("abcde"), 0xC8C6C527u);
  EXPECT_EQ(Sum("abcdefgh"), 0x312E2B27u);
}

TEST(Checksum, ChunksOfWholeWordsEqualOnePass) {
  std::vector<uint8_t> data(70001);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 131 + (i >> 7));
  uint32_t whole = UpdateChecksum(0, data.data(), data.size());
  for (size_t chunk : {4u, 16384u, 4096u * 3}) {
    uint32_t v = 0;
    for (size_t at = 0; at < data.size(); at += chunk)
      v = UpdateChecksum(v, data.data() + at, std::min(chunk, data.size() - at));
    EXPECT_EQ(v, whole) << "chunk " << chunk;
  }
  // A chunk that is not a multiple of 4 adds its tail bytes one at a time,
  // so feeding it that way gives another value.
  uint32_t odd = UpdateChecksum(UpdateChecksum(0, data.data(), 5), data.data() + 5, data.size() - 5);
  EXPECT_NE(odd, whole);
}

TEST(Checksum, CarriesStartValue) {
  EXPECT_EQ(UpdateChecksum(0x80000000u, "", 0), 0x80000000u);
  // rotate-left(0x80000000, 1) = 1, plus 'a'
  EXPECT_EQ(UpdateChecksum(0x80000000u, "a", 1), 1u + 0x61u);
}

const uint8_t kBlock[6] = {0x77, 0x77, 'g', 'T', ')', 'H'};

TEST(FindMarker, AtBufferEdges) {
  EXPECT_EQ(FindMarker(kBlock, 6, format::kConfigTag), kBlock);
  EXPECT_EQ(FindMarker(kBlock, 5, format::kConfigTag), nullptr);  // last byte outside
  EXPECT_EQ(FindMarker(kBlock, 0, format::kConfigTag), nullptr);

  std::vector<uint8_t> buf(100, 0x77);  // runs of marker bytes must not confuse it
  memcpy(buf.data() + 94, kBlock, 6);
  EXPECT_EQ(FindMarker(buf.data(), buf.size(), format::kConfigTag), buf.data() + 94);
  EXPECT_EQ(FindMarker(buf.data(), 99, format::kConfigTag), nullptr);
  memcpy(buf.data(), kBlock, 6);
  EXPECT_EQ(FindMarker(buf.data(), buf.size(), format::kConfigTag), buf.data());
}

TEST(FindMarker, OtherTagOrSingleMarkerByte) {
  const uint8_t other[7] = {0x00, 0x77, 'g', 'T', ')', 'H', 0};
  EXPECT_EQ(FindMarker(other, sizeof other, format::kConfigTag), nullptr);
  EXPECT_EQ(FindMarker(kBlock, 6, 0x12345678u), nullptr);
}

}  // namespace
