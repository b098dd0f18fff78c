// Shortcuts of installed files: on the desktop, made during the install loop,
// and in the Start menu, made by the menu shortcut pass at the end, which
// also records them in the uninstall data.
#pragma once

#include <stdint.h>

#include "common/file_io.h"

// Makes a shortcut file through the shell's link object; the working folder
// is the target's. Returns the result of the last shell call.
long CreateShortcut(const char* target, const char* shortcutPath, const char* arguments, int iconIndex);

// The entry's desktop shortcut (string 4) to its destination, if it names one.
void CreateDesktopShortcut(const uint8_t* entry, const char* target);

// The desktop shortcut's path (desktop folder, name, ".lnk") in a 260-byte
// buffer. False when the entry names none, the desktop folder cannot be had
// or the path would not fit.
bool DesktopShortcutPath(const uint8_t* entry, char* path);

// Makes every menu shortcut of the file list; with a file, appends the
// shortcut record of the uninstall data to it.
void MenuShortcutPass(FileHandle uninstallData);

// Writes a u16 length and the text without its NUL.
bool WriteCounted(FileHandle file, const char* text, uint32_t length);
