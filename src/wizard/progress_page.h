// The progress page runs the installation: one step per timer tick, the file
// being installed and a block bar that it draws itself.
#pragma once

#include <windows.h>

struct ProgressState {
  HWND page;            // the progress page while it shows
  unsigned percentage;  // 0 to 100, kept for the run
  UINT_PTR timer;       // nonzero while the step timer runs
  bool cancelPending;   // the cancel question is open or was confirmed
};

extern ProgressState g_progress;

// Shows the destination path being installed, shortened to 30 characters.
void ShowCurrentFile(const char* path);
// Stores the percentage (at most 100) and redraws the bar.
void SetPercentage(unsigned percentage);
// Draws the bar over control 1009, off-screen first; without a device
// context one is taken for the page.
void DrawProgressBar(HWND page, HDC dc);
