// Where things go: the destination folder chosen at start-up and the full
// destination path of each file entry. Every result lives in a 260-byte path
// buffer; nothing here reports to the user, a failed lookup only leaves an
// empty value and the next source takes over.
#pragma once

#include <windows.h>

#include <stdint.h>

#include "install/paths.h"

// The registry root of the remembered folder: 0 classes root, 1 current user,
// 2 local machine, 3 users, anything else current user.
HKEY LocationRootKey(uint32_t index);

// The folder a macro stands for, in a 260-byte buffer; empty for an unknown
// macro or a failed lookup.
void GetFolderMacroValue(FolderMacro macro, char* value);

// Rewrites a drive-letter path with the names its components are stored
// under on disk; a path that cannot be looked up stays as it is.
void ConvertToLongName(char* path);

// Chooses the destination folder once the package is loaded: a remembered
// folder that still exists (registry, then INI file), else the package's
// default with its leading folder macro expanded. A remembered value longer
// than 259 characters counts as absent. A remembered folder that passes is
// left as the current directory.
void ResolveDestinationFolder();

// Writes the entry's full destination path into work path B. Returns 1 for a
// shared system file whose existing copy is in use or read-only, else 0, and
// kDestinationTooLong when the path does not fit work path B: what it holds then is
// cut, fit to be shown but naming another file.
constexpr int kDestinationTooLong = -1;
int ResolveEntryDestination(const uint8_t* entry);
