#include "package/messages.h"

#include <windows.h>

#include "wizard/wizard_state.h"

int ShowMessage(const char* text, unsigned style) {
  // While the package loads neither window exists yet, so early messages have
  // no owner.
  HWND owner = g_wizard.frameDialog ? g_wizard.frameDialog : g_wizard.backgroundWindow;
  return MessageBoxA(owner, text, GetGroupString(6, 0), style);
}
