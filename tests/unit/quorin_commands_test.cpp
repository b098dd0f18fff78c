// The inspector on damaged and foreign setup files: each problem is named by
// its record or entry, and nothing it reads makes it crash.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <sstream>

#include "byte_buffer.h"
#include "embedded_stubs.h"
#include "setup_commands.h"
#include "package/checksum.h"
#include "package/format.h"
#include "package/marker.h"
#include "package_builder.h"
#include "project.h"
#include "package_bytes.h"
#include "quorin_test_support.h"
#include "setup_reader.h"

namespace {

using namespace quorin_test;

// A stub with its stub size stamped, followed by hand-made records.
Bytes StubWithRecords(const Bytes& records) {
  const uint8_t* data;
  size_t size;
  EmbeddedStub(StubArch::kI686, &data, &size);
  Bytes file(data, data + size);
  uint8_t* block = const_cast<uint8_t*>(FindMarker(file.data(), file.size(), format::kConfigTag));
  format::WriteU32(block + format::kConfigStubSizeOffset, static_cast<uint32_t>(size));
  PutBytes(file, records);
  return file;
}

Bytes DataArea(const Bytes& streams) {
  Bytes body;
  PutU32(body, static_cast<uint32_t>(streams.size()));
  PutBytes(body, streams);
  return body;
}

Bytes Entry(const std::string& name, const Bytes& content, uint32_t packed) {
  Bytes e;
  PutU32(e, 0);
  PutU16(e, 0);
  PutU16(e, 0);
  for (int i = 0; i < 6; ++i) PutU8(e, i == 3 ? 1 : 0);
  PutU32(e, UpdateChecksum(0, content.data(), content.size()));
  PutU32(e, static_cast<uint32_t>(content.size()));
  PutU32(e, packed);
  PutText(e, name);
  for (int i = 0; i < 5; ++i) PutU8(e, 0);
  format::WriteU32(e.data(), static_cast<uint32_t>(e.size()));
  return e;
}

struct Outcome {
  int status;
  std::string out, err;
};

Outcome Verify(const std::string& path) {
  std::ostringstream out, err;
  int status = VerifySetup(path, out, err);
  return {status, out.str(), err.str()};
}

class Inspector : public ::testing::Test {
 protected:
  std::string Write(const Bytes& file, const std::string& name = "setup.exe") {
    WriteBytes(dir / name, file);
    return dir / name;
  }
  ScratchDir dir;
};

TEST_F(Inspector, AHandMadePackageVerifies) {
  Bytes one = {'o', 'n', 'e'}, two(5000, 'x');
  Bytes list;
  PutU32(list, 2);
  PutBytes(list, Entry("one.txt", one, 6));
  PutBytes(list, Entry("two.txt", two, 5003));
  Bytes records;
  PutRecord(records, format::kTagFileList, 0, list);
  Bytes streams = StoredStream(one);
  PutBytes(streams, StoredStream(two));
  PutRecord(records, format::kTagDataArea, 0, DataArea(streams));
  Outcome o = Verify(Write(StubWithRecords(records)));
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.out.find("2 streams (5,003 bytes)"), std::string::npos) << o.out;
}

TEST_F(Inspector, NotASetupFile) {
  Outcome o = Verify(Write(TextBytes(100000, 1), "notes.txt"));
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("no stub configuration block"), std::string::npos) << o.err;
}

TEST_F(Inspector, BareStub) {
  Outcome o = Verify(Write(StubWithRecords({})));
  EXPECT_EQ(o.status, 2);
  EXPECT_NE(o.err.find("no package is appended"), std::string::npos) << o.err;
}

TEST_F(Inspector, EntrySizeTooSmall) {
  Bytes list;
  PutU32(list, 1);
  Bytes e = Entry("one.txt", {'a'}, 4);
  format::WriteU32(e.data(), 12);
  PutBytes(list, e);
  Bytes records;
  PutRecord(records, format::kTagFileList, 0, list);
  PutRecord(records, format::kTagDataArea, 0, DataArea(StoredStream({'a'})));
  Outcome o = Verify(Write(StubWithRecords(records)));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("file entry 0 (offset 4 in the file list): entry size 12 is smaller than its 26-byte fixed part"),
            std::string::npos) << o.err;
}

TEST_F(Inspector, EntryRunningPastTheList) {
  Bytes list;
  PutU32(list, 2);
  PutBytes(list, Entry("one.txt", {'a'}, 4));
  Bytes records;
  PutRecord(records, format::kTagFileList, 0, list);
  PutRecord(records, format::kTagDataArea, 0, DataArea(StoredStream({'a'})));
  Outcome o = Verify(Write(StubWithRecords(records)));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("file entry 1 (offset 43 in the file list): the file list ends 0 bytes into the entry; the list says 2 entries"),
            std::string::npos) << o.err;
}

