#pragma once

#include <windows.h>

// Name of the background window's class; a second instance finds the first by it.
extern const char kBackgroundClassName[];

bool RegisterBackgroundClass();
LRESULT CALLBACK BackgroundWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
