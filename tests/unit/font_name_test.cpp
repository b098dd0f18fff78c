// The font full-name reader over hand-made TrueType naming tables, and the
// registry value name made from it.
#include <gtest/gtest.h>

#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "install/font_name.h"
#include "package/format.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutBig16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}
void PutBig32(Bytes& b, uint32_t v) {
  PutBig16(b, v >> 16);
  PutBig16(b, v & 0xFFFF);
}
void SetBig16(Bytes& b, size_t at, uint32_t v) {
  b[at] = static_cast<uint8_t>(v >> 8);
  b[at + 1] = static_cast<uint8_t>(v);
}

struct NameRecord {
  uint16_t platform;
  uint16_t language;
  uint16_t nameId;
  std::string text;
};

constexpr uint16_t kMac = 1;
constexpr uint16_t kWindows = 3;

// A font file: offset table, a 'cmap' and a 'name' table record, then the
// naming table: header, records, and the storage with every text in order.
// Offsets of interest are given back for tests that make them lie.
struct Font {
  Bytes bytes;
  size_t nameTableRecord;  // the 'name' table record
  size_t namingTable;      // the naming table itself
};

Font MakeFont(const std::vector<NameRecord>& records, const char* secondTag = "name") {
  Font font;
  Bytes& b = font.bytes;
  PutBig32(b, 0x00010000);
  PutBig16(b, 2);
  PutBig16(b, 32);
  PutBig16(b, 1);
  PutBig16(b, 0);
  const uint32_t tableStart = 12 + 2 * 16;
  b.insert(b.end(), {'c', 'm', 'a', 'p'});
  PutBig32(b, 0);
  PutBig32(b, tableStart);
  PutBig32(b, 0);
  font.nameTableRecord = b.size();
  b.insert(b.end(), secondTag, secondTag + 4);
  PutBig32(b, 0);
  PutBig32(b, tableStart);
  PutBig32(b, 0);

  font.namingTable = b.size();
  PutBig16(b, 0);
  PutBig16(b, static_cast<uint32_t>(records.size()));
  PutBig16(b, static_cast<uint32_t>(6 + 12 * records.size()));
  uint32_t offset = 0;
  for (const NameRecord& r : records) {
    PutBig16(b, r.platform);
    PutBig16(b, 0);
    PutBig16(b, r.language);
    PutBig16(b, r.nameId);
    PutBig16(b, static_cast<uint32_t>(r.text.size()));
    PutBig16(b, offset);
    offset += static_cast<uint32_t>(r.text.size());
  }
  for (const NameRecord& r : records) b.insert(b.end(), r.text.begin(), r.text.end());
  return font;
}

bool ReadInMemory(void* context, uint32_t offset, void* out, uint32_t n) {
  const Bytes& bytes = *static_cast<const Bytes*>(context);
  if (uint64_t{offset} + n > bytes.size()) {
    ADD_FAILURE() << "read of " << n << " bytes at " << offset << " past the end of a " << bytes.size()
                  << "-byte file";
    return false;
  }
  memcpy(out, bytes.data() + offset, n);
  return true;
}

struct Read {
  bool found;
  std::string name;
};

Read FullName(const Bytes& bytes) {
  char name[format::kPathBufferSize + 16];
  memset(name, '#', sizeof name);
  FontBytes font = {ReadInMemory, const_cast<Bytes*>(&bytes), static_cast<uint32_t>(bytes.size())};
  bool found = ReadFontFullName(font, name);
  EXPECT_EQ(name[format::kPathBufferSize], '#') << "the name buffer was overrun";
  return {found, name};
}

TEST(FontFullName, TakesTheLastMacintoshFullName) {
  Font font = MakeFont({{kWindows, 0x409, 4, std::string("W\0i\0n", 5)},
                        {kMac, 0, 1, "Quorin Sans"},
                        {kMac, 0, 4, "Quorin Sans Bold"},
                        {kMac, 0, 6, "QuorinSans-Bold"}});
  EXPECT_EQ(FullName(font.bytes).name, "Quorin Sans Bold");
  EXPECT_TRUE(FullName(font.bytes).found);

  // Two languages: the later record wins; bytes are taken as they are.
  Font two = MakeFont({{kMac, 0, 4, "Quorin Sans Gras"}, {kMac, 2, 4, "Quorin Sans F\xE9tt"}});
  EXPECT_EQ(FullName(two.bytes).name, "Quorin Sans F\xE9tt");

  // A name longer than the buffer is cut to 259 bytes.
  Font longName = MakeFont({{kMac, 0, 4, std::string(300, 'L')}});
  EXPECT_EQ(FullName(longName.bytes).name, std::string(259, 'L'));
}

