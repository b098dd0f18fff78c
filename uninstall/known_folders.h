// The folders outside the destination folder that a setup writes to: the
// Windows, system and fonts folders, the desktop, the Start menu and its
// Programs and Startup folders. A recorded file may lie only there or below
// the destination folder; a recorded shortcut only in the three menu folders.
#pragma once

#include <stdint.h>

constexpr unsigned kFileFolders = 0x7F;       // all seven
constexpr unsigned kShortcutFolders = 0x70;   // Start menu, Programs, Startup

void ReadKnownFolders();

// The innermost folder of the set that holds the path (the path may also be
// the folder itself), or null.
const char* KnownFolderHolding(const char* path, unsigned set);

// Removes the folder and then its parents, while they are empty, up to but
// not including `root`.
void RemoveEmptyFoldersUpTo(const char* folder, const char* root);

// Has the folder and its parents up to and including `root` removed at the
// next restart, each if it is empty by then: the folders of a file that waits
// for the restart go with it.
void RemoveFoldersAtRestart(const char* folder, const char* root);
