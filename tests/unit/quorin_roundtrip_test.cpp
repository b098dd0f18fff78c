// Builds setup files from projects and reads them back with the inspector:
// every field of every entry, every file's bytes, across volume cuts.
#include <gtest/gtest.h>
#include <string.h>
#include <sys/stat.h>

#include <map>
#include <sstream>

#include "setup_commands.h"
#include "package/format.h"
#include "package_builder.h"
#include "project.h"
#include "quorin_test_support.h"
#include "setup_reader.h"

namespace {

using namespace quorin_test;

// A project that uses every destination kind, external entries with and
// without a source, empty and multi-megabyte files, subfolders and a glob.
class VariedProject : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir / "src/app.exe", TextBytes(70000, 1));
    WriteBytes(dir / "src/empty.txt", {});
    WriteBytes(dir / "src/big.bin", NoiseBytes(3 * 1024 * 1024 + 17, 2));
    WriteBytes(dir / "src/sub/deeper/nested.txt", TextBytes(5000, 3));
    WriteBytes(dir / "src/win.ini.txt", TextBytes(100, 4));
    WriteBytes(dir / "src/shared.dll", NoiseBytes(9000, 5));
    WriteBytes(dir / "src/font.ttf", NoiseBytes(20000, 6));
    WriteBytes(dir / "src/saver.scr", NoiseBytes(333, 7));
    WriteBytes(dir / "src/outside.txt", TextBytes(1234, 8));
    WriteBytes(dir / "src/lib/a.dat", TextBytes(10, 9));
    WriteBytes(dir / "src/lib/x/b.dat", {});
    WriteBytes(dir / "src/lib/x/y/c.dat", NoiseBytes(4097, 10));
    WriteBytes(dir / "src/lib/x/skip.txt", TextBytes(10, 11));
    WriteText(dir / "project.toml", R"toml(
[setup]
title = "Round Trip"
uninstall_name = "Round Trip (remove)"
folder = "#Program Files#\\Round Trip"
mode = "framed"
editable_folder = false

[remember]
registry = { root = "HKCU", key = "Software\\RT", value = "Dir" }
ini = { file = "rt.ini", section = "RT", key = "Dir" }
write = ["ini"]

[texts]
welcome = "Hi from {title}"
5.4 = "Failed: %s"

[[file]]
source = "src/app.exe"
finish = "run"
uninstaller = true
uninstall = false
menu_folders = ["#Start Menu#\\Programs\\RT", "#Startup#"]
menu_shortcut = "Round Trip"
menu_arguments = "/fast"
desktop_shortcut = "RT"
desktop_arguments = "-x"
icon_index = 2

[[file]]
source = "src/empty.txt"

[[file]]
source = "src/big.bin"
destination = "data/big.bin"
keep_times = true

[[file]]
source = "src/sub/deeper/nested.txt"
destination = "sub\\deeper\\nested.txt"
finish = "view"

[[file]]
source = "src/win.ini.txt"
kind = "windows"

[[file]]
source = "src/shared.dll"
kind = "system-shared"
shared = true
self_register = true

[[file]]
source = "src/font.ttf"
kind = "fonts"
shared = true

[[file]]
source = "src/saver.scr"
kind = "windows"
screen_saver = true

[[file]]
source = "src/outside.txt"
external = true
finish = "view"

[[file]]
external = true
destination = "disk2\\extra.txt"

[[file]]
source = "src/lib/**/*.dat"
destination = "lib"
)toml");
    std::vector<std::string> errors;
    ASSERT_TRUE(LoadProject(dir / "project.toml", &project, &errors)) << ::testing::PrintToString(errors);
  }

  std::string Build(const std::string& name, uint64_t volumeSize = 0, int jobs = 1, size_t pieceBytes = kPieceBytes) {
    BuildOptions options;
    options.volumeSize = volumeSize;
    options.jobs = jobs;
    options.pieceBytes = pieceBytes;
    BuildSummary summary;
    std::vector<std::string> errors;
    std::string out = dir / name;
    EXPECT_TRUE(BuildSetup(project, options, out, &summary, &errors)) << ::testing::PrintToString(errors);
    return out;
  }

  // Where the inspector puts an entry below its extraction folder.
  static std::string ExtractedName(const ProjectFile& f) {
    std::string name = f.destination;
    for (char& c : name)
      if (c == '\\') c = '/';
    switch (f.destinationKind) {
      case format::kDestWindows: return "#Windows#/" + name;
      case format::kDestSharedSystem: return "#System#/" + name.substr(name.rfind('/') + 1);
      case format::kDestFonts: return "#Fonts#/" + name;
      default: return name;
    }
  }

  void ExpectExtractsWhole(const std::string& setup) {
    ScratchDir out;
    std::ostringstream log, err;
    ASSERT_EQ(ExtractSetup(setup, out.path(), log, err), 0) << err.str();
    size_t files = 0;
    for (const ProjectFile& f : project.files) {
      std::string extracted = out / ExtractedName(f);
      if (f.entryKind == format::kEntryExternal) {
        EXPECT_FALSE(fs::exists(extracted)) << f.destination;
        EXPECT_NE(log.str().find("external"), std::string::npos);
        continue;
      }
      ++files;
      EXPECT_EQ(ReadBytes(extracted), ReadBytes(f.source)) << f.destination;
      if (f.options & format::kOptionFileTimes) {
        struct stat in, out;
        ASSERT_EQ(stat(f.source.c_str(), &in), 0);
        ASSERT_EQ(stat(extracted.c_str(), &out), 0);
        EXPECT_EQ(out.st_mtim.tv_sec, in.st_mtim.tv_sec) << f.destination;
        EXPECT_EQ(out.st_mtim.tv_nsec / 100, in.st_mtim.tv_nsec / 100) << f.destination;
      }
    }
    size_t onDisk = 0;
    for (auto& e : fs::recursive_directory_iterator(out.path()))
      if (e.is_regular_file()) ++onDisk;
    EXPECT_EQ(onDisk, files);
  }

  ScratchDir dir;
  Project project;
};

