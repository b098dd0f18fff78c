// The temporary name a file is expanded into, beside its destination: the
// destination with the extension .$$A, or .$$B to .$$Z where those are taken.
#pragma once

// Tells whether a file of that name exists already.
typedef bool (*NameTaken)(const char* path);

// Writes the first free name into a 260-byte buffer. False when the name does
// not fit the buffer or .$$A to .$$Z are all taken: then no temporary file
// may be made.
bool MakeTemporaryName(char* name, const char* destination, NameTaken taken);
