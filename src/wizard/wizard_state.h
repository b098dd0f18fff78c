// The wizard's members of the process-wide setup state. Zero until the wizard
// creates its windows; the stub runs no static constructors, so this stays a
// plain aggregate.
#pragma once

#include <windows.h>

struct WizardState {
  HWND backgroundWindow;
  HWND frameDialog;
  HBRUSH dialogBrush;       // shared by every page; COLOR_BTNFACE
  bool dialogBrushCreated;  // false when the stock brush stands in
  HFONT dialogFont;         // made on first use from the frame dialog's font
};

extern WizardState g_wizard;