TEST_F(VariedProject, ListShowsEveryFieldAsBuilt) {
  std::string setup = Build("setup.exe");
  SetupView view;
  std::string error;
  ASSERT_TRUE(ReadSetup(setup, &view, &error)) << error;
  EXPECT_TRUE(view.problems.empty()) << ::testing::PrintToString(view.problems);
  EXPECT_TRUE(view.usable);
  EXPECT_EQ(view.flags, format::kFlagRememberInIni);
  EXPECT_EQ(view.startPage, format::kNoStartPage);
  ASSERT_EQ(view.entries.size(), project.files.size());
  EXPECT_EQ(project.files.size(), 13u);  // 10 tables, the glob adding three files
  for (size_t i = 0; i < view.entries.size(); ++i) {
    const EntryView& e = view.entries[i];
    const ProjectFile& f = project.files[i];
    SCOPED_TRACE(f.destination);
    EXPECT_EQ(e.strings[0], f.destination);
    EXPECT_EQ(e.strings[1], f.menuFolders);
    EXPECT_EQ(e.strings[2], f.menuShortcut);
    EXPECT_EQ(e.strings[3], f.menuArguments);
    EXPECT_EQ(e.strings[4], f.desktopShortcut);
    EXPECT_EQ(e.strings[5], f.desktopArguments);
    EXPECT_EQ(e.destinationKind, f.destinationKind);
    EXPECT_EQ(e.finishAction, f.finishAction);
    EXPECT_EQ(e.shared, f.shared);
    EXPECT_EQ(e.entryKind, f.entryKind);
    EXPECT_EQ(e.special, f.special);
    EXPECT_EQ(e.options, f.options);
    EXPECT_EQ(e.iconIndex, f.iconIndex);
    EXPECT_EQ(e.status, 0);
    if (!f.source.empty()) {
      EXPECT_EQ(e.fileSize, fs::file_size(f.source));
    }
    if (f.entryKind == format::kEntryExternal) {
      EXPECT_EQ(e.packedSize, 0u);
    } else {
      EXPECT_GT(e.packedSize, 0u);
    }
  }
  // Spot checks of what the project words differently from the model.
  EXPECT_EQ(project.files[0].options, format::kOptionUninstaller);
  EXPECT_EQ(project.files[0].entryKind, format::kEntryInstalled);
  EXPECT_EQ(project.files[0].menuFolders, "#Start Menu#\\Programs\\RT;#Startup#");
  EXPECT_EQ(project.files[10].destination, "lib\\a.dat");
  EXPECT_EQ(project.files[12].destination, "lib\\x\\y\\c.dat");
  // The big file keeps its modification time in all three FILETIMEs.
  const EntryView& big = view.entries[2];
  ASSERT_TRUE(big.hasTimes);
  struct stat st;
  ASSERT_EQ(stat(project.files[2].source.c_str(), &st), 0);
  int64_t unixSeconds = st.st_mtim.tv_sec;
  EXPECT_EQ(big.times[2] / 10000000ull, static_cast<uint64_t>(unixSeconds) + 11644473600ull);
  EXPECT_EQ(big.times[0], big.times[2]);
  // Texts: defaults with the title filled in, and the overrides.
  EXPECT_EQ(view.groups[6][0].find("Round Trip"), 0u);
  EXPECT_EQ(view.groups[0][1], "Hi from Round Trip");
  EXPECT_EQ(view.groups[5][4], "Failed: %s");
  for (int g = 0; g < 9; ++g) EXPECT_TRUE(view.groupPresent[g]) << g;
}

