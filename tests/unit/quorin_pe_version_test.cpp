// The version block of a file entry comes from the file's own version
// resource: built here with the mingw resource compiler and linker, then read.
#include <gtest/gtest.h>
#include <stdlib.h>

#include "package/format.h"
#include "package_builder.h"
#include "pe_version.h"
#include "project.h"
#include "quorin_test_support.h"
#include "setup_reader.h"

namespace {

using namespace quorin_test;

bool HaveTool(const std::string& name) { return system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0; }

// Compiles a tiny program with a VERSIONINFO resource for one mingw target.
std::string BuildVersionedPe(const ScratchDir& dir, const std::string& triplet, bool withTranslation) {
  std::string rc = dir / (triplet + ".rc"), obj = dir / (triplet + ".o"), c = dir / "main.c", exe = dir / (triplet + ".exe");
  std::string translation = withTranslation ? "  BLOCK \"VarFileInfo\"\n  BEGIN\n    VALUE \"Translation\", 0x0407, 1252\n  END\n" : "";
  WriteText(rc, "1 VERSIONINFO\n"
                "FILEVERSION 1,2,3,4\n"
                "PRODUCTVERSION 5,6,7,8\n"
                "BEGIN\n"
                "  BLOCK \"StringFileInfo\"\n  BEGIN\n    BLOCK \"040704E4\"\n    BEGIN\n"
                "      VALUE \"FileVersion\", \"1.2.3.4\\0\"\n"
                "      VALUE \"ProductName\", \"Versioned\\0\"\n"
                "    END\n  END\n" +
                    translation + "END\n");
  WriteText(c, "int main(void) { return 0; }\n");
  std::string compile = triplet + "-windres -O coff -i " + rc + " -o " + obj + " && " + triplet + "-gcc -o " + exe + " " +
                        c + " " + obj;
  EXPECT_EQ(system(compile.c_str()), 0) << compile;
  return exe;
}

class VersionResource : public ::testing::TestWithParam<const char*> {};

TEST_P(VersionResource, FileVersionAndLanguageFromABuiltProgram) {
  std::string triplet = GetParam();
  if (!HaveTool(triplet + "-gcc") || !HaveTool(triplet + "-windres")) GTEST_SKIP() << "no " << triplet << " toolchain";
  ScratchDir dir;
  std::vector<uint8_t> exe = ReadBytes(BuildVersionedPe(dir, triplet, true));
  PeVersion version;
  std::string why;
  ASSERT_TRUE(ReadPeVersion(exe.data(), exe.size(), &version, &why)) << why;
  EXPECT_EQ(version.fileVersionMs, 0x00010002u);
  EXPECT_EQ(version.fileVersionLs, 0x00030004u);
  EXPECT_EQ(version.productVersionMs, 0x00050006u);
  EXPECT_EQ(version.productVersionLs, 0x00070008u);
  EXPECT_TRUE(version.hasLanguage);
  EXPECT_EQ(version.language, 0x0407);
  EXPECT_EQ(FormatVersion(version.fileVersionMs, version.fileVersionLs), "1.2.3.4");
}

INSTANTIATE_TEST_SUITE_P(BothPeKinds, VersionResource, ::testing::Values("x86_64-w64-mingw32", "i686-w64-mingw32"));

TEST(VersionResource, WithoutTranslationThereIsNoLanguage) {
  if (!HaveTool("x86_64-w64-mingw32-gcc")) GTEST_SKIP() << "no mingw toolchain";
  ScratchDir dir;
  std::vector<uint8_t> exe = ReadBytes(BuildVersionedPe(dir, "x86_64-w64-mingw32", false));
  PeVersion version;
  std::string why;
  ASSERT_TRUE(ReadPeVersion(exe.data(), exe.size(), &version, &why)) << why;
  EXPECT_EQ(version.fileVersionLs, 0x00030004u);
  EXPECT_FALSE(version.hasLanguage);
}

TEST(VersionResource, ProgramWithoutOneIsReported) {
  if (!HaveTool("x86_64-w64-mingw32-gcc")) GTEST_SKIP() << "no mingw toolchain";
  ScratchDir dir;
  WriteText(dir / "main.c", "int main(void) { return 0; }\n");
  ASSERT_EQ(system(("x86_64-w64-mingw32-gcc -o " + dir / "plain.exe " + dir / "main.c").c_str()), 0);
  std::vector<uint8_t> exe = ReadBytes(dir / "plain.exe");
  PeVersion version;
  std::string why;
  EXPECT_FALSE(ReadPeVersion(exe.data(), exe.size(), &version, &why));
  EXPECT_TRUE(why == "the file has no resources" || why == "the file has no version resource") << why;
}

TEST(VersionResource, EveryTruncationFailsCleanly) {
  if (!HaveTool("x86_64-w64-mingw32-gcc")) GTEST_SKIP() << "no mingw toolchain";
  ScratchDir dir;
  std::vector<uint8_t> exe = ReadBytes(BuildVersionedPe(dir, "x86_64-w64-mingw32", true));
  PeVersion whole;
  std::string why;
  ASSERT_TRUE(ReadPeVersion(exe.data(), exe.size(), &whole, &why));
  // Cut copies, so that a read past the end lands outside the allocation.
  size_t accepted = 0;
  for (size_t size = 0; size < exe.size(); size += 61) {
    std::vector<uint8_t> cut(exe.begin(), exe.begin() + static_cast<long>(size));
    PeVersion version;
    if (ReadPeVersion(cut.data(), cut.size(), &version, &why)) {
      ++accepted;
      EXPECT_EQ(version.fileVersionMs, whole.fileVersionMs);
    } else {
      EXPECT_FALSE(why.empty());
    }
  }
  EXPECT_LT(accepted, exe.size() / 61);
}

TEST(VersionResource, CheckedEntriesCarryTheVersionBlock) {
  if (!HaveTool("x86_64-w64-mingw32-gcc")) GTEST_SKIP() << "no mingw toolchain";
  ScratchDir dir;
  BuildVersionedPe(dir, "x86_64-w64-mingw32", true);
  WriteText(dir / "p.toml",
            "[setup]\ntitle = \"V\"\n"
            "[[file]]\nsource = \"x86_64-w64-mingw32.exe\"\ndestination = \"v.dll\"\nkind = \"system-shared\"\n"
            "check_version = true\ncheck_language = true\n");
  Project project;
  std::vector<std::string> errors;
  ASSERT_TRUE(LoadProject(dir / "p.toml", &project, &errors)) << ::testing::PrintToString(errors);
  BuildSummary summary;
  ASSERT_TRUE(BuildSetup(project, BuildOptions{}, dir / "setup.exe", &summary, &errors)) << ::testing::PrintToString(errors);
  SetupView view;
  std::string error;
  ASSERT_TRUE(ReadSetup(dir / "setup.exe", &view, &error)) << error;
  ASSERT_EQ(view.entries.size(), 1u);
  const EntryView& e = view.entries[0];
  EXPECT_EQ(e.options, format::kOptionCheckVersion | format::kOptionCheckLanguage);
  ASSERT_TRUE(e.hasVersion);
  EXPECT_EQ(e.versionMs, 0x00010002u);
  EXPECT_EQ(e.versionLs, 0x00030004u);
  EXPECT_EQ(e.language, 0x0407u);
  // "v.dll" and its NUL, then five empty strings.
  EXPECT_EQ(e.size, format::kEntryFixedSize + format::kEntryVersionBlockSize + 6 + 5);
}

}  // namespace
