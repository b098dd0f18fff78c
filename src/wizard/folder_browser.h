// The folder browser: the system's old-style save dialog with the package's
// template 7, where the user moves through folders or types one; no file
// name is needed.
#pragma once

#include <windows.h>

// Non-zero when the user confirmed a folder, which is then in the 260-byte
// buffer.
BOOL BrowseForFolder(HWND owner, char* folder);
UINT_PTR CALLBACK FolderBrowserHook(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
