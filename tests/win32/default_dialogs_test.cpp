// The builder's default dialogs, created by the real dialog manager the way
// the stub creates them: from a copy in a 16,384-byte movable block, the
// frame as a child of a top-level window, each page as a child of the frame,
// and the folder browser as the template of the old-style save dialog.
// templates.rc is linked into this program, so dialog 100 + n is template n.
#include <windows.h>
#include <commdlg.h>
#include <dlgs.h>
#include <gtest/gtest.h>

#include <string.h>

#include <initializer_list>

namespace {

constexpr SIZE_T kBlockSize = 16384;

// A template copied into its own block, as the stub's template loader does.
class TemplateBlock {
 public:
  explicit TemplateBlock(int number) {
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(100 + number), MAKEINTRESOURCEA(5));
    if (!found) return;
    DWORD size = SizeofResource(nullptr, found);
    const void* bytes = LockResource(LoadResource(nullptr, found));
    if (!bytes || size > kBlockSize) return;
    memory_ = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kBlockSize);
    data_ = memory_ ? GlobalLock(memory_) : nullptr;
    if (data_) memcpy(data_, bytes, size);
  }
  ~TemplateBlock() {
    if (data_) GlobalUnlock(memory_);
    if (memory_) GlobalFree(memory_);
  }
  LPCDLGTEMPLATEA get() const { return static_cast<LPCDLGTEMPLATEA>(data_); }

 private:
  HGLOBAL memory_ = nullptr;
  void* data_ = nullptr;
};

INT_PTR CALLBACK QuietProc(HWND, UINT message, WPARAM, LPARAM) { return message == WM_INITDIALOG; }

class DefaultDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    owner_ = CreateWindowExA(0, "STATIC", "owner", WS_OVERLAPPEDWINDOW, 0, 0, 800, 600, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(owner_, nullptr);
  }
  void TearDown() override { DestroyWindow(owner_); }

  HWND Create(int number, HWND parent) {
    TemplateBlock block(number);
    if (!block.get()) return nullptr;
    return CreateDialogIndirectParamA(GetModuleHandleA(nullptr), block.get(), parent, QuietProc, 0);
  }

  // A child's rectangle in its parent's client co-ordinates.
  static RECT ChildRect(HWND parent, int id) {
    RECT r = {};
    GetWindowRect(GetDlgItem(parent, id), &r);
    MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
    return r;
  }

  HWND owner_ = nullptr;
};

TEST_F(DefaultDialogs, FramesCarryTheirControlsAndHideTheDrawnAreas) {
  for (int frameTemplate : {0, 1}) {
    SCOPED_TRACE(frameTemplate);
    HWND frame = Create(frameTemplate, owner_);
    ASSERT_NE(frame, nullptr);
    EXPECT_TRUE(GetWindowLongA(frame, GWL_STYLE) & WS_CHILD);
    for (int id : {1, 2, 1007}) {
      HWND button = GetDlgItem(frame, id);
      ASSERT_NE(button, nullptr) << id;
      EXPECT_TRUE(GetWindowLongA(button, GWL_STYLE) & WS_VISIBLE) << id;
    }
    for (int id : {1006, 1011, 1012}) {
      HWND area = GetDlgItem(frame, id);
      ASSERT_NE(area, nullptr) << id;
      EXPECT_FALSE(GetWindowLongA(area, GWL_STYLE) & WS_VISIBLE) << id;
    }
    DestroyWindow(frame);
  }
}

TEST_F(DefaultDialogs, PagesAreCreatedInsideTheFrameAndFitThePlaceholder) {
  struct Page {
    int number;
    std::initializer_list<int> controls;
  };
  const Page pages[] = {
      {2, {1000, 1001, 1002, 1003, 1004, 1005, 1016, 1017, 1018, 1019}},
      {3, {1000, 1001, 1002}},
      {4, {1000, 1001, 1002, 1003, 1008, 1009, 1010}},
      {5, {1000, 1001, 1002, 1003}},
      {6, {1000, 1001, 1002, 1003, 1014, 1015}},
      {8, {1005, 1006}},
  };
  HWND frame = Create(0, owner_);
  ASSERT_NE(frame, nullptr);
  RECT placeholder = ChildRect(frame, 1006);
  for (const Page& page : pages) {
    SCOPED_TRACE(page.number);
    HWND window = Create(page.number, frame);
    ASSERT_NE(window, nullptr);
    LONG style = GetWindowLongA(window, GWL_STYLE);
    EXPECT_TRUE(style & WS_CHILD);
    EXPECT_TRUE(style & WS_VISIBLE);   // the stub never shows a page itself
    RECT r;
    GetWindowRect(window, &r);
    EXPECT_LE(r.right - r.left, placeholder.right - placeholder.left);
    EXPECT_LE(r.bottom - r.top, placeholder.bottom - placeholder.top);
    for (int id : page.controls) EXPECT_NE(GetDlgItem(window, id), nullptr) << id;
    DestroyWindow(window);
  }
  DestroyWindow(frame);
}

// The folder browser as the stub runs it: old-style dialog, template handle,
// hook. The hook checks the dialog it got and ends it the stub's way.
struct BrowserRun {
  bool initialised = false;
  bool controlsPresent = false;
  int folders = -1;
};
BrowserRun g_run;

UINT_PTR CALLBACK BrowserHook(HWND dialog, UINT message, WPARAM, LPARAM) {
  if (message != WM_INITDIALOG) return 0;
  g_run.initialised = true;
  g_run.controlsPresent = true;
  for (int id : {1, 2, 101, 1009, 1091, lst1, lst2, cmb1, cmb2, edt1, stc1, stc2, stc3, stc4, chx1})
    g_run.controlsPresent &= GetDlgItem(dialog, id) != nullptr;
  g_run.folders = static_cast<int>(SendDlgItemMessageA(dialog, lst2, LB_GETCOUNT, 0, 0));
  PostMessageA(dialog, WM_COMMAND, IDABORT, 1);
  return 1;
}

TEST_F(DefaultDialogs, FolderBrowserRunsAsTheOldStyleSaveDialogsTemplate) {
  TemplateBlock block(7);
  ASSERT_NE(block.get(), nullptr);
  char folder[MAX_PATH] = "C:\\";
  char file[MAX_PATH] = "";
  OPENFILENAMEA ofn = {};
  // The stub's 32-bit build uses the 76-byte structure; its 64-bit size differs.
  ofn.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
  ofn.hwndOwner = owner_;
  ofn.hInstance = reinterpret_cast<HINSTANCE>(const_cast<DLGTEMPLATE*>(block.get()));
  ofn.lpstrFilter = "*.*\0*.*\0";
  ofn.nFilterIndex = 1;
  ofn.lpstrFile = file;
  ofn.nMaxFile = MAX_PATH;
  ofn.lpstrInitialDir = folder;
  ofn.Flags = OFN_ENABLEHOOK | OFN_ENABLETEMPLATEHANDLE;
  ofn.lpfnHook = BrowserHook;
  g_run = BrowserRun();
  BOOL result = GetSaveFileNameA(&ofn);
  EXPECT_EQ(CommDlgExtendedError(), 0u);
  EXPECT_TRUE(g_run.initialised);
  EXPECT_TRUE(g_run.controlsPresent);
  EXPECT_GT(g_run.folders, 0);   // the dialog listed the folders of the drive root
  EXPECT_EQ(result, TRUE);       // IDABORT with 1 ends it as confirmed
}

}  // namespace
