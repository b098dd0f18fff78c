// Non-ASCII characters where the TOML library would reach undefined behaviour
// on them: outside quotes and after a backslash they are refused (neither is
// valid TOML); after a line-ending backslash they keep their meaning; inside
// strings, comments and quoted keys of every form they are fine.
#include <gtest/gtest.h>

#include "project.h"
#include "quorin_test_support.h"

namespace {

using namespace quorin_test;

TEST(ProjectCharacters, OutsideQuotesRefusedInsideAccepted) {
  ScratchDir dir;
  WriteText(dir / "p.toml",
            "\xEF\xBB\xBF# Ümlaut comment\n[setup]\ntitle = \"Café \\\" ñ\"\nfolder = 'C:\\Prøgram'\n"
            "uninstall_name = \"\"\"Zwei \"Zeilen\" é\"\"\"\"\n[texts]\nwelcome = '''ö'''\n\"information\" = \"ü\"\n");
  Project project;
  std::vector<std::string> errors;
  EXPECT_TRUE(LoadProject(dir / "p.toml", &project, &errors)) << ::testing::PrintToString(errors);
  EXPECT_EQ(project.title, "Caf\xE9 \" \xF1");  // in code page 1252

  WriteText(dir / "long.toml", "[setup]\ntitle = \"T\"\n[texts]\nwelcome = \"\"\"Bienvenue \\\n   \xC3\xA9l\xC3\xA8ve\"\"\"\n");
  errors.clear();
  ASSERT_TRUE(LoadProject(dir / "long.toml", &project, &errors)) << ::testing::PrintToString(errors);
  EXPECT_EQ(project.texts[std::make_pair(0, 1)], "Bienvenue \xE9l\xE8ve");

  WriteText(dir / "escape.toml", "[setup]\ntitle = \"\"\"a\\\xC3\xA9\"\"\"\n");
  errors.clear();
  EXPECT_FALSE(LoadProject(dir / "escape.toml", &project, &errors));
  EXPECT_EQ(errors, std::vector<std::string>{dir / "escape.toml:2:14: a character that is not ASCII follows a backslash; "
                                                   "write a backslash as \\\\"});

  for (const char* bad : {"[setup]\ntitle = \"x\" \xC3\xA9\n", "\xEF\xBB\xB5[setup]\ntitle = \"x\"\n",
                          "[setup]\n\xC2\xA1title = \"x\"\n"}) {
    WriteText(dir / "bad.toml", bad);
    errors.clear();
    EXPECT_FALSE(LoadProject(dir / "bad.toml", &project, &errors));
    ASSERT_EQ(errors.size(), 1u) << bad;
    EXPECT_NE(errors[0].find("a character that is not ASCII stands outside quotes"), std::string::npos) << errors[0];
  }
  EXPECT_EQ(errors[0].rfind(dir / "bad.toml:2:1: ", 0), 0u) << errors[0];
}

}  // namespace
