// What every wizard page shares: placing the page in the frame dialog, its
// caption and texts from its string group, the navigation buttons' names and
// states, one dialog font and one background brush.
#pragma once

#include <windows.h>

#include <stdint.h>

// Called first by every page procedure on WM_INITDIALOG.
void InitPage(HWND page, uint32_t buttonState);

// Stores the button state and enables the frame's Back, Next and Cancel by
// bits 0 to 2; bit 8 lets Cancel end the wizard without its question.
void SetButtonState(uint32_t buttonState);

// Names one frame button from string group 7: selector 1 Back, 2 Next, 4 Cancel.
void SetButtonText(unsigned selector, int entry);

// Gives the direct children of the window the shared dialog font, which is
// made on first use from the window's own font at normal weight.
void ApplyDialogFont(HWND window);

// The answer of a dialog procedure for a message it leaves alone: the control
// colour messages of statics, buttons and the dialog get the shared brush.
INT_PTR CommonDialogHandler(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Tells the frame dialog, which forwards commands to the page first, that the
// page dealt with the command.
INT_PTR MarkHandled(HWND window);

// Return and Escape reach the frame dialog only from a window inside it. A
// page without a control that takes the focus leaves it nowhere, a button the
// page disabled loses it, and a closed message box hands it to the background
// window: then the frame's default button takes it, or Cancel, or Back.
void FocusIntoFrame();