TEST_F(Inspector, RecordRunningPastTheEnd) {
  Bytes records;
  Bytes title = {'T', 0};
  PutRecord(records, format::kTagBackgroundTitle, 0, title);
  format::WriteU32(records.data() + 4, 1000000);
  Outcome o = Verify(Write(StubWithRecords(records)));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("record 0x1239 (background title) at offset "), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("body length 1000000 runs past the end of the file"), std::string::npos) << o.err;
}

TEST_F(Inspector, CompressedBodyThatDoesNotDecode) {
  Bytes body;
  PutU32(body, 100);
  PutBytes(body, Bytes{0x00, 0x00, 0x00, 0x00});  // block header 0: no such block kind
  Bytes records;
  PutRecord(records, format::kTagUninstallName, format::kRecordCompressed, body);
  PutRecord(records, format::kTagDataArea, 0, DataArea({}));
  Outcome o = Verify(Write(StubWithRecords(records)));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("record 0x1238 (uninstall name)"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("the compressed stream does not decode to 100 bytes"), std::string::npos) << o.err;
}

TEST_F(Inspector, TemplateOffsetOutsideTheRecordAndBadBitmap) {
  Bytes templates;
  for (int n = 0; n < format::kTemplateCount; ++n) PutU32(templates, n == 4 ? 5000 : 36);
  PutBytes(templates, Bytes(8, 0));  // no dialog parses from eight zero bytes
  Bytes records;
  PutRecord(records, format::kTagTemplates, 0, templates);
  PutRecord(records, format::kTagSideBitmap, 0, Bytes{'B', 'M', 1, 2, 3});
  PutRecord(records, format::kTagDataArea, 0, DataArea({}));
  Outcome o = Verify(Write(StubWithRecords(records)));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("(dialog templates) at offset"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("template 4 (progress page): offset 5000 lies outside the record (44 bytes)"), std::string::npos)
      << o.err;
  EXPECT_NE(o.err.find("template 0 (frame dialog (framed mode)) at offset 36: "), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("(side bitmap) at offset"), std::string::npos) << o.err;
  EXPECT_NE(o.err.find("not a .bmp file"), std::string::npos) << o.err;
}

TEST_F(Inspector, NoDataArea) {
  Bytes records;
  Bytes flags(4, 0);
  PutRecord(records, format::kTagFlags, 0, flags);
  Outcome o = Verify(Write(StubWithRecords(records)));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("without a data area record"), std::string::npos) << o.err;
}

TEST_F(Inspector, StreamLongerThanItsEntrySays) {
  Bytes one(300, 'q');
  Bytes list;
  PutU32(list, 2);
  PutBytes(list, Entry("one.txt", one, 200));  // the stream is 303 bytes
  PutBytes(list, Entry("two.txt", one, 303));
  Bytes records;
  PutRecord(records, format::kTagFileList, 0, list);
  Bytes streams = StoredStream(one);
  PutBytes(streams, StoredStream(one));
  PutRecord(records, format::kTagDataArea, 0, DataArea(streams));
  Outcome o = Verify(Write(StubWithRecords(records)));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("file entry 0 \"one.txt\": the stream is 303 bytes long, but the entry says 200"), std::string::npos)
      << o.err;
}

// A built setup with three files, for damage done after building.
class BuiltSetup : public Inspector {
 protected:
  void SetUp() override {
    WriteBytes(dir / "a.bin", NoiseBytes(6000, 1));
    WriteBytes(dir / "b.bin", TextBytes(40000, 2));
    WriteBytes(dir / "c.bin", NoiseBytes(7000, 3));
    WriteText(dir / "p.toml", "[setup]\ntitle = \"D\"\n[[file]]\nsource = \"a.bin\"\n[[file]]\nsource = \"b.bin\"\n"
                              "[[file]]\nsource = \"c.bin\"\n");
    std::vector<std::string> errors;
    ASSERT_TRUE(LoadProject(dir / "p.toml", &project, &errors));
    BuildOptions options;
    options.volumeSize = volumeSize;
    BuildSummary summary;
    ASSERT_TRUE(BuildSetup(project, options, dir / "setup.exe", &summary, &errors)) << ::testing::PrintToString(errors);
    setup = dir / "setup.exe";
    Outcome built = Verify(setup);
    ASSERT_EQ(built.status, 0) << built.err;
    ASSERT_TRUE(ReadSetup(setup, &view, &error));
  }
  uint64_t volumeSize = 0;
  Project project;
  std::string setup, error;
  SetupView view;
};

