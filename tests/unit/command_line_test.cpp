#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "common/memory.h"
#include "common/setup_state.h"
#include "startup/command_line.h"

namespace {

class CommandLine : public ::testing::Test {
 protected:
  void SetUp() override {
    g_setup = SetupState();
    AllocatePathBuffers();
  }
  void TearDown() override { ReleasePathBuffers(); }
  void Reset() {
    TearDown();
    SetUp();
  }

  void Parse(const char* tail) { ParseCommandLine(tail); }
  std::string Source() const { return g_setup.sourcePath; }
  bool S() const { return g_setup.sourceSwitch; }
  bool R() const { return g_setup.noVerifySwitch; }
  bool Del() const { return g_setup.selfDeleteSwitch; }
};

TEST_F(CommandLine, EmptyOrAbsentSetsNothing) {
  Parse(nullptr);
  Parse("");
  Parse("    ");
  EXPECT_FALSE(S() || R() || Del());
  EXPECT_EQ(Source(), "");
}

TEST_F(CommandLine, SourcePathSpellingsAgree) {
  for (const char* tail : {"/S\"C:\\Setup Files\\setup.exe\"", "-s \"C:\\Setup Files\\setup.exe\"",
                           "  /s   \"C:\\Setup Files\\setup.exe\""}) {
    Reset();
    Parse(tail);
    EXPECT_TRUE(S()) << tail;
    EXPECT_EQ(Source(), "C:\\Setup Files\\setup.exe") << tail;
  }
  Reset();
  Parse("-sC:\\disk\\setup.exe");
  EXPECT_EQ(Source(), "C:\\disk\\setup.exe");
}

TEST_F(CommandLine, UnquotedPathEndsAtSpaceAndRestIsIgnored) {
  Parse("/S C:\\Setup Files\\setup.exe /R");
  EXPECT_TRUE(S());
  EXPECT_EQ(Source(), "C:\\Setup");
  EXPECT_FALSE(R());  // "Files\setup.exe" is not a switch, so parsing ended
}

TEST_F(CommandLine, DashesInsideAPathBelongToIt) {
  Parse("/S C:\\my-app/x.exe /DEL");
  EXPECT_EQ(Source(), "C:\\my-app/x.exe");
  EXPECT_TRUE(Del());
}

TEST_F(CommandLine, DelNeedsBothLettersInAnyCase) {
  Parse("/DELETE");
  EXPECT_TRUE(Del());
  Reset();
  Parse("-dEl");
  EXPECT_TRUE(Del());
  Reset();
  Parse("/DE");
  EXPECT_FALSE(Del());
  Reset();
  Parse("/D");
  EXPECT_FALSE(Del());
}

TEST_F(CommandLine, RMustStandAlone) {
  Parse("/R");
  EXPECT_TRUE(R());
  Reset();
  Parse("-r /S x");
  EXPECT_TRUE(R());
  EXPECT_EQ(Source(), "x");
  Reset();
  Parse("/RX");
  EXPECT_FALSE(R());
  Reset();
  Parse("/R-");  // the character after R is neither the end nor a space
  EXPECT_FALSE(R());
}

TEST_F(CommandLine, OtherLettersAreSkippedAndLaterSwitchesCount) {
  Parse("/Q /xyz -R");
  EXPECT_TRUE(R());
  Reset();
  Parse("/X/R");
  EXPECT_TRUE(R());
}

TEST_F(CommandLine, LeadingWordStopsParsing) {
  Parse("install /R /DEL /S x");
  EXPECT_FALSE(R() || Del() || S());
}

TEST_F(CommandLine, SourcePathIsCutTo259Characters) {
  std::string longPath(300, 'p');
  Parse(("/S\"" + longPath + "\" /R").c_str());
  EXPECT_EQ(Source(), longPath.substr(0, 259));
  EXPECT_TRUE(R());  // the rest of the argument was skipped, not taken as switches
  Reset();
  Parse(("/S " + longPath).c_str());
  EXPECT_EQ(Source().size(), 259u);
}

TEST_F(CommandLine, SourceSwitchWithoutPath) {
  Parse("/S");
  EXPECT_TRUE(S());
  EXPECT_EQ(Source(), "");
  Reset();
  Parse("/S \"");  // an unterminated quote gives an empty path
  EXPECT_TRUE(S());
  EXPECT_EQ(Source(), "");
}

TEST_F(CommandLine, LoneSwitchCharacterAtEnd) {
  Parse("/R /");
  EXPECT_TRUE(R());
  Reset();
  Parse("-");
  EXPECT_FALSE(S() || R() || Del());
}

TEST(ParseArgument, ReturnsPositionBehindArgument) {
  char buf[260];
  const char* text = "  \"a b\"rest";
  const char* after = ParseArgument(text, buf, sizeof buf);
  EXPECT_STREQ(buf, "a b");
  EXPECT_STREQ(after, "rest");
  after = ParseArgument("abc def", buf, 3);
  EXPECT_STREQ(buf, "ab");
  EXPECT_STREQ(after, " def");
}

}  // namespace

// Memory that runs out while the seven path buffers are made: none is left
// behind, and start-up learns that it cannot go on.
TEST(StartUp, PathBuffersAreAllMadeOrNone) {
  for (int left = 0; left < 7; ++left) {
    g_allocationsLeft = left;
    EXPECT_FALSE(AllocatePathBuffers()) << left;
    g_allocationsLeft = -1;
    EXPECT_EQ(g_setup.sourcePath, nullptr);
    EXPECT_EQ(g_setup.uninstallerPath, nullptr);
  }
  ASSERT_TRUE(AllocatePathBuffers());
  EXPECT_NE(g_setup.uninstallerPath, nullptr);
  ReleasePathBuffers();
}

// /Q stands alone like /R; /T and /L take an argument as /S does, quoted or
// not, right after the letter or after spaces, and parsing goes on after it.
TEST_F(CommandLine, UnattendedSwitches) {
  Parse("/Q /T \"C:\\Program Files\\Acme\" /L C:\\logs\\setup.log /R");
  EXPECT_TRUE(g_setup.quietSwitch);
  EXPECT_STREQ(g_setup.targetFolder, "C:\\Program Files\\Acme");
  EXPECT_STREQ(g_setup.logPath, "C:\\logs\\setup.log");
  EXPECT_TRUE(R());
  Reset();
  Parse("-q -tC:\\Apps /Lx.log");
  EXPECT_TRUE(g_setup.quietSwitch);
  EXPECT_STREQ(g_setup.targetFolder, "C:\\Apps");
  EXPECT_STREQ(g_setup.logPath, "x.log");
  Reset();
  Parse("/QUIET /T x /R");  // letters after Q: not /Q; /T x /R still sets /R
  EXPECT_FALSE(g_setup.quietSwitch);
  EXPECT_STREQ(g_setup.targetFolder, "x");
  EXPECT_TRUE(R());
  Reset();
  // A path that does not fit is not taken cut: it would name another folder.
  std::string longFolder(300, 'f');
  Parse(("/T \"" + longFolder + "\" /L " + longFolder + " /R").c_str());
  EXPECT_STREQ(g_setup.targetFolder, "");
  EXPECT_STREQ(g_setup.logPath, "");
  EXPECT_TRUE(g_setup.switchTooLong);
  EXPECT_TRUE(R());
  Reset();
  Parse(("/T \"" + longFolder.substr(0, 259) + "\"").c_str());
  EXPECT_EQ(std::string(g_setup.targetFolder), longFolder.substr(0, 259));
  EXPECT_FALSE(g_setup.switchTooLong);
}
