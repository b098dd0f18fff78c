// Every kind of bad project input gets a message naming the file, the line
// and the problem, and nothing is written.
#include <gtest/gtest.h>

#include <sstream>

#include "defaults_adapter.h"
#include "dialogs_compiler.h"
#include "setup_commands.h"
#include "package_builder.h"
#include "project.h"
#include "quorin_test_support.h"

namespace {

using namespace quorin_test;

class BadProject : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteText(dir / "a.txt", "alpha");
    WriteText(dir / "b.txt", "beta");
  }

  // The messages of loading and building the project text; empty when it built.
  std::string Problems(const std::string& toml) {
    text = toml;
    WriteText(dir / "p.toml", toml);
    Project project;
    std::vector<std::string> errors;
    if (LoadProject(dir / "p.toml", &project, &errors)) {
      BuildSummary summary;
      BuildSetup(project, BuildOptions{}, dir / "out/setup.exe", &summary, &errors);
    }
    std::string all;
    for (const std::string& e : errors) all += e + "\n";
    return all;
  }

  // "p.toml:N" for the line of the project text holding marker.
  std::string LineOf(const std::string& marker) {
    size_t at = text.find(marker);
    EXPECT_NE(at, std::string::npos) << marker;
    int line = 1;
    for (size_t i = 0; i < at; ++i) line += text[i] == '\n';
    return dir / "p.toml" + ":" + std::to_string(line);
  }

  ScratchDir dir;
  std::string text;
};

const char* kHead = "[setup]\ntitle = \"Bad\"\n";

TEST_F(BadProject, AGoodProjectBuilds) {
  EXPECT_EQ(Problems(std::string(kHead) + "[[file]]\nsource = \"a.txt\"\n"), "");
  EXPECT_TRUE(fs::exists(dir / "out/setup.exe"));
}

TEST_F(BadProject, MissingSource) {
  std::string p = Problems(std::string(kHead) + "[[file]]\nsource = \"missing.txt\"\n");
  EXPECT_NE(p.find(LineOf("missing.txt") + ": source file '" + dir / "missing.txt" + "' does not exist"), std::string::npos) << p;
  EXPECT_FALSE(fs::exists(dir / "out/setup.exe"));
}

TEST_F(BadProject, PatternMatchingNothing) {
  std::string p = Problems(std::string(kHead) + "[[file]]\nsource = \"bin/**/*.dll\"\n");
  EXPECT_NE(p.find(LineOf("bin/**") + ": the pattern 'bin/**/*.dll' matches no file"), std::string::npos) << p;
}

TEST_F(BadProject, UnknownKeys) {
  std::string p = Problems(std::string(kHead) + "colour = 3\n[[file]]\nsorce = \"a.txt\"\n");
  EXPECT_NE(p.find(LineOf("colour") + ": unknown key 'colour' in [setup]"), std::string::npos) << p;
  EXPECT_NE(p.find(LineOf("sorce") + ": unknown key 'sorce' in [[file]] (known keys: source, destination"), std::string::npos) << p;
  EXPECT_NE(p.find("[[file]] needs 'source'"), std::string::npos) << p;
}

TEST_F(BadProject, BadValues) {
  std::string p = Problems(std::string(kHead) +
                           "mode = \"fullscreen\"\nstart_page = 9\n"
                           "[[file]]\nsource = \"a.txt\"\nkind = \"desktop\"\nshared = \"yes\"\nicon_index = -1\n");
  EXPECT_NE(p.find(LineOf("fullscreen") + ": 'mode' must be one of \"framed\", \"background\""), std::string::npos) << p;
  EXPECT_NE(p.find(LineOf("start_page") + ": 'start_page' must be a page 0 to 6"), std::string::npos) << p;
  EXPECT_NE(p.find(LineOf("desktop") + ": 'kind' must be one of \"folder\", \"windows\", \"system-shared\", \"fonts\""),
            std::string::npos) << p;
  EXPECT_NE(p.find(LineOf("\"yes\"") + ": 'shared' must be true or false"), std::string::npos) << p;
  EXPECT_NE(p.find(LineOf("icon_index") + ": 'icon_index' must be between 0 and 65535"), std::string::npos) << p;
}

TEST_F(BadProject, SyntaxErrorNamesLineAndColumn) {
  std::string p = Problems(std::string(kHead) + "[[file]]\nsource = \"a.txt\n");
  EXPECT_EQ(p.find(LineOf("source") + ":"), 0u) << p;
}

