// The page runner's templates and the frame dialog over hand-made template
// records: what LoadTemplate copies, a missing page template passing the
// page over as Next, a page result ending RunPage, and a frame template that
// cannot be made leaving no wizard behind.
#include <windows.h>

#include <gtest/gtest.h>

#include <string.h>

#include <vector>

#include "common/controls.h"
#include "common/setup_state.h"
#include "package/format.h"
#include "wizard/main_window.h"
#include "wizard/page_runner.h"
#include "wizard/wizard_state.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutU16(Bytes* b, uint16_t v) { b->insert(b->end(), {uint8_t(v), uint8_t(v >> 8)}); }
void PutU32(Bytes* b, uint32_t v) { PutU16(b, uint16_t(v)), PutU16(b, uint16_t(v >> 16)); }
void PutWide(Bytes* b, const char* text) {
  do PutU16(b, uint8_t(*text)); while (*text++);
}
void AlignTo4(Bytes* b) {
  while (b->size() % 4) b->push_back(0);
}

// A dialog template of the plain kind, with one control of the given class
// when `controlClass` is not null.
Bytes DialogTemplate(DWORD style, const char* controlClass) {
  Bytes t;
  PutU32(&t, style | DS_SETFONT);
  PutU32(&t, 0);                      // extended style
  PutU16(&t, controlClass ? 1 : 0);   // controls
  for (int v : {0, 0, 200, 100}) PutU16(&t, uint16_t(v));
  PutU16(&t, 0), PutU16(&t, 0);       // no menu, the default class
  PutWide(&t, "");                    // title
  PutU16(&t, 8), PutWide(&t, "MS Shell Dlg");
  if (controlClass) {
    AlignTo4(&t);
    PutU32(&t, WS_CHILD | WS_VISIBLE);
    PutU32(&t, 0);
    for (int v : {0, 0, 50, 14}) PutU16(&t, uint16_t(v));
    PutU16(&t, 1000);
    PutWide(&t, controlClass);
    PutWide(&t, "");
    PutU16(&t, 0);                    // no creation data
  }
  return t;
}

// A template record: nine offsets, then the templates in order.
Bytes TemplateRecord(const std::vector<Bytes>& templates) {
  Bytes record(4 * format::kTemplateCount, 0);
  for (size_t n = 0; n < templates.size(); ++n) {
    format::WriteU32(&record[4 * n], static_cast<uint32_t>(record.size()));
    record.insert(record.end(), templates[n].begin(), templates[n].end());
  }
  for (size_t n = templates.size(); n < format::kTemplateCount; ++n)
    format::WriteU32(&record[4 * n], 0xFFFFFFFFu);  // outside the record: no template
  return record;
}

INT_PTR CALLBACK EndsWithBack(HWND, UINT message, WPARAM, LPARAM) {
  if (message == WM_INITDIALOG) g_setup.pageResult = kResultBack;
  return FALSE;
}

class Wizard : public ::testing::Test {
 protected:
  void SetUp() override {
    g_setup.instance = GetModuleHandleA(nullptr);
    g_setup.screenWidth = 1024;
    g_setup.screenHeight = 768;
    g_setup.package.flags = 0;
    static bool registered = RegisterBackgroundClass();
    ASSERT_TRUE(registered);
  }
  void TearDown() override {
    DestroyFrameDialog();
    if (g_setup.backgroundWindow) DestroyWindow(static_cast<HWND>(g_setup.backgroundWindow));
    g_setup.backgroundWindow = nullptr;
    g_setup.package.templates = nullptr;
    g_setup.package.templatesSize = 0;
  }
  void Use(Bytes* record) {
    g_setup.package.templates = record->data();
    g_setup.package.templatesSize = static_cast<uint32_t>(record->size());
  }
};

TEST_F(Wizard, LoadTemplateCopiesToTheRecordsEndWithinTheBlock) {
  Bytes record(4 * format::kTemplateCount + 400, 0x5A);
  for (int n = 0; n < format::kTemplateCount; ++n) format::WriteU32(&record[4 * n], 0xFFFFFFFFu);
  format::WriteU32(&record[4 * 2], static_cast<uint32_t>(record.size() - 100));
  Use(&record);
  uint8_t* block = static_cast<uint8_t*>(LoadTemplate(2));
  ASSERT_NE(block, nullptr);
  for (size_t i = 0; i < format::kTemplateBlockSize; ++i) ASSERT_EQ(block[i], i < 100 ? 0x5A : 0) << i;
  FreeTemplate(block);

  EXPECT_EQ(LoadTemplate(3), nullptr);   // its offset lies outside the record
  EXPECT_EQ(LoadTemplate(200), nullptr); // no entry in the offset table

  // A template longer than the block is cut to 16,384 bytes.
  Bytes big(4 * format::kTemplateCount + 20000, 0x33);
  format::WriteU32(&big[0], 4 * format::kTemplateCount);
  Use(&big);
  block = static_cast<uint8_t*>(LoadTemplate(0));
  ASSERT_NE(block, nullptr);
  EXPECT_EQ(block[format::kTemplateBlockSize - 1], 0x33);
  FreeTemplate(block);

  g_setup.package.templates = nullptr;
  EXPECT_EQ(LoadTemplate(0), nullptr);   // no template record at all
}

TEST_F(Wizard, PagesRunInsideTheFrameDialog) {
  Bytes record = TemplateRecord({DialogTemplate(WS_CHILD | WS_VISIBLE, nullptr),
                                 DialogTemplate(WS_CHILD | WS_VISIBLE | WS_CAPTION, nullptr),
                                 DialogTemplate(WS_CHILD | DS_CONTROL, nullptr)});
  Use(&record);
  ASSERT_TRUE(CreateBackgroundWindow());
  ASSERT_TRUE(CreateFrameDialog());
  ASSERT_NE(g_setup.frameDialog, nullptr);
  // A page that ends while it starts: RunPage returns its result at once.
  EXPECT_EQ(RunPage(2, EndsWithBack, 0), kResultBack);
  // A template the package lacks passes the page over as Next.
  EXPECT_EQ(RunPage(3, EndsWithBack, 0), kResultNext);
}

TEST_F(Wizard, AFrameTemplateThatCannotBeMadeLeavesNoWizard) {
  Bytes record = TemplateRecord({DialogTemplate(WS_CHILD | WS_VISIBLE, "NoSuchWindowClass")});
  Use(&record);
  ASSERT_TRUE(CreateBackgroundWindow());
  EXPECT_FALSE(CreateFrameDialog());
  EXPECT_EQ(g_setup.frameDialog, nullptr);
  EXPECT_EQ(g_wizard.frameTemplate, nullptr);
  EXPECT_FALSE(IsWindowVisible(static_cast<HWND>(g_setup.backgroundWindow)));
}

}  // namespace