TEST_F(BuiltSetup, TruncatedFile) {
  Bytes file = ReadBytes(setup);
  file.resize(file.size() - 100);
  Outcome o = Verify(Write(file, "cut.exe"));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("the file ends 100 bytes short of that"), std::string::npos) << o.err;
}

TEST_F(BuiltSetup, FlippedByteInAStreamIsPinnedToItsEntry) {
  Bytes file = ReadBytes(setup);
  uint32_t secondStream = view.dataAreaStart + 4 + view.entries[0].packedSize;
  file[secondStream + view.entries[1].packedSize / 2] ^= 0x40;
  Outcome o = Verify(Write(file, "flipped.exe"));
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("file entry 1 \"b.bin\""), std::string::npos) << o.err;
  EXPECT_EQ(o.err.find("file entry 0"), std::string::npos) << o.err;
}

TEST_F(BuiltSetup, DamageAnywhereNeverCrashes) {
  Bytes file = ReadBytes(setup);
  uint32_t stub = view.stubSize;
  int reported = 0, tries = 0;
  for (uint32_t at = stub; at < file.size(); at += 97, ++tries) {
    Bytes damaged = file;
    damaged[at] ^= 0xA5;
    std::string path = Write(damaged, "damaged.exe");
    if (Verify(path).status != 0) ++reported;
  }
  // Only bytes that no reader looks at (unused header bits, reserved bytes,
  // padding) may change without a report.
  EXPECT_GT(reported, tries * 9 / 10) << reported << " of " << tries;
}

TEST_F(BuiltSetup, RandomDamageThroughEveryCommand) {
  Bytes file = ReadBytes(setup);
  std::mt19937 random(7);
  for (int round = 0; round < 60; ++round) {
    Bytes damaged = file;
    int hits = 1 + static_cast<int>(random() % 4);
    for (int h = 0; h < hits; ++h) {
      // Mostly the records, where every length field lives.
      uint32_t span = round % 2 ? static_cast<uint32_t>(file.size()) - view.stubSize : view.dataAreaStart - view.stubSize + 8;
      damaged[view.stubSize + random() % span] = static_cast<uint8_t>(random());
    }
    std::string path = Write(damaged, "random.exe");
    std::ostringstream out, err;
    int listed = ListSetup(path, out, err);
    int verified = VerifySetup(path, out, err);
    ScratchDir extracted;
    int extractedStatus = ExtractSetup(path, extracted.path(), out, err);
    for (int status : {listed, verified, extractedStatus}) EXPECT_TRUE(status >= 0 && status <= 2) << status;
    // Whatever extract wrote stayed inside its folder.
    for (auto& e : fs::recursive_directory_iterator(extracted.path()))
      EXPECT_EQ(e.path().string().rfind(extracted.path(), 0), 0u) << e.path();
  }
}

class BuiltWithVolumes : public BuiltSetup {
 protected:
  void SetUp() override {
    BuiltSetup::SetUp();
    // Again, now cut into three volumes.
    SetupImage image;
    BuildSummary summary;
    std::vector<std::string> errors, written;
    ASSERT_TRUE(ComposeSetup(project, BuildOptions{}, &image, &summary, &errors));
    ASSERT_GT(image.data.size(), 10000u);
    std::vector<uint32_t> plan = {5000, 5000, static_cast<uint32_t>(image.data.size() - 10000)};
    ASSERT_TRUE(WriteSetupFiles(setup, image, plan, &written, &error)) << error;
    ASSERT_EQ(written.size(), 3u);
    ASSERT_EQ(Verify(setup).status, 0) << Verify(setup).err;
  }
};

TEST_F(BuiltWithVolumes, MissingVolumeIsNamed) {
  fs::remove(VolumePath(setup, 2));
  Outcome o = Verify(setup);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("volume file " + VolumePath(setup, 2) + " (disk 3) is missing"), std::string::npos) << o.err;
}

TEST_F(BuiltWithVolumes, ShortVolumeIsNamed) {
  Bytes v1 = ReadBytes(VolumePath(setup, 1));
  v1.resize(v1.size() - 10);
  WriteBytes(VolumePath(setup, 1), v1);
  Outcome o = Verify(setup);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("volume file " + VolumePath(setup, 1) + " says it holds"), std::string::npos) << o.err;
}

TEST_F(BuiltWithVolumes, ListShowsTheDataContinues) {
  std::ostringstream out, err;
  EXPECT_EQ(ListSetup(setup, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("continued in volume files"), std::string::npos) << out.str();
}

}  // namespace