TEST_F(BadProject, MissingTitle) {
  std::string p = Problems("[setup]\nfolder = \"C:\\\\X\"\n[[file]]\nsource = \"a.txt\"\n");
  EXPECT_NE(p.find("[setup] needs 'title'"), std::string::npos) << p;
}

TEST_F(BadProject, PathOverTheLimit) {
  std::string longName(300, 'n');
  std::string p = Problems(std::string(kHead) + "[[file]]\nsource = \"a.txt\"\ndestination = \"" + longName + "\"\n");
  EXPECT_NE(p.find(LineOf(longName) + ": 'destination' is 300 characters long; the limit is 259"), std::string::npos) << p;
}

TEST_F(BadProject, DestinationThatDoesNotFitUnderTheFolder) {
  std::string name(230, 'd');
  name += ".txt";
  std::string p = Problems(std::string(kHead) + "folder = \"#Program Files#\\\\Some Company\\\\Bad\"\n[[file]]\nsource = \"a.txt\"\n"
                           "destination = \"" + name + "\"\n");
  EXPECT_NE(p.find(LineOf("[[file]]") + ": destination '" + name + "' makes a path of 268 characters under "
                   "'C:\\Program Files\\Some Company\\Bad'; the limit is 259"),
            std::string::npos) << p;
}

TEST_F(BadProject, TextOverTheLimit) {
  std::string p = Problems(std::string(kHead) + "[texts]\ninformation = \"" + std::string(1500, 'i') + "\"\n6.31 = \"" +
                           std::string(1024, 'x') + "\"\n");
  EXPECT_NE(p.find(LineOf("information") + ": 'information' is 1500 characters long; the limit is 1023"), std::string::npos) << p;
  EXPECT_NE(p.find(LineOf("6.31") + ": texts.6.31 is 1024 characters long; the limit is 1023"), std::string::npos) << p;
}

TEST_F(BadProject, TextsTheSetupCannotUse) {
  std::string p = Problems(std::string(kHead) +
                           "[texts]\nwelcom = \"Hi\"\n6.28 = \"Insert disk %s\"\n6.999 = \"never read\"\n10.1 = \"x\"\n");
  EXPECT_NE(p.find(LineOf("welcom") + ": unknown text name 'welcom' in [texts]"), std::string::npos) << p;
  EXPECT_NE(p.find(LineOf("10.1") + ": '10' in [texts] is neither a text name nor a group number 0 to 8"), std::string::npos) << p;
  EXPECT_NE(p.find("text 6.28 "), std::string::npos) << p;
  EXPECT_NE(p.find("formatted with one number"), std::string::npos) << p;
  EXPECT_NE(p.find("text 6.999 is not read by the setup"), std::string::npos) << p;
}

TEST_F(BadProject, DuplicateDestinations) {
  std::string p = Problems(std::string(kHead) +
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"Docs\\\\Read.txt\"\n"
                           "[[file]]\nsource = \"b.txt\"\ndestination = \"docs/read.TXT\"\n");
  EXPECT_NE(p.find(LineOf("[[file]]\nsource = \"b.txt\"") + ": destination 'docs\\read.TXT' is also written by the file at " +
                   LineOf("[[file]]")),
            std::string::npos) << p;
}

TEST_F(BadProject, DestinationsThatLeaveTheFolder) {
  std::string p = Problems(std::string(kHead) + "[[file]]\nsource = \"a.txt\"\ndestination = \"..\\\\evil.txt\"\n");
  EXPECT_NE(p.find("must not climb out of its folder"), std::string::npos) << p;
}

TEST_F(BadProject, TwoUninstallers) {
  std::string p = Problems(std::string(kHead) + "[[file]]\nsource = \"a.txt\"\nuninstaller = true\n"
                           "[[file]]\nsource = \"b.txt\"\nuninstaller = true\n");
  EXPECT_NE(p.find("more than one file is marked 'uninstaller'"), std::string::npos) << p;
}

TEST_F(BadProject, BitmapThatIsNoBitmap) {
  std::string p = Problems(std::string(kHead) + "side_bitmap = \"a.txt\"\n");
  EXPECT_NE(p.find(dir / "a.txt" + ": not a .bmp file"), std::string::npos) << p;
}

TEST_F(BadProject, VersionCheckOnAFileWithoutVersion) {
  std::string p = Problems(std::string(kHead) + "[[file]]\nsource = \"a.txt\"\ncheck_version = true\n");
  EXPECT_NE(p.find(LineOf("[[file]]") + ": '" + dir / "a.txt" + "': not a Windows executable"), std::string::npos) << p;
}