// One changed byte turns the file list into a second templates record: the
// data is then described by nothing, and the setup program would not load it.
TEST_F(VariedProject, DataThatNoFileListDescribesIsNotLoaded) {
  std::string setup = Build("setup.exe");
  SetupView view;
  std::string error;
  ASSERT_TRUE(ReadSetup(setup, &view, &error)) << error;
  uint32_t at = 0;
  for (const RecordView& r : view.records)
    if (r.tag == format::kTagFileList) at = r.offset;
  ASSERT_NE(at, 0u);
  std::vector<uint8_t> bytes = ReadBytes(setup);
  bytes[at] = format::kTagTemplates & 0xFF;
  WriteBytes(setup, bytes);
  SetupView damaged;
  ASSERT_TRUE(ReadSetup(setup, &damaged, &error)) << error;
  EXPECT_FALSE(damaged.usable);
  EXPECT_NE(::testing::PrintToString(damaged.problems).find("no file list describes them"), std::string::npos)
      << ::testing::PrintToString(damaged.problems);
}

TEST_F(VariedProject, ExtractGivesBackEveryInput) {
  std::string setup = Build("setup.exe");
  ExpectExtractsWhole(setup);
  std::ostringstream out, err;
  EXPECT_EQ(VerifySetup(setup, out, err), 0) << err.str();
}

TEST_F(VariedProject, TwoBuildsAreByteIdentical) {
  std::string first = Build("one/setup.exe", 200000);
  std::string second = Build("two/setup.exe", 200000);
  EXPECT_EQ(ReadBytes(first), ReadBytes(second));
  for (int k = 1; fs::exists(VolumePath(first, k)); ++k)
    EXPECT_EQ(ReadBytes(VolumePath(first, k)), ReadBytes(VolumePath(second, k))) << k;
  EXPECT_TRUE(fs::exists(VolumePath(second, 1)));
}

// The pieces a file is cut into depend on the file alone, never on the
// number of threads; a file of many pieces is one stream that expands whole.
TEST_F(VariedProject, ByteIdenticalWhateverTheJobs) {
  std::string one = Build("j1/setup.exe", 0, 1);
  std::string two = Build("j2/setup.exe", 0, 2);
  std::string many = Build("j5/setup.exe", 0, 5);
  EXPECT_EQ(ReadBytes(one), ReadBytes(two));
  EXPECT_EQ(ReadBytes(one), ReadBytes(many));
  // Small pieces: big.bin is 49 pieces, app.exe two.
  std::string piecesOne = Build("p1/setup.exe", 300000, 1, 65536);
  std::string piecesThree = Build("p3/setup.exe", 300000, 3, 65536);
  EXPECT_EQ(ReadBytes(piecesOne), ReadBytes(piecesThree));
  for (int k = 1; fs::exists(VolumePath(piecesOne, k)); ++k)
    EXPECT_EQ(ReadBytes(VolumePath(piecesOne, k)), ReadBytes(VolumePath(piecesThree, k))) << k;
  EXPECT_NE(ReadBytes(piecesOne), ReadBytes(one));
  ExpectExtractsWhole(piecesThree);
  std::ostringstream out, err;
  EXPECT_EQ(VerifySetup(piecesThree, out, err), 0) << err.str();
}

