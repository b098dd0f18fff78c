// The two windows that live for the whole wizard: the background window, the
// program's main window, and the frame dialog inside it with the navigation
// buttons, the side bitmap and the place of the pages.
#pragma once

#include <windows.h>

// Name of the background window's class; a second instance finds the first by it.
extern const char kBackgroundClassName[];

// The background window's style in framed mode, which the frame dialog's size
// is grown by to fit the window around it.
constexpr DWORD kFramedWindowStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;

bool RegisterBackgroundClass();

// Covers the screen; in framed mode it shrinks around the frame dialog later.
bool CreateBackgroundWindow();

// Makes the frame dialog from template 1 (background mode) or 0 (framed),
// fits the background window around it in framed mode and shows the windows.
// False when the dialog cannot be made: then no wizard runs.
bool CreateFrameDialog();
void DestroyFrameDialog();

// Closing the window (Alt+F4, the close box, the system menu) leads to the
// closing page without a question, except while files are installed: then it
// asks the progress page's cancel question.
void CloseWizard();

LRESULT CALLBACK BackgroundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FrameDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
