#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "common/setup_state.h"
#include "package/strings.h"

namespace {

// A group as the loader leaves it: u16 count, the strings, then zero fill up
// to the expanded size (padding = 0 gives a buffer that ends with the data).
std::vector<uint8_t> Group(uint16_t count, const std::vector<std::string>& texts, size_t padding) {
  std::vector<uint8_t> g = {static_cast<uint8_t>(count), static_cast<uint8_t>(count >> 8)};
  for (const std::string& t : texts) {
    g.insert(g.end(), t.begin(), t.end());
    g.push_back(0);
  }
  g.insert(g.end(), padding, 0);
  return g;
}

class StringGroups : public ::testing::Test {
 protected:
  void TearDown() override {
    for (int i = 0; i < 9; ++i) {
      g_setup.package.stringGroups[i] = nullptr;
      g_setup.package.stringGroupSizes[i] = 0;
    }
    g_setup.errorFileName = nullptr;
  }

  // The test keeps the bytes; the setup state only points at them.
  void Install(int group, std::vector<uint8_t> bytes) {
    groups_[group] = std::move(bytes);
    g_setup.package.stringGroups[group] = groups_[group].data();
    g_setup.package.stringGroupSizes[group] = static_cast<uint32_t>(groups_[group].size());
  }

  // The returned text must end inside the group's buffer.
  void ExpectInside(int group, const char* text) {
    const uint8_t* start = groups_[group].data();
    const uint8_t* p = reinterpret_cast<const uint8_t*>(text);
    if (*text == 0 && (p < start || p >= start + groups_[group].size())) return;  // the static empty text
    ASSERT_GE(p, start);
    ASSERT_LT(p + strlen(text), start + groups_[group].size());
  }

  std::vector<uint8_t> groups_[9];
};

TEST_F(StringGroups, EveryLookupIsEmptyBeforeThePackageLoads) {
  for (int group = -1; group <= 10; ++group) {
    for (int entry : {-1, 0, 1, 31, 65535}) {
      const char* text = GetGroupString(group, entry);
      ASSERT_NE(text, nullptr);
      EXPECT_STREQ(text, "") << group << "," << entry;
    }
  }
}

TEST_F(StringGroups, EntriesUpToTheCountOnly) {
  Install(2, Group(3, {"zero", "one", "two", "beyond the count"}, 16));
  EXPECT_STREQ(GetGroupString(2, 0), "zero");
  EXPECT_STREQ(GetGroupString(2, 1), "one");
  EXPECT_STREQ(GetGroupString(2, 2), "two");
  EXPECT_STREQ(GetGroupString(2, 3), "");
  EXPECT_STREQ(GetGroupString(2, 65535), "");
  EXPECT_STREQ(GetGroupString(2, -1), "");
  // Other slots stay absent, group 9 and on do not exist.
  EXPECT_STREQ(GetGroupString(3, 0), "");
  EXPECT_STREQ(GetGroupString(9, 0), "");
}

TEST_F(StringGroups, EmptyStringsKeepTheirPlaces) {
  Install(5, Group(4, {"", "b", "", "d"}, 0));
  EXPECT_STREQ(GetGroupString(5, 0), "");
  EXPECT_STREQ(GetGroupString(5, 1), "b");
  EXPECT_STREQ(GetGroupString(5, 2), "");
  EXPECT_STREQ(GetGroupString(5, 3), "d");
  ExpectInside(5, GetGroupString(5, 3));
}

TEST_F(StringGroups, CountBeyondTheStringsStaysInsideTheBuffer) {
  // 500 entries promised, two present, buffer ending right after them.
  Install(6, Group(500, {"title", "last"}, 0));
  EXPECT_STREQ(GetGroupString(6, 0), "title");
  EXPECT_STREQ(GetGroupString(6, 1), "last");
  for (int entry = 2; entry < 500; ++entry) {
    const char* text = GetGroupString(6, entry);
    EXPECT_STREQ(text, "") << entry;
    ExpectInside(6, text);
  }
}

TEST_F(StringGroups, UnterminatedLastStringIsEmpty) {
  std::vector<uint8_t> g = Group(2, {"first"}, 0);
  for (char c : std::string("no end")) g.push_back(static_cast<uint8_t>(c));
  Install(1, g);
  EXPECT_STREQ(GetGroupString(1, 0), "first");
  EXPECT_STREQ(GetGroupString(1, 1), "");
}

TEST_F(StringGroups, TooSmallForACount) {
  Install(0, {0x05});
  EXPECT_STREQ(GetGroupString(0, 0), "");
  Install(0, {});
  g_setup.package.stringGroups[0] = reinterpret_cast<uint8_t*>(&groups_);  // size 0: never read
  EXPECT_STREQ(GetGroupString(0, 0), "");
}

TEST_F(StringGroups, ErrorMessageWithFileName) {
  std::vector<std::string> texts(32, "");
  texts[9] = "Cannot write %s.";
  texts[21] = "%d%% done, no file here";
  texts[22] = "100%%s literal";
  texts[16] = "%s and %s";
  Install(6, Group(32, texts, 4));
  char fileName[260] = "C:\\Apps\\tool.exe";
  g_setup.errorFileName = fileName;
  char out[1024];

  FormatErrorMessage(out, sizeof(out), 9);
  EXPECT_STREQ(out, "Cannot write C:\\Apps\\tool.exe.");
  // No %s: copied as it stands, percent signs and all.
  FormatErrorMessage(out, sizeof(out), 21);
  EXPECT_STREQ(out, "%d%% done, no file here");
  // "%%s" holds a percent sign followed by s, so the text is formatted: the
  // doubled sign becomes one and the file name is not used.
  FormatErrorMessage(out, sizeof(out), 22);
  EXPECT_STREQ(out, "100%s literal");
  // Only the first %s takes the name.
  FormatErrorMessage(out, sizeof(out), 16);
  EXPECT_STREQ(out, "C:\\Apps\\tool.exe and %s");
  // An error code with no text gives an empty message.
  strcpy(out, "old");
  FormatErrorMessage(out, sizeof(out), 40);
  EXPECT_STREQ(out, "");
}

TEST_F(StringGroups, ErrorMessageCutToCapacity) {
  std::vector<std::string> texts(23, "");
  texts[9] = "Cannot write %s.";
  texts[17] = "No temporary file";
  Install(6, Group(23, texts, 0));
  char fileName[260];
  memset(fileName, 'x', 259);
  fileName[259] = 0;
  g_setup.errorFileName = fileName;

  char out[32];
  memset(out, '#', sizeof(out));
  FormatErrorMessage(out, 20, 9);
  EXPECT_STREQ(out, "Cannot write xxxxxx");
  EXPECT_EQ(out[20], '#');  // nothing past the capacity
  memset(out, '#', sizeof(out));
  FormatErrorMessage(out, 8, 17);
  EXPECT_STREQ(out, "No temp");
  EXPECT_EQ(out[8], '#');
  out[0] = '#';
  FormatErrorMessage(out, 0, 17);
  EXPECT_EQ(out[0], '#');

  // Before the path buffers exist the name is empty.
  g_setup.errorFileName = nullptr;
  FormatErrorMessage(out, sizeof(out), 9);
  EXPECT_STREQ(out, "Cannot write .");
}

}  // namespace