TEST_F(BadProject, TemplateOverTheBlockSize) {
  if (FindWindres().empty()) GTEST_SKIP() << "no windres";
  std::string rc = "#include <windows.h>\n105 DIALOGEX 0, 0, 233, 164\nSTYLE DS_SETFONT | WS_CHILD\n"
                   "FONT 8, \"MS Shell Dlg\"\nBEGIN\n";
  for (int i = 0; i < 60; ++i) rc += "  LTEXT \"" + std::string(200, 'w') + "\", " + std::to_string(2000 + i) + ", 0, 0, 10, 10\n";
  rc += "END\n";
  WriteText(dir / "big.rc", rc);
  std::string p = Problems(std::string(kHead) + "dialogs = \"big.rc\"\n");
  EXPECT_NE(p.find(LineOf("big.rc") + ": "), std::string::npos) << p;
  EXPECT_NE(p.find("bytes; the setup program reads at most 16384 bytes of a template"), std::string::npos) << p;
}

TEST_F(BadProject, RcScriptThatDoesNotCompile) {
  if (FindWindres().empty()) GTEST_SKIP() << "no windres";
  WriteText(dir / "broken.rc", "105 DIALOGEX 0, 0, 10\nBEGIN\n");
  std::string p = Problems(std::string(kHead) + "dialogs = \"broken.rc\"\n");
  EXPECT_NE(p.find(LineOf("broken.rc") + ": " + dir / "broken.rc" + ": "), std::string::npos) << p;
  EXPECT_NE(p.find("could not compile it"), std::string::npos) << p;
}

TEST_F(BadProject, TextsAreStoredInTheAnsiCodePage) {
  WriteText(dir / "p.toml", "[setup]\ntitle = \"Caf\u00e9 \u00dcber\"\n[texts]\n6.31 = \"Gr\u00fc\u00dfe\"\n"
                            "[[file]]\nsource = \"a.txt\"\ndestination = \"d\u00e9j\u00e0.txt\"\n");
  Project project;
  std::vector<std::string> errors;
  ASSERT_TRUE(LoadProject(dir / "p.toml", &project, &errors)) << ::testing::PrintToString(errors);
  EXPECT_EQ(project.title, "Caf\xE9 \xDC" "ber");
  EXPECT_EQ(project.texts[std::make_pair(6, 31)], "Gr\xFC\xDF" "e");
  EXPECT_EQ(project.files[0].destination, "d\xE9j\xE0.txt");
  // Extracted under its name as this machine spells it.
  BuildSummary summary;
  ASSERT_TRUE(BuildSetup(project, BuildOptions{}, dir / "setup.exe", &summary, &errors));
  std::ostringstream out, err;
  ASSERT_EQ(ExtractSetup(dir / "setup.exe", dir / "x", out, err), 0) << err.str();
  EXPECT_EQ(ReadBytes(dir / "x/d\u00e9j\u00e0.txt"), ReadBytes(dir / "a.txt"));
}

TEST_F(BadProject, TitleInAProjectsOwnTextIsEscapedLikeInTheDefaults) {
  WriteText(dir / "p.toml", "[setup]\ntitle = \"100%s & More\"\n[texts]\n3.2 = \"{title} goes to %s\"\n"
                            "7.1 = \"{title} &Next\"\n6.31 = \"{title} is incomplete\"\n");
  Project project;
  std::vector<std::string> errors;
  ASSERT_TRUE(LoadProject(dir / "p.toml", &project, &errors)) << ::testing::PrintToString(errors);
  std::vector<std::vector<std::string>> groups;
  ASSERT_TRUE(ComposeStringGroups(project, &groups, &errors)) << ::testing::PrintToString(errors);
  EXPECT_EQ(groups[3][2], "100%%s & More goes to %s");  // formatted with the folder: '%' doubled
  EXPECT_EQ(groups[7][1], "100%s && More &Next");      // a button: '&' doubled
  EXPECT_EQ(groups[6][31], "100%s & More is incomplete");  // shown as it stands
}

TEST_F(BadProject, CharacterTheCodePageCannotShow) {
  std::string p = Problems("[setup]\ntitle = \"\u0141\u00f3d\u017a\"\n");
  EXPECT_NE(p.find(LineOf("title") + ": 'title' holds '\u0141', which code page 1252 cannot show"), std::string::npos) << p;
  EXPECT_EQ(Problems("[setup]\ncodepage = 1250\ntitle = \"\u0141\u00f3d\u017a\"\n"), "");
}

}  // namespace