// The optional records of this setup program: install pacing, the values of
// the uninstall entry and the code page.
TEST_F(VariedProject, PacingUninstallValuesAndCodePageRecords) {
  auto records = [&](const std::string& setup) {
    std::map<uint16_t, std::vector<uint8_t>> found;
    SetupView view;
    std::string error;
    EXPECT_TRUE(ReadSetup(setup, &view, &error)) << error;
    std::vector<uint8_t> bytes = ReadBytes(setup);
    for (const RecordView& r : view.records)
      found[r.tag].assign(bytes.begin() + r.offset + 8, bytes.begin() + r.offset + 8 + r.bodyLength);
    return found;
  };
  auto found = records(Build("setup.exe"));
  ASSERT_EQ(found[format::kTagPacing].size(), 4u);
  EXPECT_EQ(format::ReadU32(found[format::kTagPacing].data()), format::kDefaultPacingMs);
  ASSERT_EQ(found[format::kTagCodePage].size(), 4u);
  EXPECT_EQ(format::ReadU32(found[format::kTagCodePage].data()), 1252u);
  const std::vector<uint8_t>& values = found[format::kTagUninstallValues];
  ASSERT_EQ(values.size(), format::kUninstallValuesFixedSize + 3);  // three empty texts
  EXPECT_EQ(format::ReadU32(values.data()), format::kValueInstallLocation | format::kValueEstimatedSize |
                                                format::kValueNoModify | format::kValueNoRepair);
  uint64_t installed = 0;
  for (const ProjectFile& f : project.files)
    if (f.entryKind != format::kEntryExternal) installed += fs::file_size(f.source);
  EXPECT_EQ(format::ReadU32(values.data() + 4), (installed + 1023) / 1024);

  std::string toml = ReadText(dir / "project.toml");
  std::string setupTable = "[setup]\n";
  toml.replace(toml.find(setupTable), setupTable.size(),
               setupTable + "pacing = false\nversion = \"2.1\"\npublisher = \"M\u00fcller & S\u00f6hne\"\n"
                            "display_icon = \"bin\\\\app.exe,0\"\n");
  WriteText(dir / "project.toml", toml);
  std::vector<std::string> errors;
  ASSERT_TRUE(LoadProject(dir / "project.toml", &project, &errors)) << ::testing::PrintToString(errors);
  found = records(Build("second.exe"));
  EXPECT_EQ(found.count(format::kTagPacing), 0u);
  const std::vector<uint8_t>& texts = found[format::kTagUninstallValues];
  ASSERT_GT(texts.size(), format::kUninstallValuesFixedSize);
  EXPECT_EQ(std::string(texts.begin() + format::kUninstallValuesFixedSize, texts.end()),
            std::string("2.1") + '\0' + "M\xFCller & S\xF6hne" + '\0' + "bin\\app.exe,0" + '\0');

  toml.replace(toml.find("pacing = false"), 14, "pacing = 250");
  WriteText(dir / "project.toml", toml);
  ASSERT_TRUE(LoadProject(dir / "project.toml", &project, &errors)) << ::testing::PrintToString(errors);
  found = records(Build("third.exe"));
  ASSERT_EQ(found[format::kTagPacing].size(), 4u);
  EXPECT_EQ(format::ReadU32(found[format::kTagPacing].data()), 250u);
}

