#include "wizard/page_runner.h"

#include <string.h>

#include "common/controls.h"
#include "package/format.h"
#include "wizard/navigation.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"
#include "wizard/wizard_state.h"

using format::kTemplateBlockSize;

namespace {

struct PageEntry {
  int templateNumber;
  DLGPROC procedure;
};

const PageEntry kPageTable[kPageCount] = {
    {5, WelcomePageProc},  {3, InformationPageProc}, {2, DestinationPageProc}, {5, ReadyPageProc},
    {4, ProgressPageProc}, {6, FinishPageProc},      {8, ClosingPageProc},
};

}  // namespace

void* LoadTemplate(int number) {
  HGLOBAL handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, kTemplateBlockSize);
  uint8_t* block = handle ? static_cast<uint8_t*>(GlobalLock(handle)) : nullptr;
  if (!block) {
    if (handle) GlobalFree(handle);
    return nullptr;
  }
  const uint8_t* record = g_setup.package.templates;
  uint32_t size = g_setup.package.templatesSize;
  uint32_t entry = static_cast<uint32_t>(number) * 4;
  uint32_t offset = record && entry + 4 <= size ? format::ReadU32(record + entry) : size;
  if (offset >= size) {
    FreeTemplate(block);
    return nullptr;
  }
  uint32_t n = size - offset;
  memcpy(block, record + offset, n < kTemplateBlockSize ? n : kTemplateBlockSize);
  return block;
}

void FreeTemplate(void* block) {
  if (!block) return;
  HGLOBAL handle = GlobalHandle(block);
  GlobalUnlock(handle);
  GlobalFree(handle);
}

int RunPage(int templateNumber, DLGPROC procedure, LPARAM parameter) {
  g_setup.pageResult = kResultRunning;
  void* block = LoadTemplate(templateNumber);
  if (!block) return kResultNext;
  HWND page = CreateDialogIndirectParamA(static_cast<HINSTANCE>(g_setup.instance),
                                         static_cast<LPCDLGTEMPLATEA>(block), FrameDialog(), procedure, parameter);
  if (!page) {
    FreeTemplate(block);
    return kResultCancel;
  }
  FocusIntoFrame();
  MSG message;
  while (g_setup.pageResult == kResultRunning) {
    if (!GetMessageA(&message, nullptr, 0, 0)) {
      g_setup.pageResult = kResultCancel;
      break;
    }
    if (IsDialogMessageA(FrameDialog(), &message) || IsDialogMessageA(page, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  DestroyWindow(page);
  g_wizard.currentPage = nullptr;
  FreeTemplate(block);
  return g_setup.pageResult;
}

void JumpToPage(int page) {
  g_wizard.pageIndex = page - 1;
  g_setup.pageResult = kResultNext;
}

void PressButton(unsigned button) {
  if (button == kButtonBack) g_setup.pageResult = kResultBack;
  else if (button == kButtonNext) g_setup.pageResult = kResultNext;
  else if (button == kButtonCancel) g_setup.pageResult = kResultCancel;
}

bool SinglePageMode() { return g_setup.package.startPage != format::kNoStartPage; }

void RunPageSequence() {
  g_wizard.pageIndex = SinglePageMode() ? g_setup.package.startPage : static_cast<int>(kPageWelcome);
  for (;;) {
    const PageEntry& entry = kPageTable[g_wizard.pageIndex];
    int result = RunPage(entry.templateNumber, entry.procedure, 0);
    if (SinglePageMode()) return;
    int& index = g_wizard.pageIndex;
    index = NextPageIndex(index, result);
    if (index < 0) return;
  }
}
