// Every kind of bad project input gets a message naming the file, the line
// and the problem, and nothing is written.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "defaults_adapter.h"
#include "dialogs_compiler.h"
#include "setup_commands.h"
#include "package_builder.h"
#include "project.h"
#include "package/format.h"
#include "quorin_test_support.h"
#include "setup_reader.h"

namespace {

using namespace quorin_test;

class BadProject : public ::testing::Test {
 protected:
  void SetUp() override {
    WriteText(dir / "a.txt", "alpha");
    WriteText(dir / "b.txt", "beta");
  }

  // The messages of loading and building the project text as `quorin build`
  // does (every check in one pass); empty when it built. Warnings go to warned.
  std::string Problems(const std::string& toml, const std::string& output = "out/setup.exe") {
    text = toml;
    WriteText(dir / "p.toml", toml);
    Project project;
    std::vector<std::string> errors, warnings;
    LoadProject(dir / "p.toml", &project, &errors, dir / output);
    PreparedSetup prepared;
    if (project.parsed) PrepareSetup(project, BuildOptions{}, dir / output, &prepared, &errors);
    warnings = project.warnings;
    warnings.insert(warnings.end(), prepared.warnings.begin(), prepared.warnings.end());
    if (errors.empty()) {
      BuildSummary summary;
      BuildPrepared(project, prepared, BuildOptions{}, dir / output, &summary, &errors);
      warnings.insert(warnings.end(), summary.warnings.begin(), summary.warnings.end());
    }
    OrderMessages(dir / "p.toml", &errors);
    OrderMessages(dir / "p.toml", &warnings);
    warned.clear();
    for (const std::string& w : warnings) warned += w + "\n";
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

  // "p.toml:N" for the [[file]] line of the table holding marker.
  std::string TableOf(const std::string& marker) {
    size_t at = text.rfind("[[file]]", text.find(marker));
    int line = 1;
    for (size_t i = 0; i < at; ++i) line += text[i] == '\n';
    return dir / "p.toml" + ":" + std::to_string(line);
  }

  ScratchDir dir;
  std::string text;
  std::string warned;
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
  // The information page's texts go to their controls whole; others are formatted in 1,024 bytes.
  std::string p = Problems(std::string(kHead) + "[texts]\ninformation = \"" + std::string(65536, 'i') + "\"\n6.31 = \"" +
                           std::string(1024, 'x') + "\"\n");
  EXPECT_NE(p.find(LineOf("information") + ": 'information' is 65536 characters long; the limit is 65535"), std::string::npos) << p;
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
  EXPECT_NE(p.find(LineOf("[[file]]\nsource = \"b.txt\"") + ": destination 'docs\\read.TXT' is the same file on Windows as "
                   "'Docs\\Read.txt' at " + LineOf("[[file]]") + " (Windows ignores letter case)"),
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

// The uninstaller the build adds for 'uninstall_name', and the rules every
// uninstaller keeps: directly in the destination folder, a name of its own,
// installed as built.
TEST_F(BadProject, TheUninstallerAndItsRules) {
  auto filesOf = [&](const std::string& toml) {
    WriteText(dir / "p.toml", toml);
    Project project;
    std::vector<std::string> errors;
    EXPECT_TRUE(LoadProject(dir / "p.toml", &project, &errors)) << ::testing::PrintToString(errors);
    return project.files;
  };
  std::string asked = std::string(kHead) + "uninstall_name = \"Bad (remove)\"\n";
  std::vector<ProjectFile> files = filesOf(asked + "[[file]]\nsource = \"a.txt\"\n");
  ASSERT_EQ(files.size(), 2u);
  EXPECT_TRUE(files[1].builtIn);
  EXPECT_EQ(files[1].destination, "uninst.exe");
  EXPECT_EQ(files[1].destinationKind, format::kDestFolder);
  EXPECT_EQ(files[1].entryKind, format::kEntryInstalled);
  EXPECT_EQ(files[1].options, format::kOptionUninstaller);
  EXPECT_EQ(filesOf(asked + "uninstaller_name = \"Remove Bad.exe\"\n").back().destination, "Remove Bad.exe");
  EXPECT_EQ(filesOf(std::string(kHead) + "[[file]]\nsource = \"a.txt\"\n").size(), 1u) << "no entry asked for";
  // A project's own uninstaller wins; the build adds none.
  files = filesOf(asked + "[[file]]\nsource = \"a.txt\"\nuninstaller = true\n");
  ASSERT_EQ(files.size(), 1u);
  EXPECT_FALSE(files[0].builtIn);

  std::string p = Problems(asked + "[[file]]\nsource = \"a.txt\"\ndestination = \"UNINST.EXE\"\n");
  EXPECT_NE(p.find(LineOf("[[file]]") + ": destination 'UNINST.EXE' is the same file on Windows as the uninstaller "
                   "quorin adds for 'uninstall_name' (named at " + LineOf("uninstall_name") + ";"),
            std::string::npos) << p;
  p = Problems(asked + "[[file]]\nsource = \"a.txt\"\ndestination = \"uninst.exe\\\\a.txt\"\n");
  EXPECT_NE(p.find(LineOf("[[file]]") + ": destination 'uninst.exe\\a.txt' needs a folder 'uninst.exe', but the "
                   "uninstaller quorin adds"), std::string::npos) << p;
  p = Problems(asked + "uninstaller_name = \"bin/remove.exe\"\n");
  EXPECT_NE(p.find(LineOf("uninstaller_name") + ": 'uninstaller_name' 'bin\\remove.exe' must be a plain file name"),
            std::string::npos) << p;
  p = Problems(asked + "uninstaller_name = \"remove.bat\"\n");
  EXPECT_NE(p.find("'remove.bat' must end in .exe"), std::string::npos) << p;
  p = Problems(asked + "uninstaller_name = \"nul.exe\"\n");
  EXPECT_NE(p.find(LineOf("uninstaller_name") + ": destination 'nul.exe' uses 'nul.exe', a device name"),
            std::string::npos) << p;
  p = Problems(asked + "uninstaller_name = \"u.exe\"\n[[file]]\nsource = \"a.txt\"\nuninstaller = true\n");
  EXPECT_NE(p.find(LineOf("uninstaller_name") + ": 'uninstaller_name' names the uninstaller quorin adds, but the "
                   "[[file]] at " + LineOf("[[file]]") + " is the uninstaller already"), std::string::npos) << p;
  EXPECT_EQ(Problems(std::string(kHead) + "uninstaller_name = \"u.exe\"\n"), "");
  EXPECT_NE(warned.find(LineOf("uninstaller_name") + ": warning: 'uninstaller_name' has no effect without "
                                                     "'uninstall_name'"), std::string::npos) << warned;

  // Every uninstaller, the project's own as well, lies directly in the
  // destination folder and is installed as it was built.
  for (const char* bad : {"destination = \"bin/a.txt\"", "kind = \"windows\"", "external = true",
                          "check_version = true"}) {
    p = Problems(std::string(kHead) + "[[file]]\nsource = \"a.txt\"\nuninstaller = true\n" + bad + "\n");
    EXPECT_NE(p.find(LineOf("[[file]]") + ": 'uninstaller' "), std::string::npos) << bad << "\n" << p;
  }
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

// Destinations as Windows resolves them: names it refuses or changes, and
// entries that land on one file or on a file and a folder of one name.
TEST_F(BadProject, DestinationsWindowsMergesOrRefuses) {
  std::string p = Problems(std::string(kHead) +
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"a\"\n"
                           "[[file]]\nsource = \"b.txt\"\ndestination = \"A\\\\b.txt\"\n"
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"sub\\\\.\\\\x.txt\"\n"
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"x.txt.\"\n"
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"y.txt \"\n"
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"nul.txt\"\n"
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"bin\\\\Com1\"\n"
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"tab\\there\"\n"
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"two\\\\\\\\slashes\"\n"
                           "[[file]]\nsource = \"a.txt\"\ndestination = \"\u00c4pfel.txt\"\n"
                           "[[file]]\nsource = \"b.txt\"\ndestination = \"\u00e4PFEL.TXT\"\n");
  EXPECT_NE(p.find(TableOf("\"A\\\\b.txt\"") + ": destination 'A\\b.txt' needs a folder 'a', but the file at " +
                   TableOf("\"a\"\n") + " has that name"), std::string::npos) << p;
  EXPECT_NE(p.find("destination 'sub\\.\\x.txt' holds a '.' folder, which Windows leaves out"), std::string::npos) << p;
  EXPECT_NE(p.find("destination 'x.txt.' has a name ending in a dot or a space ('x.txt.'), which Windows drops; write "
                   "'x.txt'"), std::string::npos) << p;
  EXPECT_NE(p.find("destination 'y.txt ' has a name ending in a dot or a space"), std::string::npos) << p;
  EXPECT_NE(p.find("destination 'nul.txt' uses 'nul.txt', a device name on Windows"), std::string::npos) << p;
  EXPECT_NE(p.find("destination 'bin\\Com1' uses 'Com1', a device name"), std::string::npos) << p;
  EXPECT_NE(p.find("destination 'tab\there' holds a control character"), std::string::npos) << p;
  EXPECT_NE(p.find("destination 'two\\\\slashes' has an empty folder name"), std::string::npos) << p;
  // Letter case is folded as Windows does, beyond ASCII too.
  EXPECT_NE(p.find("destination '\xE4PFEL.TXT' is the same file on Windows as '\xC4pfel.txt' at "), std::string::npos)
      << p;
  EXPECT_FALSE(fs::exists(dir / "out"));
}

// The project, a source or a volume file of the output is never written over;
// an earlier output lying among the sources is left out of every pattern.
TEST_F(BadProject, OutputIsNeverAnInput) {
  std::string project = std::string(kHead) + "[[file]]\nsource = \"a.txt\"\n";
  std::string p = Problems(project, "p.toml");
  EXPECT_NE(p.find(dir / "p.toml" + ": the setup file to write (-o) is the project file itself"), std::string::npos) << p;
  EXPECT_EQ(ReadBytes(dir / "p.toml"), std::vector<uint8_t>(text.begin(), text.end()));

  p = Problems(project, "a.txt");
  EXPECT_NE(p.find(LineOf("source") + ": 'source' is the setup file this build writes (-o)"), std::string::npos) << p;
  EXPECT_EQ(ReadBytes(dir / "a.txt"), std::vector<uint8_t>({'a', 'l', 'p', 'h', 'a'}));

  WriteText(dir / "setup.D02", "not a volume yet");
  p = Problems(std::string(kHead) + "[[file]]\nsource = \"setup.D02\"\n", "setup.exe");
  EXPECT_NE(p.find(LineOf("source") + ": 'source' is volume file 2 of the setup file this build writes"),
            std::string::npos) << p;
  EXPECT_FALSE(fs::exists(dir / "setup.exe"));

  // Built twice into the folder its pattern reads: the second build packs the
  // same files as the first, not the first build's setup and volume files.
  fs::remove(dir / "setup.D02");
  fs::create_directories(dir / "tree");
  WriteText(dir / "tree/one.txt", "one");
  WriteBytes(dir / "tree/two.bin", NoiseBytes(20000, 3));
  std::string tree = std::string(kHead) + "[[file]]\nsource = \"tree/*\"\n";
  ASSERT_EQ(Problems(tree, "tree/setup.exe"), "");
  ASSERT_EQ(Problems(tree, "tree/setup.exe"), "");
  std::vector<std::string> errors;
  Project again;
  ASSERT_TRUE(LoadProject(dir / "p.toml", &again, &errors, dir / "tree/setup.exe"));
  ASSERT_EQ(again.files.size(), 2u);
  EXPECT_EQ(again.files[0].destination, "one.txt");
  EXPECT_EQ(again.files[1].destination, "two.bin");
  WriteText(dir / "tree/setup.D01", "an earlier volume");
  ASSERT_TRUE(LoadProject(dir / "p.toml", &again, &errors, dir / "tree/setup.exe"));
  EXPECT_EQ(again.files.size(), 2u);
  p = Problems(std::string(kHead) + "[[file]]\nsource = \"tree/setup*\"\n", "tree/setup.exe");
  EXPECT_NE(p.find("the pattern 'tree/setup*' matches only the setup file this build writes"), std::string::npos) << p;
}

TEST_F(BadProject, ExcludePatternsAndLinks) {
  fs::create_directories(dir / "bin/debug");
  WriteText(dir / "bin/app.exe", "app");
  WriteText(dir / "bin/app.pdb", "symbols");
  WriteText(dir / "bin/debug/app.exe", "debug app");
  WriteText(dir / "bin/real.dll", "real");
  // A link matched by a pattern keeps its own name, as it does when named.
  fs::create_symlink("real.dll", dir / "bin/alias.dll");
  std::string p = Problems(std::string(kHead) +
                           "[[file]]\nsource = \"bin/**/*\"\nexclude = [\"bin/debug/**\", \"**/*.pdb\", \"**/*.obj\"]\n"
                           "[[file]]\nsource = \"bin/alias.dll\"\ndestination = \"named\\\\alias.dll\"\n"
                           "[[file]]\nsource = \"a.txt\"\nexclude = \"*.txt\"\n");
  EXPECT_NE(p.find(LineOf("exclude = \"*.txt\"") + ": 'exclude' works with a pattern in 'source'"), std::string::npos) << p;
  EXPECT_NE(warned.find(LineOf("exclude = [") + ": warning: 'exclude' pattern '**/*.obj' leaves out no file"),
            std::string::npos) << warned;
  Project project;
  std::vector<std::string> errors;
  WriteText(dir / "p.toml", std::string(kHead) + "[[file]]\nsource = \"bin/**/*\"\nexclude = [\"bin/debug/**\", \"**/*.pdb\"]\n"
                            "[[file]]\nsource = \"bin/alias.dll\"\ndestination = \"named\\\\alias.dll\"\n");
  ASSERT_TRUE(LoadProject(dir / "p.toml", &project, &errors)) << ::testing::PrintToString(errors);
  std::vector<std::string> names;
  for (const ProjectFile& f : project.files) names.push_back(f.destination);
  EXPECT_EQ(names, (std::vector<std::string>{"alias.dll", "app.exe", "real.dll", "named\\alias.dll"}));
}

// An unknown code page is one problem where it is set, whatever the texts hold;
// the code page is stored in the setup.
TEST_F(BadProject, CodePageCheckedOnceAndStored) {
  std::string p = Problems("[setup]\ncodepage = 4242\ntitle = \"Plain\"\n[[file]]\nsource = \"a.txt\"\n");
  EXPECT_EQ(p, LineOf("codepage") + ": 'codepage' 4242 is not a code page this builder can convert to; give a Windows "
                                    "code page such as 1252 (Western), 1250 (Central European), 1251 (Cyrillic) or "
                                    "932 (Japanese)\n");
  p = Problems("[setup]\ncodepage = 4242\ntitle = \"Caf\u00e9\"\n[texts]\nwelcome = \"\u0141\"\n");
  EXPECT_EQ(std::count(p.begin(), p.end(), '\n'), 1) << p;
  ASSERT_EQ(Problems("[setup]\ncodepage = 1250\ntitle = \"\u0141\u00f3d\u017a\"\n[[file]]\nsource = \"a.txt\"\n"), "");
  SetupView view;
  std::string error;
  ASSERT_TRUE(ReadSetup(dir / "out/setup.exe", &view, &error)) << error;
  std::vector<uint8_t> setup = ReadBytes(dir / "out/setup.exe");
  bool found = false;
  for (const RecordView& r : view.records)
    if (r.tag == format::kTagCodePage) {
      found = true;
      ASSERT_EQ(r.bodyLength, 4u);
      EXPECT_EQ(format::ReadU32(setup.data() + r.offset + format::kRecordHeaderSize), 1250u);
    }
  EXPECT_TRUE(found);
}

// Problems that are not errors are said, and the setup is still built.
TEST_F(BadProject, WarningsNotSilence) {
  EXPECT_EQ(Problems("[setup]\ntitle = \"Empty\"\nuninstall_name = \"Empty (remove)\"\nuninstaller_name = \"\"\n"), "");
  EXPECT_NE(warned.find(dir / "p.toml" + ": warning: the project installs no files"), std::string::npos) << warned;
  EXPECT_NE(warned.find(LineOf("uninstall_name") + ": warning: 'uninstall_name' is set, but 'uninstaller_name' is "
                                                   "empty and no [[file]] has 'uninstaller = true'"),
            std::string::npos) << warned;
  EXPECT_TRUE(fs::exists(dir / "out/setup.exe"));

  WriteBytes(dir / "font.ttf", {0x00, 0x01, 0x00, 0x00, 0x00, 0x0A});
  EXPECT_EQ(Problems(std::string(kHead) + "[[file]]\nsource = \"a.txt\"\nkind = \"fonts\"\n"
                     "[[file]]\nsource = \"font.ttf\"\nkind = \"fonts\"\n"), "");
  EXPECT_NE(warned.find(LineOf("[[file]]") + ": warning: '" + dir / "a.txt" + "' is not a font file"), std::string::npos)
      << warned;
  EXPECT_EQ(warned.find("font.ttf' is not a font file"), std::string::npos) << warned;

  if (FindWindres().empty()) GTEST_SKIP() << "no windres";
  WriteText(dir / "d.rc", "#include <windows.h>\n"
                          "102 DIALOGEX 0, 0, 233, 164\nSTYLE DS_SETFONT | WS_CHILD\nFONT 8, \"MS Shell Dlg\"\nBEGIN\n"
                          "  EDITTEXT 1004, 0, 0, 10, 10\n  PUSHBUTTON \"B\", 1005, 0, 0, 10, 10\n"
                          "  LTEXT \"\", 1017, 0, 0, 10, 10\n  LTEXT \"\", 1018, 0, 0, 10, 10\nEND\n"
                          "104 DIALOGEX 0, 0, 233, 164\nSTYLE DS_SETFONT | WS_CHILD\nFONT 8, \"MS Shell Dlg\"\nBEGIN\n"
                          "  LTEXT \"\", 1008, 0, 0, 10, 10\n  LTEXT \"\", 1009, 0, 0, 10, 10\n"
                          "  LTEXT \"\", 1010, 0, 0, 10, 10\nEND\n"
                          "100 DIALOGEX 0, 0, 340, 206\nSTYLE DS_SETFONT | WS_CHILD\nFONT 8, \"MS Shell Dlg\"\nBEGIN\n"
                          "  PUSHBUTTON \"Next\", 1, 0, 0, 10, 10\nEND\n");
  EXPECT_EQ(Problems(std::string(kHead) + "dialogs = \"d.rc\"\n[[file]]\nsource = \"a.txt\"\n"), "");
  EXPECT_NE(warned.find(LineOf("dialogs") + ": warning: dialog 102 (destination page) lacks controls 1016, 1019, which "
                                            "the setup program uses there"), std::string::npos) << warned;
  EXPECT_EQ(warned.find("dialog 104"), std::string::npos) << warned;
  // Frame dialog 100 is for framed mode; this project runs in background mode.
  EXPECT_EQ(warned.find("dialog 100"), std::string::npos) << warned;
}

// The licence on the information page comes from a file: line breaks made
// CR LF, converted to the code page, up to what the page's field holds.
TEST_F(BadProject, InformationTextFromAFile) {
  WriteText(dir / "licence.txt", "\xEF\xBB\xBFLicence\n\nCaf\u00e9 \u00a9 2024\r\nEnd\n" + std::string(40000, 'x'));
  ASSERT_EQ(Problems(std::string(kHead) + "[texts]\ninformation_file = \"licence.txt\"\n[[file]]\nsource = \"a.txt\"\n"), "");
  SetupView view;
  std::string error;
  ASSERT_TRUE(ReadSetup(dir / "out/setup.exe", &view, &error)) << error;
  EXPECT_EQ(view.groups[1][1], "Licence\r\n\r\nCaf\xE9 \xA9 2024\r\nEnd\r\n" + std::string(40000, 'x'));

  WriteText(dir / "long.txt", std::string(70000, 'y'));
  WriteText(dir / "bad.txt", "fine\nfine\nnot \xFF utf-8\n");
  WriteText(dir / "polish.txt", "one\n\u0141\n");
  std::string p = Problems(std::string(kHead) + "[texts]\ninformation_file = \"long.txt\"\n");
  EXPECT_NE(p.find(LineOf("information_file") + ": 'information_file' '" + dir / "long.txt" +
                   "' gives 70000 characters; the information page holds at most 65535"), std::string::npos) << p;
  p = Problems(std::string(kHead) + "[texts]\ninformation_file = \"bad.txt\"\n");
  EXPECT_NE(p.find(dir / "bad.txt" + ":3: not UTF-8 text (byte 0xFF)"), std::string::npos) << p;
  p = Problems(std::string(kHead) + "[texts]\ninformation_file = \"polish.txt\"\n");
  EXPECT_NE(p.find(dir / "polish.txt" + ":2: holds '\u0141', which code page 1252 cannot show"), std::string::npos) << p;
  p = Problems(std::string(kHead) + "[texts]\ninformation = \"Hi\"\ninformation_file = \"licence.txt\"\n");
  EXPECT_NE(p.find("give the information text once"), std::string::npos) << p;
  p = Problems(std::string(kHead) + "[texts]\ninformation_file = \"missing.txt\"\n");
  EXPECT_NE(p.find(LineOf("information_file") + ": 'information_file' '" + dir / "missing.txt" +
                   "': No such file or directory"), std::string::npos) << p;
  // Elsewhere a bare line feed is kept, and said.
  EXPECT_EQ(Problems(std::string(kHead) + "[texts]\nwelcome = \"\"\"\nTwo\nlines\"\"\"\n"), "");
  EXPECT_NE(warned.find(LineOf("welcome") + ": warning: 'welcome' breaks lines with a bare line feed"), std::string::npos)
      << warned;
}

// A file too large for a file entry is refused from its size, before any of
// it is read; the file here is sparse, so the test costs no disk.
TEST_F(BadProject, FileTooLargeIsRefusedBeforeReading) {
  {
    std::ofstream huge(dir / "huge.bin", std::ios::binary);
  }
  fs::resize_file(dir / "huge.bin", 0x100000000ull + 5);
  std::string p = Problems(std::string(kHead) + "[[file]]\nsource = \"huge.bin\"\n");
  EXPECT_NE(p.find(LineOf("[[file]]") + ": source file '" + dir / "huge.bin" +
                   "' is 4294967301 bytes; a file of a setup must be smaller than 4 GiB"), std::string::npos) << p;
  EXPECT_FALSE(fs::exists(dir / "out"));
}

// Every problem of the project comes out in one run, in line order, once:
// version checks that read the files included.
TEST_F(BadProject, EveryProblemInOnePassInLineOrder) {
  std::string p = Problems(std::string(kHead) +
                           "[[file]]\nsource = \"a.txt\"\ncheck_version = true\n"
                           "[[file]]\nsource = \"missing.txt\"\n"
                           "[[file]]\nsource = \"b.txt\"\ncolour = 1\n");
  size_t version = p.find(LineOf("[[file]]") + ": '" + dir / "a.txt" + "': not a Windows executable");
  size_t missing = p.find(LineOf("missing.txt") + ": source file");
  size_t unknown = p.find(LineOf("colour") + ": unknown key 'colour'");
  ASSERT_NE(version, std::string::npos) << p;
  ASSERT_NE(missing, std::string::npos) << p;
  ASSERT_NE(unknown, std::string::npos) << p;
  EXPECT_LT(version, missing);
  EXPECT_LT(missing, unknown);
  EXPECT_EQ(std::count(p.begin(), p.end(), '\n'), 3) << p;
}

}  // namespace
