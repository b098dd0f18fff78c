// The read-ahead of the file wrappers: whatever is read ahead, every reader
// sees its own position, and the file's own position is right again as soon
// as another file is read, the file is written, or sought beyond what was read.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/file_io.h"

namespace {

typedef std::vector<uint8_t> Bytes;

Bytes Counting(size_t n, uint8_t salt) {
  Bytes b(n);
  for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>(i * 7 + (i >> 9) + salt);
  return b;
}

class ReadAhead : public ::testing::Test {
 protected:
  std::string Make(const Bytes& contents) {
    char name[] = "/tmp/quorin-fileio-XXXXXX";
    int fd = mkstemp(name);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(write(fd, contents.data(), contents.size()), static_cast<ssize_t>(contents.size()));
    close(fd);
    paths_.push_back(name);
    return name;
  }
  void TearDown() override {
    for (const std::string& p : paths_) unlink(p.c_str());
  }
  // The position of the descriptor itself, as another program sharing it would see it.
  static off_t OwnPosition(FileHandle file) {
    return lseek(static_cast<int>(reinterpret_cast<intptr_t>(file)), 0, SEEK_CUR);
  }
  std::vector<std::string> paths_;
};

TEST_F(ReadAhead, TwoFilesReadInTurnKeepTheirPlaces) {
  Bytes a = Counting(200000, 1), b = Counting(150000, 2);
  FileHandle fa = OpenExisting(Make(a).c_str(), kOpenRead);
  FileHandle fb = OpenExisting(Make(b).c_str(), kOpenRead);
  Bytes gotA, gotB;
  uint8_t piece[5000];
  for (uint32_t step = 1; gotA.size() < a.size() || gotB.size() < b.size(); step = step * 3 % 4999 + 1) {
    uint32_t n = ReadSome(fa, piece, step);
    gotA.insert(gotA.end(), piece, piece + n);
    EXPECT_EQ(FilePosition(fa), gotA.size());
    n = ReadSome(fb, piece, step);
    gotB.insert(gotB.end(), piece, piece + n);
    // Reading b has given a its own position back.
    EXPECT_EQ(OwnPosition(fa), static_cast<off_t>(gotA.size()));
  }
  EXPECT_EQ(gotA, a);
  EXPECT_EQ(gotB, b);
  CloseFile(fa);
  CloseFile(fb);
}

TEST_F(ReadAhead, SeeksInsideAndOutsideWhatWasRead) {
  Bytes a = Counting(300000, 3);
  FileHandle f = OpenExisting(Make(a).c_str(), kOpenRead);
  uint8_t x[16];
  ASSERT_EQ(ReadExact(f, x, 10), kFileOk);
  EXPECT_EQ(SeekRelative(f, -6), 4u);
  ASSERT_EQ(ReadExact(f, x, 1), kFileOk);
  EXPECT_EQ(x[0], a[4]);
  EXPECT_EQ(SeekFromStart(f, 60000), 60000u);  // inside the read-ahead
  ASSERT_EQ(ReadExact(f, x, 1), kFileOk);
  EXPECT_EQ(x[0], a[60000]);
  EXPECT_EQ(SeekFromStart(f, 250000), 250000u);  // beyond it
  ASSERT_EQ(ReadExact(f, x, 2), kFileOk);
  EXPECT_EQ(x[1], a[250001]);
  EXPECT_EQ(SeekRelative(f, -200000), 50002u);  // back before it
  ASSERT_EQ(ReadExact(f, x, 1), kFileOk);
  EXPECT_EQ(x[0], a[50002]);
  EXPECT_EQ(SeekRelative(f, -60000), kSeekFailed) << "before the start";
  EXPECT_EQ(FilePosition(f), 50003u);
  EXPECT_EQ(SeekFromEnd(f, -1), 299999u);
  EXPECT_EQ(ReadSome(f, x, 16), 1u);
  EXPECT_EQ(x[0], a[299999]);
  EXPECT_EQ(ReadSome(f, x, 16), 0u);
  EXPECT_EQ(FileSize(f), 300000u);
  // A read larger than the read-ahead goes straight through.
  Bytes big(100000);
  EXPECT_EQ(SeekFromStart(f, 7), 7u);
  ASSERT_EQ(ReadExact(f, big.data(), 100000), kFileOk);
  EXPECT_TRUE(std::equal(big.begin(), big.end(), a.begin() + 7));
  EXPECT_EQ(FilePosition(f), 100007u);
  CloseFile(f);
}

TEST_F(ReadAhead, WriteAfterReadLandsWhereTheReaderIs) {
  Bytes a = Counting(1000, 4);
  std::string path = Make(a);
  FileHandle f = OpenExisting(path.c_str(), kOpenReadWrite);
  uint8_t x[3];
  ASSERT_EQ(ReadExact(f, x, 3), kFileOk);
  ASSERT_EQ(WriteExact(f, "XY", 2), kFileOk);
  EXPECT_EQ(FilePosition(f), 5u);
  ASSERT_EQ(ReadExact(f, x, 1), kFileOk);
  EXPECT_EQ(x[0], a[5]) << "the read after the write sees the file, not old read-ahead";
  CloseFile(f);
  FileHandle g = OpenExisting(path.c_str(), kOpenRead);
  uint8_t y[6];
  ASSERT_EQ(ReadExact(g, y, 6), kFileOk);
  EXPECT_EQ(y[3], 'X');
  EXPECT_EQ(y[4], 'Y');
  EXPECT_EQ(y[5], a[5]);
  CloseFile(g);
}

TEST_F(ReadAhead, AHandleClosedBehindTheWrappersIsNotMistakenForTheNextFile) {
  std::string first = Make(Counting(500, 5)), second = Make(Counting(500, 6));
  FileHandle f = OpenExisting(first.c_str(), kOpenRead);
  uint8_t x = 0;
  ASSERT_EQ(ReadExact(f, &x, 1), kFileOk);
  close(static_cast<int>(reinterpret_cast<intptr_t>(f)));  // not through CloseFile
  FileHandle g = OpenExisting(second.c_str(), kOpenRead);
  ASSERT_EQ(g, f) << "the system hands out the lowest free descriptor again";
  ASSERT_EQ(ReadExact(g, &x, 1), kFileOk);
  EXPECT_EQ(x, Counting(1, 6)[0]);
  CloseFile(g);
}

}  // namespace
