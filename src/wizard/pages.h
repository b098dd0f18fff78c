// The dialog procedures of the seven wizard pages, in page order.
#pragma once

#include <windows.h>

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK InformationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DestinationPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ReadyPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ProgressPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK ClosingPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);

// True when string group 1 has the information text: only then is the
// information page shown, going forward and back.
bool HasInformationPage();

// Opens the installed file to view at the end with its associated program,
// if there is one and the file is there.
void ViewFile();
