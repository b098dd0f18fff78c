// The one message box: its owner follows the wizard's windows, its caption is
// the program title of string group 6, and it returns the button pressed.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/setup_state.h"
#include "package/messages.h"

namespace {

const char kTitle[] = "Quorin Message Test";

// What the answering thread saw of the box it closed.
struct SeenBox {
  HWND owner;
  std::string text;
  bool found;
};

struct Answer {
  WPARAM button;
  DWORD boxThread;
  SeenBox seen;
};

BOOL CALLBACK CloseAnyBox(HWND window, LPARAM) {
  char className[16] = "";
  GetClassNameA(window, className, sizeof(className));
  if (lstrcmpA(className, "#32770") == 0) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
  return TRUE;
}

// Waits for the box with the test's caption, notes its owner and text, and
// presses the given button. A box under another caption is still closed, so
// that a failing test ends instead of waiting for a user.
DWORD WINAPI AnswerBox(void* parameter) {
  Answer* answer = static_cast<Answer*>(parameter);
  for (int tries = 0; tries < 200; ++tries) {
    HWND box = FindWindowA("#32770", kTitle);
    if (box) {
      answer->seen.found = true;
      answer->seen.owner = GetWindow(box, GW_OWNER);
      char text[256] = "";
      GetDlgItemTextA(box, 0xFFFF, text, sizeof(text));
      answer->seen.text = text;
      PostMessageA(box, WM_COMMAND, answer->button, 0);
      return 0;
    }
    Sleep(50);
  }
  EnumThreadWindows(answer->boxThread, CloseAnyBox, 0);
  return 1;
}

class Messages : public ::testing::Test {
 protected:
  void SetUp() override {
    // Group 6: entry 0 is the program title.
    std::string title = kTitle;
    group_ = {1, 0};
    group_.insert(group_.end(), title.begin(), title.end());
    group_.push_back(0);
    g_setup.package.stringGroups[6] = group_.data();
    g_setup.package.stringGroupSizes[6] = static_cast<uint32_t>(group_.size());
    g_setup.backgroundWindow = nullptr;
    g_setup.frameDialog = nullptr;
  }

  void TearDown() override {
    g_setup.package.stringGroups[6] = nullptr;
    g_setup.package.stringGroupSizes[6] = 0;
    for (HWND window : windows_) DestroyWindow(window);
    g_setup.backgroundWindow = nullptr;
    g_setup.frameDialog = nullptr;
  }

  HWND MakeWindow(const char* name) {
    HWND window = CreateWindowExA(0, "STATIC", name, WS_OVERLAPPEDWINDOW, 0, 0, 200, 100, nullptr, nullptr,
                                  GetModuleHandleA(nullptr), nullptr);
    windows_.push_back(window);
    return window;
  }

  // Shows the box while another thread answers it.
  int ShowAndAnswer(const char* text, unsigned style, WPARAM button, SeenBox* seen) {
    Answer answer = {button, GetCurrentThreadId(), {nullptr, "", false}};
    HANDLE thread = CreateThread(nullptr, 0, AnswerBox, &answer, 0, nullptr);
    int result = ShowMessage(text, style);
    WaitForSingleObject(thread, 15000);
    CloseHandle(thread);
    *seen = answer.seen;
    return result;
  }

  std::vector<uint8_t> group_;
  std::vector<HWND> windows_;
};

TEST_F(Messages, WithoutWizardWindowsTheBoxHasNoOwner) {
  SeenBox seen;
  EXPECT_EQ(ShowAndAnswer("The package is incomplete.", MB_ICONINFORMATION, IDOK, &seen), IDOK);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, nullptr);
  EXPECT_EQ(seen.text, "The package is incomplete.");
}

TEST_F(Messages, OwnedByTheBackgroundWindowBeforeTheFrameDialog) {
  g_setup.backgroundWindow = MakeWindow("background");
  SeenBox seen;
  EXPECT_EQ(ShowAndAnswer("Cancel setup?", MB_YESNO | MB_ICONQUESTION, IDNO, &seen), IDNO);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, g_setup.backgroundWindow);
}

TEST_F(Messages, OwnedByTheFrameDialogWhileItExists) {
  g_setup.backgroundWindow = MakeWindow("background");
  g_setup.frameDialog = MakeWindow("frame");
  SeenBox seen;
  EXPECT_EQ(ShowAndAnswer("Replace it?", MB_YESNO | MB_ICONQUESTION | MB_DEFBUTTON2, IDYES, &seen), IDYES);
  ASSERT_TRUE(seen.found);
  EXPECT_EQ(seen.owner, g_setup.frameDialog);
  EXPECT_EQ(ShowAndAnswer("Insert disk 2.", MB_OKCANCEL | MB_ICONINFORMATION, IDCANCEL, &seen), IDCANCEL);
  EXPECT_EQ(seen.owner, g_setup.frameDialog);
}

}  // namespace
