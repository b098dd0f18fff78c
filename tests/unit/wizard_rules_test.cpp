// The wizard's rules that need no window: the page that follows, and the
// framed-mode window title with its cut.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "common/controls.h"
#include "wizard/document_opener.h"
#include "wizard/navigation.h"
#include "wizard/window_title.h"

TEST(Navigation, ResultsLeadToTheirPages) {
  struct Case {
    int index, result, next;
  } cases[] = {
      {0, kResultNext, 1},   {5, kResultNext, 6},    {6, kResultNext, -1},   // past the closing page it ends
      {2, kResultCancel, 6}, {5, kResultCancel, 6},  {6, kResultCancel, -1},  // finishing and cancelling close
      {3, kResultBack, 2},   {0, kResultBack, 0},                             // Back on the first page stays
      {4, 3, 4},             {6, 1006, 6},                                    // any other result: the same page
      {-1, kResultNext, 0},                                                   // JumpToPage(0)
  };
  for (const Case& c : cases) EXPECT_EQ(NextPageIndex(c.index, c.result), c.next) << c.index << " / " << c.result;
}

TEST(WindowTitle, TitleDashCaptionCutToTheBuffer) {
  char text[1024];
  ComposeWindowTitle(text, sizeof text, "Acme 1.0 Setup", "Ready to Install");
  EXPECT_STREQ(text, "Acme 1.0 Setup - Ready to Install");

  // A title and caption longer than the buffer: cut to 1,023 characters and
  // terminated, and nothing written behind the buffer.
  char guarded[1024 + 16];
  memset(guarded, 'G', sizeof guarded);
  std::string title(1000, 't'), caption(300, 'c');
  ComposeWindowTitle(guarded, 1024, title.c_str(), caption.c_str());
  EXPECT_EQ(strlen(guarded), 1023u);
  EXPECT_EQ(std::string(guarded, 1003), title + " - ");
  for (size_t i = 1024; i < sizeof guarded; ++i) ASSERT_EQ(guarded[i], 'G');
}

TEST(OpenCommand, PlaceholderAndWhatFollowsBecomeTheTarget) {
  struct Case {
    const char* registered;
    const char* target;
    const char* command;
  } cases[] = {
      {"C:\\Viewer\\view.exe \"%1\"", "C:\\doc.htm", "C:\\Viewer\\view.exe  C:\\doc.htm"},
      {"C:\\Viewer\\view.exe %1", "C:\\doc.htm", "C:\\Viewer\\view.exe  C:\\doc.htm"},
      {"C:\\Viewer\\view.exe", "C:\\doc.htm", "C:\\Viewer\\view.exe C:\\doc.htm"},
      {"C:\\Viewer\\view.exe \"%1\" /dde /x", "C:\\doc.htm", "C:\\Viewer\\view.exe  C:\\doc.htm"},
      // A target with spaces is quoted, so it stays one argument.
      {"view.exe %1", "C:\\My Documents\\read me.txt", "view.exe  \"C:\\My Documents\\read me.txt\""},
  };
  for (const Case& c : cases) {
    char command[520];
    strcpy(command, c.registered);
    ASSERT_TRUE(OpenCommandFor(command, sizeof command, c.target)) << c.registered;
    EXPECT_STREQ(command, c.command);
  }
  char small[24] = "view.exe %1";
  EXPECT_FALSE(OpenCommandFor(small, sizeof small, "C:\\a-long-target.txt"));  // never cut into another file
}
