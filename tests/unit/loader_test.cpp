// The package loader over synthetic setup files written to temporary files.
#include <gtest/gtest.h>

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "common/memory.h"
#include "common/setup_state.h"
#include "package/format.h"
#include "package/loader.h"
#include "package/strings.h"
#include "package/volumes.h"
#include "package_bytes.h"
#include "startup/config_block.h"

using namespace format;

// The message box, as the loader sees it on the host.
static std::vector<std::pair<std::string, unsigned>> g_messages;
int ShowMessage(const char* text, unsigned style) {
  g_messages.emplace_back(text, style);
  return 1;
}

// Package records are read without a budget, so no volume change happens here.
FileHandle OpenNextVolume() { return INVALID_FILE; }

namespace {

// Blocks the code under test allocates start out as 0xA5, never as zeros.
const bool kScribbled = (g_scribbleNewBlocks = true);

Bytes Text(const std::string& s) {
  Bytes b;
  PutText(b, s);
  return b;
}

Bytes Record(uint16_t tag, const Bytes& body, uint8_t flags = 0) {
  Bytes r;
  PutRecord(r, tag, flags, body);
  return r;
}

Bytes CompressedRecord(uint16_t tag, const Bytes& content) {
  Bytes body;
  PutU32(body, static_cast<uint32_t>(content.size()));
  PutBytes(body, StoredStream(content));
  return Record(tag, body, kRecordCompressed);
}

Bytes Group(const std::vector<std::string>& texts) {
  Bytes g;
  PutU16(g, static_cast<uint16_t>(texts.size()));
  for (const auto& t : texts) PutBytes(g, Text(t));
  return g;
}

Bytes GroupsRecord(const std::vector<Bytes>& groups) {
  Bytes body;
  PutU16(body, static_cast<uint16_t>(groups.size()));
  for (const auto& g : groups) {
    PutU32(body, static_cast<uint32_t>(g.size()));
    PutBytes(body, StoredStream(g));
  }
  return Record(kTagStringGroups, body);
}

// Group 6 with the title and the package-incomplete message at entry 31.
Bytes MessagesRecord() {
  std::vector<std::string> texts(32, "");
  texts[0] = "Acme Setup";
  texts[31] = "The setup package is incomplete.";
  std::vector<Bytes> groups(7, Group({}));
  groups[6] = Group(texts);
  return GroupsRecord(groups);
}

Bytes DataArea(uint32_t length, uint32_t present) {
  Bytes body;
  PutU32(body, length);
  body.resize(body.size() + present, 0xAB);
  return Record(kTagDataArea, body);
}

Bytes EmptyFileList() {
  Bytes count;
  PutU32(count, 0);
  return Record(kTagFileList, count);
}

Bytes StartPage(uint16_t page) {
  Bytes b;
  PutU16(b, page);
  return Record(kTagStartPage, b);
}

// A stand-in stub: filler bytes with a configuration block at blockAt.
Bytes Stub(uint32_t size, uint32_t blockAt = 100, uint32_t storedSize = 0xFFFFFFFF) {
  Bytes s(size, 0x90);
  const uint8_t head[6] = {0x77, 0x77, 'g', 'T', ')', 'H'};
  memcpy(s.data() + blockAt, head, 6);
  uint32_t v = storedSize == 0xFFFFFFFF ? size : storedSize;
  for (int i = 0; i < 4; ++i) s[blockAt + 6 + i] = static_cast<uint8_t>(v >> (8 * i));
  memset(s.data() + blockAt + 10, 0, 8);
  return s;
}

class Loader : public ::testing::Test {
 protected:
  void SetUp() override {
    ReleasePackage();
    g_setup = SetupState();
    AllocatePathBuffers();
    g_messages.clear();
    SetOwnStubSize(kStubSize);
    strcpy(path_, "/tmp/quorin-loader-XXXXXX");
    int fd = mkstemp(path_);
    ASSERT_GE(fd, 0);
    close(fd);
    strcpy(g_setup.sourcePath, path_);
  }
  void TearDown() override {
    ReleasePackage();
    ReleasePathBuffers();
    unlink(path_);
  }

  void Reset() {
    TearDown();
    SetUp();
  }

  static void SetOwnStubSize(uint32_t size) {
    for (int i = 0; i < 4; ++i) g_stubConfig[kConfigStubSizeOffset + i] = static_cast<uint8_t>(size >> (8 * i));
  }

