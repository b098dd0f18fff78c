// The wizard's own members of the process-wide setup state (the windows and
// the page result, which lower floors read too, live in g_setup). Zero until
// the wizard makes its windows; the stub runs no static constructors, so this
// stays a plain aggregate.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "common/setup_state.h"
#include "package/format.h"

struct WizardState {
  void* frameTemplate;      // template 0 or 1, kept while the frame dialog lives
  int centreX;              // screen centre, set with the background window
  int centreY;
  int pageIndex;            // page being shown, 0 to 6; -1 when the sequence ended
  HWND currentPage;         // the page dialog; the frame forwards commands to it
  uint32_t buttonState;     // of the current page
  HBRUSH dialogBrush;       // shared by every page; COLOR_BTNFACE
  bool dialogBrushCreated;  // false when the stock brush stands in
  HFONT dialogFont;         // made on first use from the frame dialog's font
  HWND savedFocus;          // inside the frame dialog, when the program lost activation
};

extern WizardState g_wizard;

inline HWND FrameDialog() { return static_cast<HWND>(g_setup.frameDialog); }
inline HWND BackgroundWindow() { return static_cast<HWND>(g_setup.backgroundWindow); }
inline bool BackgroundMode() { return (g_setup.package.flags & format::kFlagBackgroundMode) != 0; }
