// The wizard's members of the process-wide setup state. Zero until the wizard
// creates its windows; the stub runs no static constructors, so this stays a
// plain aggregate.
#pragma once

#include <windows.h>

struct WizardState {
  HWND backgroundWindow;
  HWND frameDialog;
};

extern WizardState g_wizard;
