// The inspector on damaged and foreign setup files: each problem is named by
// its record or entry, and nothing it reads makes it crash.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <sstream>

#include <nlohmann/json.hpp>

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
  EXPECT_EQ(o.err.find("file entry 1"), std::string::npos) << o.err;
}

Outcome List(const std::string& path, ListFormat format = ListFormat::kText) {
  std::ostringstream out, err;
  int status = ListSetup(path, ListSections{}, format, out, err);
  return {status, out.str(), err.str()};
}

Outcome Extract(const std::string& path, const std::string& folder, bool force = false) {
  std::ostringstream out, err;
  ExtractOptions options;
  options.force = force;
  int status = ExtractSetup(path, folder, options, out, err);
  return {status, out.str(), err.str()};
}

// Files in a folder and below, by path relative to it.
std::vector<std::string> FilesIn(const std::string& folder) {
  std::vector<std::string> names;
  for (auto& e : fs::recursive_directory_iterator(folder))
    if (e.is_regular_file()) names.push_back(fs::relative(e.path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

// Packed sizes that miss their streams: the setup program starts each stream
// where the decoder stopped fetching, so every file after them still installs.
TEST_F(Inspector, PackedSizesThatMissTheirStreamsAreReadOnAsTheSetupProgramDoes) {
  Bytes a(300, 'a'), b(300, 'b'), c = NoiseBytes(5000, 4);
  Bytes list;
  PutU32(list, 3);
  PutBytes(list, Entry("a.txt", a, 200));   // the stream is 303 bytes: too small
  PutBytes(list, Entry("b.txt", b, 400));   // 303 bytes again: too large
  PutBytes(list, Entry("c.bin", c, 5003));  // right
  Bytes records;
  PutRecord(records, format::kTagFileList, 0, list);
  Bytes streams = StoredStream(a);
  PutBytes(streams, StoredStream(b));
  PutBytes(streams, StoredStream(c));
  PutRecord(records, format::kTagDataArea, 0, DataArea(streams));
  std::string path = Write(StubWithRecords(records));

  Outcome verified = Verify(path);
  EXPECT_EQ(verified.status, 1);
  EXPECT_NE(verified.err.find("file entry 0 \"a.txt\": the stream is 303 bytes long, but the entry says 200; the setup "
                              "program reads the next stream from where this one ends"), std::string::npos) << verified.err;
  EXPECT_NE(verified.err.find("file entry 1 \"b.txt\": the stream is 303 bytes long, but the entry says 400"),
            std::string::npos) << verified.err;
  EXPECT_NE(verified.err.find("2 problems"), std::string::npos) << verified.err;
  EXPECT_EQ(verified.err.find("file entry 2"), std::string::npos) << verified.err;

  Outcome extracted = Extract(path, dir / "out");
  EXPECT_EQ(extracted.status, 1);
  EXPECT_EQ(ReadBytes(dir / "out/a.txt"), a);
  EXPECT_EQ(ReadBytes(dir / "out/b.txt"), b);
  EXPECT_EQ(ReadBytes(dir / "out/c.bin"), c);
  EXPECT_NE(extracted.out.find("3 files extracted"), std::string::npos) << extracted.out;
}

// Bytes behind the data of the last volume, whether its size field is one
// short or bytes were appended: one wording, a warning while no volume file
// follows (the setup program never reads them then), damage once one does.
TEST_F(Inspector, BytesBehindTheLastVolumeAreReportedAlike) {
  Bytes content = TextBytes(700, 5);
  Bytes list;
  PutU32(list, 1);
  PutBytes(list, Entry("t.txt", content, 703));
  Bytes records;
  PutRecord(records, format::kTagFileList, 0, list);
  PutRecord(records, format::kTagDataArea, 0, DataArea(StoredStream(content)));
  Bytes whole = StubWithRecords(records);

  Bytes oneShort = whole;
  format::WriteU32(oneShort.data() + oneShort.size() - 703 - 4, 702);
  Bytes appended = whole;
  PutBytes(appended, Bytes(7, 0xEE));
  struct Case {
    Bytes file;
    std::string expected;
  } cases[] = {{oneShort, "1 byte follows the data of volume 0 (the setup file), whose size field counts 702 data bytes; "},
               {appended, "7 bytes follow the data of volume 0 (the setup file), whose size field counts 703 data bytes; "}};
  for (const Case& c : cases) {
    std::string path = Write(c.file);
    fs::remove(dir / "setup.D01");
    Outcome alone = Verify(path);
    EXPECT_EQ(alone.status, 0) << alone.err;
    EXPECT_NE(alone.err.find("warning: " + c.expected +
                             "the setup program reads them only when a volume file follows, and none does"),
              std::string::npos) << alone.err;
    EXPECT_EQ(List(path).status, 0);
    WriteBytes(dir / "setup.D01", Bytes(4, 0));
    Outcome followed = Verify(path);
    EXPECT_EQ(followed.status, 1);
    EXPECT_NE(followed.err.find("damaged: " + c.expected + "the setup program reads them as data before it changes to " +
                                (dir / "setup.D01")),
              std::string::npos) << followed.err;
  }
}

// The string-group record is read the same way whatever its flags, and a
// default folder is kept to 259 characters: list says both.
TEST_F(Inspector, ListSaysWhatTheSetupProgramDoes) {
  Bytes group;
  PutU16(group, 1);
  PutText(group, "Hello");
  Bytes groups;
  PutU16(groups, 1);
  PutU32(groups, static_cast<uint32_t>(group.size()));
  PutBytes(groups, StoredStream(group));
  std::string folder = "C:\\" + std::string(413, 'f');
  Bytes folderBody;
  PutText(folderBody, folder);
  Bytes records;
  PutRecord(records, format::kTagDefaultFolder, 0, folderBody);
  PutRecord(records, format::kTagStringGroups, format::kRecordCompressed, groups);
  PutRecord(records, format::kTagDataArea, 0, DataArea({}));
  std::string path = Write(StubWithRecords(records));

  Outcome text = List(path);
  EXPECT_EQ(text.status, 0) << text.err;
  size_t line = text.out.find("0x123A string groups");
  ASSERT_NE(line, std::string::npos) << text.out;
  std::string groupLine = text.out.substr(line, text.out.find('\n', line) - line);
  EXPECT_NE(groupLine.find("flags 0x01 ignored: read the same way whatever its flags (each group is a stream of its own)"),
            std::string::npos) << groupLine;
  EXPECT_EQ(groupLine.find("compressed"), std::string::npos) << groupLine;
  EXPECT_NE(text.out.find("0.0 = \"Hello\""), std::string::npos) << text.out;
  EXPECT_NE(text.out.find("(416 characters; the setup program keeps only the first 259: \"C:\\\\" + std::string(256, 'f') +
                          "\")"), std::string::npos) << text.out;

  nlohmann::json json = nlohmann::json::parse(List(path, ListFormat::kJson).out);
  EXPECT_EQ(json["settings"]["default_folder"]["length"], 416);
  EXPECT_EQ(json["settings"]["default_folder"]["kept"].get<std::string>().size(), 259u);
  EXPECT_EQ(json["records"][1]["flags_ignored"], true);
  EXPECT_EQ(json["records"][1]["compressed"], false);
}

// Texts and names in the package's own code page, without being told; the
// pacing and uninstall-entry records shown as the setup program uses them.
TEST_F(Inspector, CodePageRecordAndTheOtherOptionalRecords) {
  auto Package = [](uint32_t codepage, const std::string& name, const std::string& text) {
    Bytes value(4);
    Bytes group;
    PutU16(group, 1);
    PutText(group, text);
    Bytes groups;
    PutU16(groups, 1);
    PutU32(groups, static_cast<uint32_t>(group.size()));
    PutBytes(groups, StoredStream(group));
    Bytes uninstall;
    PutU32(uninstall, format::kValueInstallLocation | format::kValueEstimatedSize);
    PutU32(uninstall, 1234);
    PutText(uninstall, "2.0");
    PutText(uninstall, text);
    PutText(uninstall, "app.exe,0");
    Bytes content = {'x', 'y'};
    Bytes list;
    PutU32(list, 1);
    PutBytes(list, Entry(name, content, 5));
    Bytes records;
    format::WriteU32(value.data(), codepage);
    PutRecord(records, format::kTagCodePage, 0, value);
    format::WriteU32(value.data(), 40);
    PutRecord(records, format::kTagPacing, 0, value);
    PutRecord(records, format::kTagUninstallValues, 0, uninstall);
    PutRecord(records, format::kTagStringGroups, 0, groups);
    PutRecord(records, format::kTagFileList, 0, list);
    PutRecord(records, format::kTagDataArea, 0, DataArea(StoredStream(content)));
    return StubWithRecords(records);
  };
  // "Привет.txt" and "Мир" in code page 1251.
  std::string path = Write(Package(1251, "\xCF\xF0\xE8\xE2\xE5\xF2.txt", "\xCC\xE8\xF0"));
  Outcome text = List(path);
  EXPECT_EQ(text.status, 0) << text.err;
  for (const char* expected : {"Code page 1251 (from the code page record)", "\"Привет.txt\"", "0.0 = \"Мир\"",
                               "0x1250 install pacing", "up to 40 ms of installing per timer tick",
                               "0x1251 uninstall-entry values", "values: InstallLocation EstimatedSize; estimated size "
                               "1,234 KB; DisplayVersion \"2.0\", Publisher \"Мир\", DisplayIcon \"app.exe,0\"",
                               "0x1252 code page", "code page 1251"})
    EXPECT_NE(text.out.find(expected), std::string::npos) << expected << "\n" << text.out;
  EXPECT_EQ(Extract(path, dir / "ru").status, 0);
  EXPECT_EQ(FilesIn(dir / "ru"), std::vector<std::string>{"Привет.txt"});

  // Told otherwise, the names follow what was asked.
  ASSERT_TRUE(SetTextCodePage(1252));
  EXPECT_NE(List(path).out.find("\"Ïðèâåò.txt\""), std::string::npos);
  EXPECT_EQ(Extract(path, dir / "latin").status, 0);
  ASSERT_TRUE(SetTextCodePage(0));
  EXPECT_EQ(FilesIn(dir / "latin"), std::vector<std::string>{"Ïðèâåò.txt"});
  EXPECT_FALSE(SetTextCodePage(12345));

  // A double-byte name whose second byte is a backslash stays one name:
  // "ソ.txt" in code page 932 is 83 5C 2E 74 78 74.
  std::string japanese = Write(Package(932, "\x83\x5C.txt", "x"), "jp.exe");
  EXPECT_EQ(Extract(japanese, dir / "jp").status, 0);
  EXPECT_EQ(FilesIn(dir / "jp"), std::vector<std::string>{"ソ.txt"});

  nlohmann::json json = nlohmann::json::parse(List(path, ListFormat::kJson).out);
  EXPECT_EQ(json["code_page"]["stored"], 1251);
  EXPECT_EQ(json["settings"]["pacing_ms"], 40);
  EXPECT_EQ(json["settings"]["uninstall_values"]["values"], nlohmann::json::array({"InstallLocation", "EstimatedSize"}));
  EXPECT_EQ(json["settings"]["uninstall_values"]["publisher"], "Мир");
  EXPECT_EQ(json["files"][0]["name"], "Привет.txt");
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

// A stream that fails leaves nothing behind: no 0-byte file, no temporary
// file; the files before and after it are extracted.
TEST_F(BuiltSetup, ExtractWritesOnlyWholeFiles) {
  Bytes file = ReadBytes(setup);
  uint32_t secondStream = view.dataAreaStart + 4 + view.entries[0].packedSize;
  file[secondStream + view.entries[1].packedSize / 2] ^= 0x40;
  Outcome o = Extract(Write(file, "flipped.exe"), dir / "out");
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("file entry 1 \"b.bin\""), std::string::npos) << o.err;
  std::vector<std::string> files = FilesIn(dir / "out");
  EXPECT_EQ(std::count(files.begin(), files.end(), "b.bin"), 0) << ::testing::PrintToString(files);
  for (const std::string& name : files) EXPECT_EQ(ReadBytes(dir / ("out/" + name)), ReadBytes(dir / name)) << name;
  EXPECT_NE(std::count(files.begin(), files.end(), "a.bin"), 0) << ::testing::PrintToString(files);
}

TEST_F(BuiltSetup, ExtractRefusesToWriteOverFilesUnlessForced) {
  ASSERT_EQ(Extract(setup, dir / "out").status, 0);
  WriteText(dir / "out/b.bin", "mine");
  Outcome refused = Extract(setup, dir / "out");
  EXPECT_EQ(refused.status, 2);
  EXPECT_NE(refused.err.find("3 files exist already, such as " + (dir / "out/a.bin") +
                             "; nothing was extracted (--force writes over them)"), std::string::npos) << refused.err;
  EXPECT_EQ(ReadBytes(dir / "out/b.bin"), (Bytes{'m', 'i', 'n', 'e'}));
  EXPECT_EQ(Extract(setup, dir / "out", true).status, 0);
  EXPECT_EQ(ReadBytes(dir / "out/b.bin"), ReadBytes(dir / "b.bin"));
  EXPECT_EQ(FilesIn(dir / "out"), (std::vector<std::string>{"a.bin", "b.bin", "c.bin"}));
}

TEST_F(BuiltSetup, TableJsonAndDiff) {
  Outcome table = List(setup, ListFormat::kTable);
  EXPECT_EQ(table.status, 0) << table.err;
  std::istringstream lines(table.out);
  std::vector<std::string> rows;
  for (std::string line; std::getline(lines, line);) rows.push_back(line);
  ASSERT_EQ(rows.size(), 7u) << table.out;  // header, columns, three files, folder total, total
  EXPECT_NE(rows[0].find(": i686 stub, 3 files in 1 folder, code page 1252"), std::string::npos) << rows[0];
  EXPECT_EQ(rows[2].rfind("a.bin", 0), 0u) << rows[2];
  uint64_t packed = 0;
  for (const EntryView& e : view.entries) packed += e.packedSize;
  std::string label = "total (destination folder) (3 files)";
  ASSERT_EQ(rows[5].rfind(label, 0), 0u) << rows[5];
  std::istringstream totals(rows[5].substr(label.size()));
  uint64_t size = 0, packedTotal = 0;
  totals >> size >> packedTotal;
  EXPECT_EQ(size, 53000u);
  EXPECT_EQ(packedTotal, packed);
  EXPECT_EQ(rows[6].rfind("total (3 files)", 0), 0u) << rows[6];

  nlohmann::json json = nlohmann::json::parse(List(setup, ListFormat::kJson).out);
  EXPECT_EQ(json["format"], 1);
  EXPECT_EQ(json["stub"]["architecture"], "i686");
  ASSERT_EQ(json["files"].size(), 3u);
  EXPECT_EQ(json["files"][1]["destination"], "b.bin");
  EXPECT_EQ(json["files"][1]["size"], 40000);
  EXPECT_EQ(json["data_area"]["packed_bytes"], packed);

  // A second build of the same project is the same; a changed one names the change.
  std::vector<std::string> errors;
  BuildSummary summary;
  ASSERT_TRUE(BuildSetup(project, BuildOptions{}, dir / "again.exe", &summary, &errors));
  std::ostringstream out, err;
  EXPECT_EQ(DiffSetupFiles(setup, dir / "again.exe", out, err), 0) << out.str() << err.str();
  EXPECT_NE(out.str().find("are the same"), std::string::npos);
  Project changed = project;
  changed.files[1].finishAction = format::kFinishView;
  changed.files.erase(changed.files.begin() + 2);
  WriteBytes(dir / "d.bin", {1, 2, 3});
  ProjectFile added = project.files[0];
  added.source = dir / "d.bin";
  added.destination = "sub\\d.bin";
  changed.files.push_back(added);
  WriteBytes(dir / "a.bin", NoiseBytes(6001, 1));
  ASSERT_TRUE(BuildSetup(changed, BuildOptions{}, dir / "changed.exe", &summary, &errors)) << ::testing::PrintToString(errors);
  out.str("");
  EXPECT_EQ(DiffSetupFiles(setup, dir / "changed.exe", out, err), 1) << err.str();
  for (const char* expected : {"changed  file a.bin: content, size 6,000 -> 6,001", "changed  file b.bin: finish: \"none\" -> \"view\"",
                               "removed  file c.bin (7,000 bytes)", "added    file sub\\d.bin (3 bytes)"})
    EXPECT_NE(out.str().find(expected), std::string::npos) << expected << "\n" << out.str();
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

TEST_F(BuiltWithVolumes, BytesBehindAVolumeFile) {
  Bytes last = ReadBytes(VolumePath(setup, 2));
  PutBytes(last, Bytes(5, 0));
  WriteBytes(VolumePath(setup, 2), last);
  Outcome o = Verify(setup);
  EXPECT_EQ(o.status, 0) << o.err;
  EXPECT_NE(o.err.find("warning: 5 bytes follow the data of volume file " + VolumePath(setup, 2)), std::string::npos) << o.err;
  Bytes middle = ReadBytes(VolumePath(setup, 1));
  PutBytes(middle, Bytes(5, 0));
  WriteBytes(VolumePath(setup, 1), middle);
  o = Verify(setup);
  EXPECT_EQ(o.status, 1);
  EXPECT_NE(o.err.find("damaged: 5 bytes follow the data of volume file " + VolumePath(setup, 1) +
                       ", whose size field counts 5000 data bytes; the setup program reads them as data before it "
                       "changes to " + VolumePath(setup, 2)), std::string::npos) << o.err;
}

TEST_F(BuiltWithVolumes, ListShowsTheDataContinues) {
  std::ostringstream out, err;
  EXPECT_EQ(ListSetup(setup, out, err), 0) << err.str();
  EXPECT_NE(out.str().find("continued in volume files"), std::string::npos) << out.str();
}

}  // namespace
