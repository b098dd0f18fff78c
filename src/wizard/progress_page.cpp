#include "wizard/progress_page.h"

#include "common/controls.h"
#include "common/memory.h"
#include "common/safe_format.h"
#include "common/setup_state.h"
#include "install/install_loop.h"
#include "install/install_state.h"
#include "package/format.h"
#include "package/messages.h"
#include "wizard/page_runner.h"
#include "wizard/page_setup.h"
#include "wizard/pages.h"
#include "wizard/shorten_path.h"

ProgressState g_progress;

namespace {

constexpr UINT_PTR kTimerId = 11;
constexpr UINT kFirstTick = 100;
constexpr UINT kNextTick = 50;
// With a pacing budget a tick goes on until the budget is spent and the next
// one follows as soon as the message loop has run.
constexpr UINT kPacedTick = 1;
constexpr size_t kShownPathLength = 30;

void StartTimer(UINT milliseconds) { g_progress.timer = SetTimer(g_progress.page, kTimerId, milliseconds, nullptr); }

void StopTimer() {
  if (g_progress.timer) KillTimer(g_progress.page, kTimerId);
  g_progress.timer = 0;
}

// The closing step, and the finish page.
void Finish() {
  FinishInstallation();
  if (!SinglePageMode()) JumpToPage(kPageFinish);
}

// One tick's work: one entry, or with a pacing budget as many as fit in it.
int InstallStep() {
  uint32_t budget = g_setup.package.pacingMs;
  DWORD start = GetTickCount();
  int more;
  do more = InstallNextFile();
  while (more && budget && GetTickCount() - start < budget);
  return more;
}

void InstallRest() {
  while (InstallNextFile()) {
  }
  Finish();
}

void OnTick() {
  if (!g_setup.run.running || g_progress.cancelPending) return;
  StopTimer();
  if (!InstallStep()) {
    Finish();
    return;
  }
  StartTimer(g_setup.package.pacingMs ? kPacedTick : kNextTick);
  if (!g_progress.timer) InstallRest();
}

void OnCancel() {
  g_progress.cancelPending = true;
  if (AskQuestion(kAskCancelInstallation, GetGroupString(kMessageGroup, 13), MB_YESNO | MB_ICONQUESTION) != IDYES) {
    g_progress.cancelPending = false;
    return;
  }
  ShowMessage(GetGroupString(kMessageGroup, 15), MB_ICONINFORMATION);
  g_setup.pageResult = kResultCancel;
  ClearFinishEntries();
}

void OnInit(HWND page) {
  g_progress.page = page;
  InitPage(page, kButtonCancel);
  SetButtonText(kButtonCancel, 5);
  g_install.hooks.showFile = ShowCurrentFile;
  g_install.hooks.setPercentage = SetPercentage;
  if (!BeginInstallation()) {
    // The setup file cannot be read: the finish page reports error 16.
    Finish();
    return;
  }
  g_progress.cancelPending = false;
  StartTimer(kFirstTick);
  if (!g_progress.timer) InstallRest();
}

}  // namespace

void ShowCurrentFile(const char* path) {
  char* text;
  if (!AllocZeroed(format::kPathBufferSize, &text)) return;
  CopyBounded(text, format::kPathBufferSize, path);
  ShortenPath(text, kShownPathLength);
  SetDlgItemTextA(g_progress.page, kIdCurrentFile, text);
  FreeBlock(text);
}

// Most files move the bar by less than a percent; redrawing the same blocks
// for each of them costs more than installing a small file.
void SetPercentage(unsigned percentage) {
  if (percentage > 100) percentage = 100;
  if (percentage == g_progress.percentage) return;
  g_progress.percentage = percentage;
  DrawProgressBar(g_progress.page, nullptr);
}

INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      OnInit(page);
      return TRUE;
    case WM_TIMER:
      OnTick();
      break;
    case WM_COMMAND:
      // In single-page mode Cancel is the frame dialog's, which ends at once.
      if (LOWORD(wParam) == kIdCancel && !SinglePageMode()) {
        OnCancel();
        return MarkHandled(page);
      }
      break;
    case WM_PAINT: {
      PAINTSTRUCT paint;
      HDC dc = BeginPaint(page, &paint);
      if (dc) DrawProgressBar(page, dc);
      EndPaint(page, &paint);
      break;
    }
    case WM_DESTROY:
      StopTimer();
      // A confirmed cancel skips the closing work; the setup file is let go.
      if (g_setup.run.running) AbandonInstallation();
      g_install.hooks.showFile = nullptr;
      g_install.hooks.setPercentage = nullptr;
      g_progress.page = nullptr;
      break;
  }
  return CommonDialogHandler(page, message, wParam, lParam);
}
