// The installation's rules that need no system: temporary names, volume
// names, the progress page's shortened path and its block bar.
#include <gtest/gtest.h>

#include <string.h>

#include <set>
#include <string>

#include "install/space.h"
#include "install/temporary_name.h"
#include "package/volume_name.h"
#include "wizard/progress_bar_layout.h"
#include "wizard/shorten_path.h"

namespace {

std::set<std::string> g_taken;
bool Taken(const char* path) { return g_taken.count(path) != 0; }

std::string Shortened(const std::string& path, size_t limit) {
  char text[260];
  strcpy(text, path.c_str());
  ShortenPath(text, limit);
  return text;
}

}  // namespace

TEST(TemporaryName, FirstFreeFromAToZ) {
  char name[260];
  g_taken = {"C:\\App\\app.$$A", "C:\\App\\app.$$B"};
  ASSERT_TRUE(MakeTemporaryName(name, "C:\\App\\app.dll", Taken));
  EXPECT_STREQ(name, "C:\\App\\app.$$C");
  ASSERT_TRUE(MakeTemporaryName(name, "C:\\App\\README", Taken));
  EXPECT_STREQ(name, "C:\\App\\README.$$A");  // no extension: appended
  // Every name taken: no temporary file, never a name past .$$Z.
  g_taken.clear();
  for (char c = 'A'; c <= 'Z'; ++c) g_taken.insert(std::string("C:\\App\\app.$$") + c);
  EXPECT_FALSE(MakeTemporaryName(name, "C:\\App\\app.dll", Taken));
  // A name that would not fit would be cut, and could equal the destination.
  g_taken.clear();
  EXPECT_FALSE(MakeTemporaryName(name, ("C:\\" + std::string(254, 'n')).c_str(), Taken));
  EXPECT_TRUE(MakeTemporaryName(name, ("C:\\" + std::string(252, 'n')).c_str(), Taken));
}

TEST(VolumeName, TwoDigitsAtLeastFromTheLastComponent) {
  char path[260] = "A:\\SETUP.EXE";
  const char* expected[] = {"A:\\SETUP.D01", "A:\\SETUP.D02"};
  for (int k = 1; k <= 2; ++k) {
    ASSERT_TRUE(NextVolumeName(path, k));
    EXPECT_STREQ(path, expected[k - 1]);
  }
  ASSERT_TRUE(NextVolumeName(path, 99));
  EXPECT_STREQ(path, "A:\\SETUP.D99");
  ASSERT_TRUE(NextVolumeName(path, 100));
  EXPECT_STREQ(path, "A:\\SETUP.D100");
  strcpy(path, "C:\\A.B\\SETUP");
  ASSERT_TRUE(NextVolumeName(path, 1));
  EXPECT_STREQ(path, "C:\\A.B\\SETUP.D01");
  std::string longName = "C:\\" + std::string(253, 's');
  strcpy(path, longName.c_str());
  EXPECT_FALSE(NextVolumeName(path, 1));  // would be cut: another file
}

TEST(ShortenPath, KeepsTheDriveLeadingFoldersAndTheFileName) {
  EXPECT_EQ(Shortened("C:\\Program Files\\Sample Tools\\Editor\\bin\\editor.exe", 30),
            "C:\\Program Files\\...\\editor.exe");
  EXPECT_EQ(Shortened("C:\\Windows\\System\\a.dll", 30), "C:\\Windows\\System\\a.dll");
  EXPECT_EQ(Shortened("C:\\Apps\\averyveryveryverylongfilename.txt", 30),
            "C:\\...\\averyveryveryverylongfilename.txt");
  std::string bare(80, 'x');
  EXPECT_EQ(Shortened(bare, 30), bare);  // no backslash: unchanged
}

TEST(ProgressBar, BlocksOfHalfTheHeightWithTwoPixelGaps) {
  EXPECT_EQ(ProgressBlockCount(200, 16, 0), 1);
  EXPECT_EQ(ProgressBlockCount(200, 16, 50), 10);
  EXPECT_EQ(ProgressBlockCount(200, 16, 100), 20);
  EXPECT_EQ(ProgressBlockLeft(16, 0), 1);
  EXPECT_EQ(ProgressBlockLeft(16, 1), 11);
  EXPECT_EQ(ProgressBlockLeft(16, 19), 191);
}

TEST(Space, ClustersMegabytesAndTheCheck) {
  EXPECT_EQ(AllocatedSize(1, 4), 4096u);            // a 1-byte file on 4 KB clusters
  EXPECT_EQ(AllocatedSize(4096, 4), 4096u);
  EXPECT_EQ(AllocatedSize(0, 4), 0u);
  EXPECT_EQ(AllocatedSize(1, 0), 1024u);            // a cluster size of 0 counts as 1 KB
  EXPECT_EQ(MegabytesOfBytes(10 * AllocatedSize(1, 4)), 1u);  // ten such show 1 MB
  EXPECT_EQ(MegabytesOfBytes(0), 0u);
  EXPECT_EQ(MegabytesOfBytes(5ull << 32), 20480u);  // sums of 4 GiB and more do not wrap
  EXPECT_EQ(MegabytesOfKilobytes(1), 1u);           // 1 KB free shows 1 MB
  EXPECT_EQ(MegabytesOfKilobytes(0), 0u);
  EXPECT_EQ(MegabytesOfKilobytes(4ull << 30), 4194304u);  // 4 TiB free is 4,194,304 MB, not 0
  EXPECT_TRUE(EnoughSpace(1023 * 1024, 1024));
  EXPECT_FALSE(EnoughSpace(1024 * 1024, 1024));     // equal counts as too little
  EXPECT_FALSE(EnoughSpace(6ull << 40, 5ull << 30));
}
