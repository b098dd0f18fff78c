// Looking at another program's windows from outside: finding top-level
// windows, message boxes and dialog controls, and reading their texts. Every
// message sent to the other program has a time limit, so a hung program makes
// the driver fail instead of hang.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct WindowFilter {
  std::string className;  // exact, empty = any
  std::string title;      // substring, empty = any
  bool hiddenToo = false;
};

// The text as the window's own procedure gives it (WM_GETTEXT). False when the
// window does not answer within the limit.
bool ReadWindowText(HWND window, std::string* text);
std::string ClassOf(HWND window);
int ControlId(HWND window);

std::vector<HWND> FindTopLevel(const WindowFilter& filter);

// A message box: a top-level dialog (#32770) holding its text in static
// control 0xFFFF and nothing but static texts and the standard buttons
// (IDOK to IDCONTINUE). The folder browser and other dialogs have further
// controls and so are not taken for one.
bool IsMessageBox(HWND window);
std::vector<HWND> FindMessageBoxes(const std::string& title);
std::string MessageBoxText(HWND box);

// Controls of a window: its descendants at any depth (a page is a child
// dialog of the frame dialog, itself a child of the main window), then those
// of the visible popups it owns that are not message boxes. Visible controls
// come before hidden ones.
std::vector<HWND> FindControlsById(HWND root, int id);
// Buttons and other controls by their text; '&' marks are ignored on both sides.
std::vector<HWND> FindControlsByText(HWND root, const std::string& text);

// One line per window: handle, class, id, visible/enabled flags and text.
void DescribeTree(HWND root, int depth, std::vector<std::string>* lines);
void DescribeDesktop(std::vector<std::string>* lines);
std::string Printable(const std::string& text);