TEST(FontFullName, NoNameWithoutAMacintoshRecordOrANamingTable) {
  Font windowsOnly = MakeFont({{kWindows, 0x409, 4, std::string("F\0u\0l\0l", 7)}, {kWindows, 0x409, 1, "x"}});
  EXPECT_FALSE(FullName(windowsOnly.bytes).found);
  EXPECT_EQ(FullName(windowsOnly.bytes).name, "");

  EXPECT_FALSE(FullName(MakeFont({{kMac, 0, 4, "Named"}}, "glyf").bytes).found);

  Bytes text(2000, 'x');
  memcpy(text.data(), "This is no font at all.", 23);
  EXPECT_FALSE(FullName(text).found);
  EXPECT_FALSE(FullName(Bytes()).found);

  // 'name' as the 41st table is beyond the 40 table records read.
  Font far = MakeFont({{kMac, 0, 4, "Far"}});
  Bytes many(far.bytes.begin(), far.bytes.begin() + 12);
  SetBig16(many, 4, 41);
  for (int i = 0; i < 40; ++i) {
    many.insert(many.end(), {'p', 'a', 'd', ' '});
    PutBig32(many, 0);
    PutBig32(many, 0);
    PutBig32(many, 0);
  }
  size_t nameRecord = many.size();
  many.insert(many.end(), {'n', 'a', 'm', 'e'});
  PutBig32(many, 0);
  PutBig32(many, static_cast<uint32_t>(nameRecord + 16));
  PutBig32(many, 0);
  many.insert(many.end(), far.bytes.begin() + static_cast<long>(far.namingTable), far.bytes.end());
  EXPECT_FALSE(FullName(many).found);
  SetBig16(many, 4, 40);
  EXPECT_FALSE(FullName(many).found);
}

TEST(FontFullName, TruncatedFilesAndLyingOffsetsAreNeverReadPastTheEnd) {
  Font font = MakeFont({{kMac, 0, 4, "First"}, {kMac, 0, 4, "Second"}});
  const Bytes& whole = font.bytes;
  for (size_t cut = 0; cut < whole.size(); ++cut) {
    Bytes part(whole.begin(), whole.begin() + static_cast<long>(cut));
    Read r = FullName(part);
    // Cut inside the second text, the first one stands.
    if (r.found) {
      EXPECT_EQ(r.name, "First") << "cut at " << cut;
    }
  }

  Bytes lying = whole;
  // The naming table lies past the end of the file, or so far that the sum wraps.
  for (uint32_t offset : {0x7FFFFFFFu, 0xFFFFFFF0u, static_cast<uint32_t>(whole.size())}) {
    lying = whole;
    for (int i = 0; i < 4; ++i) lying[font.nameTableRecord + 8 + i] = static_cast<uint8_t>(offset >> (24 - 8 * i));
    EXPECT_FALSE(FullName(lying).found) << offset;
  }
  // The second text's offset lies past the end: it is skipped and the first stands.
  lying = whole;
  SetBig16(lying, font.namingTable + 6 + 12 + 10, 0xFFF0);
  EXPECT_EQ(FullName(lying).name, "First");
  // Its length runs past the end.
  lying = whole;
  SetBig16(lying, font.namingTable + 6 + 12 + 8, 0xFFFF);
  EXPECT_EQ(FullName(lying).name, "First");
  // The storage offset points past the end: no text can be read.
  lying = whole;
  SetBig16(lying, font.namingTable + 4, 0xFFFF);
  EXPECT_FALSE(FullName(lying).found);
  // More records than the file holds: the ones there are read.
  lying = whole;
  SetBig16(lying, font.namingTable + 2, 0xFFFF);
  EXPECT_EQ(FullName(lying).name, "Second");
  // A count of 0 gives no name.
  lying = whole;
  SetBig16(lying, font.namingTable + 2, 0);
  EXPECT_FALSE(FullName(lying).found);
}

TEST(FontFullName, ReadsFromAFile) {
  Font font = MakeFont({{kMac, 0, 4, "On Disk"}});
  char path[] = "/tmp/font_name_testXXXXXX";
  int fd = mkstemp(path);
  ASSERT_GE(fd, 0);
  ASSERT_EQ(write(fd, font.bytes.data(), font.bytes.size()), static_cast<ssize_t>(font.bytes.size()));
  close(fd);
  char name[format::kPathBufferSize];
  EXPECT_TRUE(ReadFontFullNameFromFile(path, name));
  EXPECT_STREQ(name, "On Disk");
  unlink(path);
  EXPECT_FALSE(ReadFontFullNameFromFile(path, name));
  EXPECT_STREQ(name, "");
}

TEST(FontValueName, FitsTheBufferWithItsSuffix) {
  char value[format::kPathBufferSize + 16];
  memset(value, '#', sizeof value);
  MakeFontValueName(value, "Quorin Sans Bold");
  EXPECT_STREQ(value, "Quorin Sans Bold (TrueType)");
  std::string longName(259, 'N');
  MakeFontValueName(value, longName.c_str());
  EXPECT_EQ(std::string(value), std::string(248, 'N') + " (TrueType)");
  EXPECT_EQ(strlen(value), 259u);
  EXPECT_EQ(value[format::kPathBufferSize], '#');
}

}  // namespace