TEST_F(VariedProject, VolumeSizeCutsEveryFileBelowTheLimit) {
  const uint64_t limit = 1440 * 1024;
  std::string setup = Build("setup.exe", limit);
  int volumes = 0;
  EXPECT_LE(fs::file_size(setup), limit);
  for (int k = 1; fs::exists(VolumePath(setup, k)); ++k, ++volumes) EXPECT_LE(fs::file_size(VolumePath(setup, k)), limit);
  EXPECT_GE(volumes, 2);
  ExpectExtractsWhole(setup);
}

TEST_F(VariedProject, RebuildWithoutVolumesRemovesStaleVolumeFiles) {
  std::string setup = Build("setup.exe", 300000);
  ASSERT_TRUE(fs::exists(VolumePath(setup, 1)));
  Build("setup.exe");
  EXPECT_FALSE(fs::exists(VolumePath(setup, 1)));
  ExpectExtractsWhole(setup);
}

// Explicit cuts of the data area: where the stub's 4,096-byte refills meet a
// volume end in every way that matters.
class VolumeCuts : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteBytes(dir / "a.bin", NoiseBytes(10000, 21));
    WriteBytes(dir / "b.bin", NoiseBytes(9000, 22));
    WriteBytes(dir / "c.bin", TextBytes(30000, 23));
    WriteBytes(dir / "d.bin", NoiseBytes(12000, 24));
    WriteText(dir / "p.toml",
              "[setup]\ntitle = \"Cuts\"\n"
              "[[file]]\nsource = \"a.bin\"\n[[file]]\nsource = \"b.bin\"\n"
              "[[file]]\nsource = \"c.bin\"\n[[file]]\nsource = \"d.bin\"\n");
    std::vector<std::string> errors;
    ASSERT_TRUE(LoadProject(dir / "p.toml", &project, &errors)) << ::testing::PrintToString(errors);
    BuildSummary summary;
    ASSERT_TRUE(ComposeSetup(project, BuildOptions{}, &image, &summary, &errors)) << ::testing::PrintToString(errors);
    // Where each stream starts in the data area, from a plain build's file list.
    std::vector<uint32_t> whole = {static_cast<uint32_t>(image.data.size())};
    std::string error, setup = dir / "plain.exe";
    std::vector<std::string> written;
    ASSERT_TRUE(WriteSetupFiles(setup, image, whole, &written, &error)) << error;
    SetupView view;
    ASSERT_TRUE(ReadSetup(setup, &view, &error));
    uint32_t at = 0;
    for (const EntryView& e : view.entries) {
      starts.push_back(at);
      at += e.packedSize;
    }
    ASSERT_EQ(at, image.data.size());
  }

  // Writes the setup with volumes ending at the given data-area offsets and
  // checks that every file comes back whole.
  void ExpectWholeWithCuts(const std::vector<uint32_t>& cuts) {
    std::vector<uint32_t> sizes;
    uint32_t last = 0;
    for (uint32_t cut : cuts) {
      sizes.push_back(cut - last);
      last = cut;
    }
    sizes.push_back(static_cast<uint32_t>(image.data.size()) - last);
    for (size_t k = 0; k + 1 < sizes.size(); ++k) ASSERT_GE(sizes[k], kMinVolumeData) << "test plan breaks the rule";
    ScratchDir out;
    std::string setup = out / "setup.exe", error;
    std::vector<std::string> written;
    ASSERT_TRUE(WriteSetupFiles(setup, image, sizes, &written, &error)) << error;
    ASSERT_EQ(written.size(), sizes.size());
    ScratchDir extracted;
    std::ostringstream log, err;
    ASSERT_EQ(ExtractSetup(setup, extracted.path(), log, err), 0) << err.str();
    for (const ProjectFile& f : project.files) EXPECT_EQ(ReadBytes(extracted / f.destination), ReadBytes(f.source)) << f.destination;
  }

  ScratchDir dir;
  Project project;
  SetupImage image;
  std::vector<uint32_t> starts;
};

TEST_F(VolumeCuts, InsideAStream) { ExpectWholeWithCuts({starts[1] + 4500}); }

TEST_F(VolumeCuts, InsideTheFirstPieceOfAStream) { ExpectWholeWithCuts({starts[1] + 3}); }

