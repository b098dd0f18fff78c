// Path operations on 260-byte path buffers: ANSI text, at most 259 characters
// and the NUL. An operation whose result would not fit cuts it to the buffer,
// so a path buffer is never overrun whatever the package or the registry holds,
// and says so: a cut path names another file and is fit only for display.
// Shared by the stub and the host tools; nothing here touches the system.
#pragma once

#include <stddef.h>
#include <stdint.h>

// Appends '\' to a non-empty path that does not end in one.
void AppendBackslash(char* path);
// Removes one trailing '\' from a path longer than 3 characters, so that a
// drive root such as C:\ keeps it.
void StripBackslash(char* path);
// Replaces the text from the last '.' of the last component on by the
// extension (which brings its own dot), or appends the extension. False when
// the result had to be cut.
bool ReplaceExtension(char* path, const char* extension);

// The text after the last '\' (the whole path when there is none).
const char* LastComponent(const char* path);
// A remembered folder value may name a file inside the folder: when the last
// component holds a '.', cuts the path at its last '\' and returns true.
bool CutFileComponent(char* path);
// Folder of the source path (up to and including its last '\', or all of it)
// followed by the name: where an external entry lies. False when cut.
bool BesideSourcePath(char* path, const char* sourcePath, const char* name);
// folder, Append-backslash, name. False when cut.
bool JoinPath(char* path, const char* folder, const char* name);

// String n (0 to 5) of a file entry: file name, menu folders, menu shortcut
// name and arguments, desktop shortcut name and arguments. The entry's size
// field bounds the search; strings missing from a damaged entry are empty.
const char* EntryString(const uint8_t* entry, int n);

enum FolderMacro {
  kMacroNone,         // no '#' at the start, or no closing '#': plain text
  kMacroUnknown,      // "#word#" that names no folder
  kMacroWindows,      // "#Windows#"
  kMacroSystem,       // "#System#"
  kMacroProgramFiles, // "#Program Files#"
  kMacroStartMenu,    // "#Start Menu#"
  kMacroStartup,      // "#Startup#"
};

// Reads a folder macro at the very start of the text, in any letter case.
// *length receives the macro's length including both '#' (0 for kMacroNone).
FolderMacro ParseFolderMacro(const char* text, size_t* length);
// Replaces the macro of `length` characters at the start of the path by its
// value: value, Append-backslash, then the rest of the text without one '\'
// directly behind the closing '#'. An empty value leaves only the rest.
// False when the result had to be cut.
bool ReplaceFolderMacro(char* path, size_t length, const char* value);

// Finds the name under which the object at a full path is stored on disk
// (long name, stored letter case) and writes it to foundName (260 bytes).
typedef bool (*StoredNameLookup)(const char* path, char* foundName);
// Rewrites each component of a drive-letter path with its stored name, one
// lookup per component from the drive down. A failed lookup, a wildcard, or a
// result too long for the buffer leaves the path unchanged. When every lookup
// succeeds a trailing '\' is dropped.
void ConvertToLongNameWith(char* path, StoredNameLookup lookup);
