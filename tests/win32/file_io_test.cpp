// The Win32 file wrappers as the stub uses them: access and sharing of the
// three open modes, reads and writes that either finish or fail, and seeking.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/file_io.h"

namespace {

class FileIoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tempDir[MAX_PATH];
    ASSERT_NE(GetTempPathA(sizeof(tempDir), tempDir), 0u);
    char name[MAX_PATH];
    ASSERT_NE(GetTempFileNameA(tempDir, "qft", 0, name), 0u);
    path_ = name;
  }

  void TearDown() override { DeleteFileA(path_.c_str()); }

  // Writes the file with the plain API so the wrappers under test don't check themselves.
  void WriteFileContents(const std::string& contents) {
    HANDLE h = CreateFileA(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    ASSERT_TRUE(WriteFile(h, contents.data(), static_cast<DWORD>(contents.size()), &written, nullptr));
    ASSERT_EQ(written, contents.size());
    CloseHandle(h);
  }

  std::string ReadFileContents() {
    HANDLE h = CreateFileA(path_.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<cannot open>";
    std::string contents(GetFileSize(h, nullptr), '\0');
    DWORD got = 0;
    if (!contents.empty()) ReadFile(h, &contents[0], static_cast<DWORD>(contents.size()), &got, nullptr);
    CloseHandle(h);
    contents.resize(got);
    return contents;
  }

  // A second opener as another program would open the file.
  HANDLE OpenAgain(DWORD access, DWORD share) {
    return CreateFileA(path_.c_str(), access, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                       nullptr);
  }

  std::string path_;
};

TEST_F(FileIoTest, OpenExistingFailsForAMissingFile) {
  std::string missing = path_ + ".missing";
  for (int mode : {kOpenRead, kOpenWrite, kOpenReadWrite}) {
    EXPECT_EQ(OpenExisting(missing.c_str(), mode), INVALID_FILE) << "mode " << mode;
  }
  EXPECT_EQ(GetFileAttributesA(missing.c_str()), INVALID_FILE_ATTRIBUTES) << "must not create it";
}

TEST_F(FileIoTest, ReadModeLetsOthersReadButNotWrite) {
  WriteFileContents("abc");
  FileHandle file = OpenExisting(path_.c_str(), kOpenRead);
  ASSERT_NE(file, INVALID_FILE);

  HANDLE reader = OpenAgain(GENERIC_READ, FILE_SHARE_READ);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);

  HANDLE writer = OpenAgain(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

  char byte = 0;
  EXPECT_EQ(WriteExact(file, "x", 1), kFileWriteFailed) << "a read handle must refuse writes";
  EXPECT_EQ(ReadExact(file, &byte, 1), kFileOk);
  EXPECT_EQ(byte, 'a');
  CloseFile(file);
}

TEST_F(FileIoTest, WriteModeSharesWithNobody) {
  WriteFileContents("abc");
  FileHandle file = OpenExisting(path_.c_str(), kOpenWrite);
  ASSERT_NE(file, INVALID_FILE);

  HANDLE reader = OpenAgain(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);

  char byte = 0;
  EXPECT_EQ(ReadExact(file, &byte, 1), kFileReadFailed) << "a write handle must refuse reads";
  EXPECT_EQ(WriteExact(file, "X", 1), kFileOk);
  CloseFile(file);
  EXPECT_EQ(ReadFileContents(), "Xbc") << "opening an existing file must not truncate it";
}

TEST_F(FileIoTest, ReadWriteModeLetsOthersReadOnly) {
  WriteFileContents("abcdef");
  FileHandle file = OpenExisting(path_.c_str(), kOpenReadWrite);
  ASSERT_NE(file, INVALID_FILE);

  // A reader must tolerate the writer that is already there.
  HANDLE reader = OpenAgain(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_NE(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);

  HANDLE writer = OpenAgain(GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(writer, INVALID_HANDLE_VALUE);
  if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);

  char two[2] = {};
  EXPECT_EQ(ReadExact(file, two, 2), kFileOk);
  EXPECT_EQ(std::string(two, 2), "ab");
  EXPECT_EQ(WriteExact(file, "CD", 2), kFileOk) << "writes continue where the read stopped";
  CloseFile(file);
  EXPECT_EQ(ReadFileContents(), "abCDef");
}

TEST_F(FileIoTest, CreateAlwaysTruncatesAndLocksTheFile) {
  WriteFileContents("old contents");
  FileHandle file = CreateAlways(path_.c_str());
  ASSERT_NE(file, INVALID_FILE);
  EXPECT_EQ(FileSize(file), 0u);

  HANDLE reader = OpenAgain(GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  EXPECT_EQ(reader, INVALID_HANDLE_VALUE);
  if (reader != INVALID_HANDLE_VALUE) CloseHandle(reader);

  EXPECT_EQ(WriteExact(file, "new", 3), kFileOk);
  CloseFile(file);
  EXPECT_EQ(ReadFileContents(), "new");
}

TEST_F(FileIoTest, ReadExactFailsOnAShortRead) {
  WriteFileContents("0123456789");
  FileHandle file = OpenExisting(path_.c_str(), kOpenRead);
  ASSERT_NE(file, INVALID_FILE);

  char buffer[16] = {};
  ASSERT_EQ(SeekFromStart(file, 6), 6u);
  EXPECT_EQ(ReadExact(file, buffer, 8), kFileReadFailed) << "only 4 of 8 bytes are left";
  EXPECT_EQ(ReadExact(file, buffer, 1), kFileReadFailed) << "at the end nothing is left";
  EXPECT_EQ(ReadExact(file, buffer, 0), kFileOk) << "nothing asked, nothing missing";

  ASSERT_EQ(SeekFromStart(file, 6), 6u);
  EXPECT_EQ(ReadSome(file, buffer, 8), 4u) << "ReadSome takes what is there";
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(ReadSome(file, buffer, 8), 0u);
  CloseFile(file);
}

TEST_F(FileIoTest, WriteExactWritesEveryByte) {
  std::vector<unsigned char> data(70000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<unsigned char>(i * 7 + (i >> 8));
  FileHandle file = CreateAlways(path_.c_str());
  ASSERT_NE(file, INVALID_FILE);
  EXPECT_EQ(WriteExact(file, data.data(), static_cast<uint32_t>(data.size())), kFileOk);
  EXPECT_EQ(FilePosition(file), data.size());
  CloseFile(file);

  std::string back = ReadFileContents();
  ASSERT_EQ(back.size(), data.size());
  EXPECT_EQ(0, memcmp(back.data(), data.data(), data.size()));
}

TEST_F(FileIoTest, SeeksReturnTheNewPosition) {
  WriteFileContents("0123456789");
  FileHandle file = OpenExisting(path_.c_str(), kOpenRead);
  ASSERT_NE(file, INVALID_FILE);
  char c = 0;

  EXPECT_EQ(SeekFromStart(file, 3), 3u);
  ASSERT_EQ(ReadExact(file, &c, 1), kFileOk);
  EXPECT_EQ(c, '3');

  EXPECT_EQ(SeekRelative(file, 2), 6u);
  EXPECT_EQ(SeekRelative(file, -5), 1u);
  ASSERT_EQ(ReadExact(file, &c, 1), kFileOk);
  EXPECT_EQ(c, '1');

  EXPECT_EQ(SeekFromEnd(file, -4), 6u);
  ASSERT_EQ(ReadExact(file, &c, 1), kFileOk);
  EXPECT_EQ(c, '6');
  EXPECT_EQ(FilePosition(file), 7u);

  EXPECT_EQ(SeekFromEnd(file, 0), 10u);
  CloseFile(file);
}

TEST_F(FileIoTest, OffsetsOf2GiBAndMoreAreNotNegative) {
  // Seeking past the end is allowed and costs no disk space.
  WriteFileContents("0123456789");
  FileHandle file = OpenExisting(path_.c_str(), kOpenRead);
  ASSERT_NE(file, INVALID_FILE);
  EXPECT_EQ(SeekFromStart(file, 0x80000010u), 0x80000010u);
  EXPECT_EQ(FilePosition(file), 0x80000010u);
  EXPECT_EQ(SeekRelative(file, -0x10), 0x80000000u);
  EXPECT_EQ(SeekFromStart(file, 0xFFFFFFF0u), 0xFFFFFFF0u);
  // 4 GiB - 1 and beyond do not fit a position: failed.
  EXPECT_EQ(SeekRelative(file, 0x20), kSeekFailed);
  EXPECT_EQ(FilePosition(file), kSeekFailed);
  EXPECT_EQ(SeekFromStart(file, 2), 2u);
  char c = 0;
  ASSERT_EQ(ReadExact(file, &c, 1), kFileOk);
  EXPECT_EQ(c, '2');
  EXPECT_EQ(SeekRelative(file, -4), kSeekFailed) << "before the start";
  EXPECT_EQ(FilePosition(file), 3u);
  CloseFile(file);
}

TEST_F(FileIoTest, SeekingPastTheEndThenWritingGrowsTheFile) {
  WriteFileContents("ab");
  FileHandle file = OpenExisting(path_.c_str(), kOpenReadWrite);
  ASSERT_NE(file, INVALID_FILE);
  EXPECT_EQ(SeekFromStart(file, 5), 5u);
  EXPECT_EQ(WriteExact(file, "z", 1), kFileOk);
  EXPECT_EQ(FileSize(file), 6u);
  CloseFile(file);
  EXPECT_EQ(ReadFileContents(), std::string("ab\0\0\0z", 6));
}

TEST_F(FileIoTest, FileSizeKeepsThePosition) {
  WriteFileContents("0123456789");
  FileHandle file = OpenExisting(path_.c_str(), kOpenRead);
  ASSERT_NE(file, INVALID_FILE);
  ASSERT_EQ(SeekFromStart(file, 4), 4u);

  EXPECT_EQ(FileSize(file), 10u);
  EXPECT_EQ(FilePosition(file), 4u);
  char c = 0;
  ASSERT_EQ(ReadExact(file, &c, 1), kFileOk);
  EXPECT_EQ(c, '4') << "the next read continues where it was before FileSize";
  CloseFile(file);
}

TEST_F(FileIoTest, ClosingReleasesTheSharingLock) {
  WriteFileContents("abc");
  FileHandle file = OpenExisting(path_.c_str(), kOpenWrite);
  ASSERT_NE(file, INVALID_FILE);
  CloseFile(file);
  FileHandle again = OpenExisting(path_.c_str(), kOpenWrite);
  EXPECT_NE(again, INVALID_FILE);
  if (again != INVALID_FILE) CloseFile(again);
}

}  // namespace
