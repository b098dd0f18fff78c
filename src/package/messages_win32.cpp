#include "package/messages.h"

#include <windows.h>

#include "common/setup_state.h"

int ShowMessage(const char* text, unsigned style) {
  // An unattended run shows nothing; its log keeps what would have shown.
  if (g_setup.quietSwitch) {
    if (g_setup.logMessage) g_setup.logMessage(text, 0);
    return IDOK;
  }
  // While the package loads neither window exists yet, so early messages have
  // no owner.
  HWND owner = static_cast<HWND>(g_setup.frameDialog ? g_setup.frameDialog : g_setup.backgroundWindow);
  return MessageBoxA(owner, text, GetGroupString(6, 0), style);
}

// The safe answers of an unattended run: make a missing folder, go on over
// read-only files, keep newer files and files of another language, and stop
// when the disk looks too small or a volume is missing.
static int QuietAnswer(Question question) {
  switch (question) {
    case kAskCreateFolder:
    case kAskReadOnlyTargets:
    case kAskGiveUpVolume:
      return IDYES;
    case kAskInsertVolume:
      return IDCANCEL;
    default:
      return IDNO;
  }
}

int AskQuestion(Question question, const char* text, unsigned style) {
  if (g_setup.quietSwitch) {
    int answer = QuietAnswer(question);
    if (g_setup.logMessage) g_setup.logMessage(text, answer);
    return answer;
  }
  return ShowMessage(text, style);
}