TEST_F(VolumeCuts, AtAStreamBoundary) { ExpectWholeWithCuts({starts[2]}); }

TEST_F(VolumeCuts, AtTheEndOfAFullPiece) {
  // A refill that reads exactly to the volume's end; the next one finds the
  // end of the file and must step over the next volume's size field.
  ExpectWholeWithCuts({starts[1] + 4096});
}

TEST_F(VolumeCuts, NextToTheEndOfAPiece) {
  ExpectWholeWithCuts({starts[1] + 4095});
  ExpectWholeWithCuts({starts[1] + 4097});
  ExpectWholeWithCuts({starts[3] + 2 * 4096 - 1});
}

TEST_F(VolumeCuts, ManyVolumesEachAtTheMinimum) {
  std::vector<uint32_t> cuts;
  for (uint32_t at = kMinVolumeData; at + 1 < image.data.size(); at += kMinVolumeData) cuts.push_back(at);
  ASSERT_GE(cuts.size(), 6u);
  ExpectWholeWithCuts(cuts);
}

TEST_F(VolumeCuts, OneByteInTheLastVolume) { ExpectWholeWithCuts({static_cast<uint32_t>(image.data.size()) - 1}); }

// The refusal names the true smallest size in one step: that size is taken.
TEST(PlanVolumes, RefusesVolumesThatCannotHoldOneReadWithTheTrueMinimum) {
  std::vector<uint32_t> plan;
  std::string error;
  EXPECT_FALSE(PlanVolumes(1000, 100000, 4099, &plan, &error));
  EXPECT_NE(error.find("take 1,000 bytes"), std::string::npos) << error;
  EXPECT_NE(error.find("at least 4,096 data bytes, so the size must be at least 5,096 (or 101,000 for a setup without "
                       "volume files)"), std::string::npos) << error;
  EXPECT_FALSE(PlanVolumes(1000, 100000, 5095, &plan, &error));
  ASSERT_TRUE(PlanVolumes(1000, 100000, 5096, &plan, &error)) << error;
  EXPECT_EQ(plan[0], 4096u);
  for (size_t k = 1; k + 1 < plan.size(); ++k) EXPECT_EQ(plan[k], 5092u);
  EXPECT_FALSE(PlanVolumes(90000, 100000, 92000, &plan, &error));
  EXPECT_NE(error.find("at least 94,096"), std::string::npos) << error;
  EXPECT_TRUE(PlanVolumes(90000, 100000, 94096, &plan, &error)) << error;
}

TEST(PlanVolumes, NoFileReaches4GiB) {
  std::vector<uint32_t> plan;
  std::string error;
  EXPECT_FALSE(PlanVolumes(100000, 0xFFFFFFFFull - 50000, 0, &plan, &error));
  EXPECT_NE(error.find("larger than 4 GiB; give --volume-size"), std::string::npos) << error;
  ASSERT_TRUE(PlanVolumes(100000, 0x100000000ull, 1ull << 40, &plan, &error)) << error;
  ASSERT_EQ(plan.size(), 2u);
  EXPECT_EQ(plan[0], 0xFFFFFFFFu - 100000);
}

TEST(PlanVolumes, FillsEachVolumeAndKeepsTheRestForTheLast) {
  std::vector<uint32_t> plan;
  std::string error;
  ASSERT_TRUE(PlanVolumes(5000, 30000, 10004, &plan, &error)) << error;
  std::vector<uint32_t> expected = {5004, 10000, 10000, 4996};
  EXPECT_EQ(plan, expected);
  ASSERT_TRUE(PlanVolumes(5000, 3000, 10004, &plan, &error));
  EXPECT_EQ(plan, std::vector<uint32_t>{3000});
}

TEST(VolumePath, ReplacesOrAppendsTheExtension) {
  EXPECT_EQ(VolumePath("/x/SETUP.EXE", 1), "/x/SETUP.D01");
  EXPECT_EQ(VolumePath("/x.y/setup", 2), "/x.y/setup.D02");
  EXPECT_EQ(VolumePath("setup.exe", 100), "setup.D100");
}

}  // namespace
