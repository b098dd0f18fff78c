// The WININIT.INI patch that turns a stand-in line into a deletion line.
#include <gtest/gtest.h>

#include <string>

#include "install/wininit.h"

namespace {

bool Mark(std::string& text, const char* shortPath) {
  return MarkWininitDeletion(&text[0], static_cast<uint32_t>(text.size()), shortPath);
}

TEST(WininitPatch, TurnsTheStandInLineIntoADeletion) {
  std::string text =
      "[boot]\r\nxyz=C:\\KEEP\\ME.TXT\r\n[Rename]\r\nC:\\APP\\OLD.DLL=C:\\APP\\OLD.$$A\r\n"
      "NUL=C:\\TEMP\\FIRST.EXE\r\nxyz=C:\\TEMP\\SECOND.EXE\r\n";
  // The first line of the right path is patched, wherever the section is.
  EXPECT_TRUE(Mark(text, "C:\\TEMP\\SECOND.EXE"));
  EXPECT_EQ(text,
            "[boot]\r\nxyz=C:\\KEEP\\ME.TXT\r\n[Rename]\r\nC:\\APP\\OLD.DLL=C:\\APP\\OLD.$$A\r\n"
            "NUL=C:\\TEMP\\FIRST.EXE\r\nNUL=C:\\TEMP\\SECOND.EXE\r\n");
  // Two deletions queued one after the other end as two NUL lines.
  text += "xyz=C:\\TEMP\\THIRD.EXE";
  EXPECT_TRUE(Mark(text, "C:\\TEMP\\THIRD.EXE"));
  EXPECT_NE(text.find("NUL=C:\\TEMP\\SECOND.EXE\r\nNUL=C:\\TEMP\\THIRD.EXE"), std::string::npos);
}

TEST(WininitPatch, LeavesEverythingElseAlone) {
  const std::string original =
      "[Rename]\r\nxyz=C:\\TEMP\\A.EXE.BAK\r\nAxyz=C:\\TEMP\\A.EXE\r\nC:\\XYZ=C:\\TEMP\\A.EXE\n xyz=C:\\TEMP\\A.EXE\r\n"
      "xyz=C:\\TEMP\\A.EX";
  std::string text = original;
  // A longer path that begins with it, a key that ends in xyz, a line that
  // only contains it, and a cut-off line at the end of the buffer: none is it.
  EXPECT_FALSE(Mark(text, "C:\\TEMP\\A.EXE"));
  EXPECT_EQ(text, original);
  std::string empty;
  EXPECT_FALSE(Mark(empty, "C:\\A"));
  std::string exact = "xyz=C:\\A";
  EXPECT_TRUE(Mark(exact, "C:\\A"));
  EXPECT_EQ(exact, "NUL=C:\\A");
}

}  // namespace
