// The driver's script words: quoting, options and the cases where a text must
// not be taken for an option.
#include <gtest/gtest.h>

#include "script.h"

namespace {

std::vector<std::string> Texts(const std::string& line) {
  std::vector<Word> words;
  std::string error;
  EXPECT_TRUE(SplitWords(line, &words, &error)) << error;
  std::vector<std::string> texts;
  for (const Word& w : words) texts.push_back(w.text);
  return texts;
}

TEST(DriverScript, SplitsOnBlanksAndKeepsQuotedBlanks) {
  EXPECT_EQ(Texts("click  1\t2"), (std::vector<std::string>{"click", "1", "2"}));
  EXPECT_EQ(Texts("settext 1001 \"C:\\Program Files\\Q\""),
            (std::vector<std::string>{"settext", "1001", "C:\\Program Files\\Q"}));
  EXPECT_EQ(Texts("window title=\"Driver Target - Welcome\""),
            (std::vector<std::string>{"window", "title=Driver Target - Welcome"}));
  EXPECT_EQ(Texts("expect 1000 \"\""), (std::vector<std::string>{"expect", "1000", ""}));
}

TEST(DriverScript, DoubledQuoteInsideQuotesIsOneQuote) {
  EXPECT_EQ(Texts("echo \"say \"\"hi\"\"\""), (std::vector<std::string>{"echo", "say \"hi\""}));
}

TEST(DriverScript, CommentsAndLineEndsAreIgnored) {
  EXPECT_EQ(Texts("click 1 # Next\r\n"), (std::vector<std::string>{"click", "1"}));
  EXPECT_TRUE(Texts("   # only a comment").empty());
  EXPECT_EQ(Texts("echo \"# not a comment\""), (std::vector<std::string>{"echo", "# not a comment"}));
}

TEST(DriverScript, AnOpenQuoteIsAnError) {
  std::vector<Word> words;
  std::string error;
  EXPECT_FALSE(SplitWords("echo \"unfinished", &words, &error));
  EXPECT_FALSE(error.empty());
  Command command;
  EXPECT_FALSE(ParseCommand("settext 1001 \"C:\\x", &command, &error));
}

TEST(DriverScript, OptionsAreLowerCaseKeysOutsideQuotes) {
  Command command;
  std::string error;
  ASSERT_TRUE(ParseCommand("msgbox IDYES title=Setup timeout=2.5", &command, &error));
  EXPECT_EQ(command.name, "msgbox");
  EXPECT_EQ(command.args, (std::vector<std::string>{"IDYES"}));
  EXPECT_EQ(command.options["title"], "Setup");
  EXPECT_EQ(command.options["timeout"], "2.5");

  // Texts that merely contain '=' stay texts.
  ASSERT_TRUE(ParseCommand("settext 1001 \"a=b\" X=1 =c", &command, &error));
  EXPECT_EQ(command.args, (std::vector<std::string>{"1001", "a=b", "X=1", "=c"}));
  EXPECT_TRUE(command.options.empty());
}

TEST(DriverScript, EmptyLineGivesNoCommand) {
  Command command;
  std::string error;
  ASSERT_TRUE(ParseCommand("", &command, &error));
  EXPECT_TRUE(command.name.empty());
  ASSERT_TRUE(ParseCommand("  # note\r", &command, &error));
  EXPECT_TRUE(command.name.empty());
}

TEST(DriverScript, SourceKeepsTheLineWithoutItsEnd) {
  Command command;
  std::string error;
  ASSERT_TRUE(ParseCommand("click 1 timeout=3\r\n", &command, &error));
  EXPECT_EQ(command.source, "click 1 timeout=3");
}

}  // namespace