  void Write(const Bytes& bytes) {
    FILE* f = fopen(path_, "wb");
    ASSERT_TRUE(f);
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }

  // A setup file: the stub, the given records, an empty file list unless
  // they hold one, then a complete data area.
  bool Load(const std::vector<Bytes>& records, bool dataArea = true) {
    Bytes file = Stub(kStubSize);
    bool hasList = false;
    for (const auto& r : records) {
      PutBytes(file, r);
      hasList = hasList || (r[0] | r[1] << 8) == kTagFileList;
    }
    if (!hasList) PutBytes(file, EmptyFileList());
    if (dataArea) PutBytes(file, DataArea(10, 10));
    Write(file);
    return LoadPackage();
  }

  static constexpr uint32_t kStubSize = 512;
  char path_[64];
};

TEST_F(Loader, BareStubFailsSilently) {
  Write(Stub(kStubSize));
  EXPECT_FALSE(LoadPackage());
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(Loader, CompleteMinimalPackage) {
  Bytes flags;
  PutU32(flags, kFlagBackgroundMode | kFlagEditableFolder);
  ASSERT_TRUE(Load({Record(kTagFlags, flags), MessagesRecord()}));
  EXPECT_EQ(g_setup.package.flags, kFlagBackgroundMode | kFlagEditableFolder);
  EXPECT_STREQ(g_setup.packagePath, path_);
  EXPECT_EQ(g_setup.package.dataAreaStart, kStubSize + Record(kTagFlags, flags).size() +
                                                MessagesRecord().size() + EmptyFileList().size() +
                                                kRecordHeaderSize);
  EXPECT_EQ(g_setup.package.dataLength, 10u);
  EXPECT_EQ(g_setup.volume.remaining, 10u);
  EXPECT_EQ(g_setup.package.startPage, kNoStartPage);
  EXPECT_STREQ(GetGroupString(6, 0), "Acme Setup");
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(Loader, TruncatedRecordsFailSilently) {
  Bytes file = Stub(kStubSize);
  PutBytes(file, MessagesRecord());
  Bytes text = Record(kTagUninstallName, Text("Acme"));
  for (size_t cut : {size_t(3), size_t(8), text.size() - 1}) {
    Bytes f = file;
    f.insert(f.end(), text.begin(), text.begin() + cut);
    Write(f);
    EXPECT_FALSE(LoadPackage()) << "cut " << cut;
    ReleasePackage();
  }
  // A record sequence without a data area runs into the end of the file.
  Write(file);
  EXPECT_FALSE(LoadPackage());
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(Loader, UnknownAndSkippedTagsArePassedOver) {
  Bytes junk(37, 0xEE);
  ASSERT_TRUE(Load({Record(kTagUnused123B, junk), Record(kTagUnused1245, junk), Record(0x5555, junk),
                    Record(0x0000, {}), Record(kTagUninstallName, Text("Acme Tools"))}));
  EXPECT_STREQ(g_setup.package.uninstallName, "Acme Tools");
}

TEST_F(Loader, LaterRecordOfATagWins) {
  ASSERT_TRUE(Load({Record(kTagSideBitmap, Bytes(10, 1)), CompressedRecord(kTagSideBitmap, Bytes(20, 2))}));
  EXPECT_EQ(g_setup.package.sideBitmapSize, 20u);
  EXPECT_EQ(g_setup.package.sideBitmap[19], 2);
}

TEST_F(Loader, DefaultFolderIsCutTo259Characters) {
  std::string folder(400, 'x');
  ASSERT_TRUE(Load({Record(kTagDefaultFolder, Text(folder))}));
  EXPECT_EQ(std::string(g_setup.destinationFolder), folder.substr(0, 259));
}

TEST_F(Loader, FixedRecordIgnoresCompressedFlag) {
  ASSERT_TRUE(Load({Record(kTagFlags, {0x09, 0, 0, 0}, kRecordCompressed),
                    Record(kTagLocationRoot, {2, 0, 0, 0}, kRecordCompressed)}));
  EXPECT_EQ(g_setup.package.flags, 9u);
  EXPECT_EQ(g_setup.package.locationRoot, 2u);
}

TEST_F(Loader, CompressedTextBodies) {
  ASSERT_TRUE(Load({CompressedRecord(kTagDefaultFolder, Text("#Program Files#\\Acme")),
                    CompressedRecord(kTagLocationKey, Text("Software\\Acme"))}));
  EXPECT_STREQ(g_setup.destinationFolder, "#Program Files#\\Acme");
  EXPECT_STREQ(g_setup.package.locationKey, "Software\\Acme");
}

TEST_F(Loader, StoredTextWithoutTerminatorStaysTerminated) {
  ASSERT_TRUE(Load({Record(kTagBackgroundTitle, Bytes{'A', 'c', 'm', 'e'})}));
  EXPECT_STREQ(g_setup.package.backgroundTitle, "Acme");
}

TEST_F(Loader, UndecodableCompressedBodyFailsSilently) {
  Bytes body;
  PutU32(body, 5);
  body.push_back(0x00);  // block header 0: no such block kind
  body.resize(20, 0);
  EXPECT_FALSE(Load({MessagesRecord(), Record(kTagUninstallName, body, kRecordCompressed)}));
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(Loader, StreamLongerThanItsExpandedSizeIsDamaged) {
  Bytes body;
  PutU32(body, 3);  // claims 3 bytes, the stream gives 5
  PutBytes(body, StoredStream(Text("abcd")));
  EXPECT_FALSE(Load({Record(kTagUninstallName, body, kRecordCompressed)}));
}

TEST_F(Loader, StreamShorterThanItsExpandedSizeLeavesZeros) {
  // A writer that counted the text's NUL but did not write it, and a body
  // whose stream makes 3 of 64 bytes: what is missing reads as zeros.
  Bytes text, bitmap;
  PutU32(text, 5);
  PutBytes(text, StoredStream(Bytes{'A', 'c', 'm', 'e'}));
  PutU32(bitmap, 64);
  PutBytes(bitmap, StoredStream(Bytes{1, 2, 3}));
  ASSERT_TRUE(Load({Record(kTagUninstallName, text, kRecordCompressed),
                    Record(kTagSideBitmap, bitmap, kRecordCompressed)}));
  EXPECT_STREQ(g_setup.package.uninstallName, "Acme");
  ASSERT_EQ(g_setup.package.sideBitmapSize, 64u);
  Bytes expected(64, 0);
  expected[0] = 1;
  expected[1] = 2;
  expected[2] = 3;
  EXPECT_EQ(Bytes(g_setup.package.sideBitmap, g_setup.package.sideBitmap + 64), expected);
}

TEST_F(Loader, SizesNoStreamOrFileCouldFillAreRefused) {
  // A stream of a few bytes cannot make 4 GiB, nor a text of 12 bytes 3 GiB,
  // and the same for a string group: damage, refused before taking memory.
  Bytes body;
  PutU32(body, 0xFFFFFFF0u);
  PutBytes(body, StoredStream(Bytes{1, 2, 3}));
  EXPECT_FALSE(Load({Record(kTagSideBitmap, body, kRecordCompressed)}));
  Reset();
  Bytes text = Record(kTagUninstallName, Text("Acme Tools"));
  text[4] = 0;
  text[7] = 0xC0;  // body length 3 GiB and a few bytes
  EXPECT_FALSE(Load({text}));
  Reset();
  Bytes groups;
  PutU16(groups, 1);
  PutU32(groups, 0x7FFFFFFFu);
  PutBytes(groups, StoredStream(Group({"a"})));
  EXPECT_FALSE(Load({Record(kTagStringGroups, groups)}));
  EXPECT_TRUE(g_messages.empty());
  // What a stream can make at most is still accepted.
  Reset();
  body.clear();
  PutU32(body, 4);
  PutBytes(body, StoredStream(Bytes{1, 2, 3, 4}));
  EXPECT_TRUE(Load({Record(kTagSideBitmap, body, kRecordCompressed)}));
}

TEST_F(Loader, RecordLengthsOf2GiBAndMoreAreFollowedNotMisread) {
  // Bodies that claim 2 GiB and more; what follows the header inside the file
  // would make a usable package if it were read as records.
  for (uint32_t length : {0x80000000u, 0x80000010u, 0xFFFFFF00u, 0xFFFFFFFFu}) {
    Bytes file = Stub(kStubSize);
    Bytes header;
    PutU16(header, 0x5555);
    PutU8(header, 0);
    PutU8(header, 0);
    PutU32(header, length);
    PutBytes(file, header);
    PutBytes(file, StartPage(1));
    PutBytes(file, DataArea(4, 4));
    Write(file);
    EXPECT_FALSE(LoadPackage()) << length;
    EXPECT_TRUE(g_messages.empty());
    Reset();
  }
}

TEST_F(Loader, DataAreaPastTheEndShowsIncompleteMessage) {
  Bytes file = Stub(kStubSize);
  PutBytes(file, MessagesRecord());
  PutBytes(file, DataArea(1000, 500));
  Write(file);
  EXPECT_FALSE(LoadPackage());
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].first, "The setup package is incomplete.");
  EXPECT_EQ(g_messages[0].second, 0x40u);
}

// Damage that turns the file list into another record leaves data that
// nothing describes: the package is incomplete, not a setup of no files.
TEST_F(Loader, DataWithoutAFileListIsIncomplete) {
  Bytes file = Stub(kStubSize);
  PutBytes(file, MessagesRecord());
  PutBytes(file, DataArea(10, 10));
  Write(file);
  EXPECT_FALSE(LoadPackage());
  ASSERT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_messages[0].first, "The setup package is incomplete.");

  Reset();
  file = Stub(kStubSize);
  PutBytes(file, MessagesRecord());
  PutBytes(file, DataArea(0, 0));  // no data: a setup of no files
  Write(file);
  EXPECT_TRUE(LoadPackage());
}

TEST_F(Loader, StartPageMakesTruncatedPackageUsable) {
  Bytes file = Stub(kStubSize);
  PutBytes(file, MessagesRecord());
  PutBytes(file, StartPage(4));
  PutBytes(file, DataArea(1000, 500));
  Write(file);
  EXPECT_TRUE(LoadPackage());
  EXPECT_EQ(g_setup.package.startPage, 4);
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(Loader, StartPageOutsideThePagesMeansWholeWizard) {
  ASSERT_TRUE(Load({StartPage(9)}));
  EXPECT_EQ(g_setup.package.startPage, kNoStartPage);
}

TEST_F(Loader, DataAreaWithBodyLengthZero) {
  Bytes file = Stub(kStubSize);
  PutBytes(file, MessagesRecord());
  PutBytes(file, Record(kTagDataArea, {}));
  PutBytes(file, Record(kTagUninstallName, Text("never read")));
  Write(file);
  EXPECT_FALSE(LoadPackage());
  EXPECT_EQ(g_messages.size(), 1u);
  EXPECT_EQ(g_setup.package.uninstallName, nullptr);

  Reset();
  file = Stub(kStubSize);
  PutBytes(file, StartPage(2));
  PutBytes(file, Record(kTagDataArea, {}));
  Write(file);
  EXPECT_TRUE(LoadPackage());
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(Loader, IncompleteWithoutMessageTextShowsNothing) {
  Bytes file = Stub(kStubSize);
  PutBytes(file, DataArea(1000, 5));
  Write(file);
  EXPECT_FALSE(LoadPackage());
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(Loader, TwelveGroupsLoadNine) {
  std::vector<Bytes> groups;
  for (int g = 0; g < 12; ++g) groups.push_back(Group({"group " + std::to_string(g)}));
  ASSERT_TRUE(Load({GroupsRecord(groups), Record(kTagUninstallName, Text("after"))}));
  EXPECT_STREQ(GetGroupString(8, 0), "group 8");
  EXPECT_STREQ(GetGroupString(0, 0), "group 0");
  EXPECT_STREQ(GetGroupString(9, 0), "");
  EXPECT_STREQ(g_setup.package.uninstallName, "after");
}

TEST_F(Loader, GroupsRecordTruncatedFails) {
  Bytes body;
  PutU16(body, 2);
  PutU32(body, 3);
  PutBytes(body, StoredStream(Group({})));
  PutU16(body, 1);  // half a size field, then the record ends
  Bytes file = Stub(kStubSize);
  PutBytes(file, Record(kTagStringGroups, body));
  Write(file);
  EXPECT_FALSE(LoadPackage());
}

Bytes Entry(const std::string& name, uint8_t options = 0) {
  Bytes e(kEntryFixedSize, 0);
  e[kEntryOptions] = options;
  if (options & (kOptionCheckVersion | kOptionCheckLanguage)) e.resize(e.size() + kEntryVersionBlockSize, 0);
  if (options & kOptionFileTimes) e.resize(e.size() + kEntryFileTimesSize, 0);
  PutBytes(e, Text(name));
  for (int i = 1; i < kEntryStringCount; ++i) e.push_back(0);
  uint32_t size = static_cast<uint32_t>(e.size());
  for (int i = 0; i < 4; ++i) e[i] = static_cast<uint8_t>(size >> (8 * i));
  return e;
}

TEST_F(Loader, FileList) {
  Bytes list;
  PutU32(list, 2);
  PutBytes(list, Entry("app.exe", kOptionCheckVersion | kOptionFileTimes));
  PutBytes(list, Entry("readme.txt"));
  ASSERT_TRUE(Load({CompressedRecord(kTagFileList, list)}));
  EXPECT_EQ(g_setup.package.fileCount, 2u);
  EXPECT_EQ(g_setup.package.firstEntry, g_setup.package.fileList + 4);
}

TEST_F(Loader, FileListRunningOutsideItsBodyIsRefused) {
  Bytes list;
  PutU32(list, 3);  // says three, holds two
  PutBytes(list, Entry("a"));
  PutBytes(list, Entry("b"));
  EXPECT_FALSE(Load({Record(kTagFileList, list)}));

  Reset();
  list.clear();
  PutU32(list, 1);
  Bytes e = Entry("a");
  e.pop_back();  // the sixth string is missing its terminator
  e[0] = static_cast<uint8_t>(e.size());
  PutBytes(list, e);
  EXPECT_FALSE(Load({Record(kTagFileList, list)}));

  Reset();
  list.clear();
  PutU32(list, 1);
  e = Entry("a");
  e[0] = 3;  // an entry smaller than its fixed part would never advance
  PutBytes(list, e);
  EXPECT_FALSE(Load({Record(kTagFileList, list)}));
}

TEST_F(Loader, TemplatesKeepTheirLength) {
  ASSERT_TRUE(Load({Record(kTagTemplates, Bytes(77, 3))}));
  EXPECT_EQ(g_setup.package.templatesSize, 77u);
}

// --- stub size 0: the configuration block comes from the /S source ---------

class LoaderFromSource : public Loader {
 protected:
  void SetUp() override {
    Loader::SetUp();
    SetOwnStubSize(0);
  }
  void WriteWithStub(const Bytes& stub) {
    Bytes file = stub;
    PutBytes(file, MessagesRecord());
    PutBytes(file, EmptyFileList());
    PutBytes(file, DataArea(4, 4));
    Write(file);
  }
};

TEST_F(LoaderFromSource, WithoutSourceSwitchFailsSilently) {
  WriteWithStub(Stub(kStubSize));
  EXPECT_FALSE(LoadPackage());
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(LoaderFromSource, TakesTheSourcesBlock) {
  g_setup.sourceSwitch = true;
  WriteWithStub(Stub(kStubSize));
  EXPECT_TRUE(LoadPackage());
  EXPECT_EQ(StubSize(), kStubSize);
}

TEST_F(LoaderFromSource, BlockInTheThirdReadIsFound) {
  g_setup.sourceSwitch = true;
  const uint32_t size = 150000;
  WriteWithStub(Stub(size, 2 * 65500 + 10));
  EXPECT_TRUE(LoadPackage());
  EXPECT_EQ(StubSize(), size);
}

TEST_F(LoaderFromSource, BlockStraddlingTwoReadsIsNotFound) {
  g_setup.sourceSwitch = true;
  WriteWithStub(Stub(100000, 65500 - 9));  // marker in the first read, size field in the second
  EXPECT_FALSE(LoadPackage());
  EXPECT_TRUE(g_messages.empty());
}

TEST_F(LoaderFromSource, BlockBeyondThreeReadsIsNotFound) {
  g_setup.sourceSwitch = true;
  WriteWithStub(Stub(200000, 196500));
  EXPECT_FALSE(LoadPackage());
}

TEST_F(LoaderFromSource, MissingSourceFailsSilently) {
  g_setup.sourceSwitch = true;
  strcpy(g_setup.sourcePath, "/nonexistent/setup.exe");
  EXPECT_FALSE(LoadPackage());
  EXPECT_TRUE(g_messages.empty());
}

}  // namespace
