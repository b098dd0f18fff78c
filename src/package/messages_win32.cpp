#include "package/messages.h"

#include <windows.h>

#include "common/setup_state.h"

int ShowMessage(const char* text, unsigned style) {
  // While the package loads neither window exists yet, so early messages have
  // no owner.
  HWND owner = static_cast<HWND>(g_setup.frameDialog ? g_setup.frameDialog : g_setup.backgroundWindow);
  return MessageBoxA(owner, text, GetGroupString(6, 0), style);
}

int AskQuestion(Question, const char* text, unsigned style) { return ShowMessage(text, style); }
