// A check of the project file before the TOML library reads it. The library
// (toml++ 3.3) reaches an unreachable point, undefined behaviour, when it
// tests a non-ASCII character outside quotes and comments for whitespace;
// such a file is not valid TOML anyway, so it is refused here first.
#pragma once

#include <string>

// False with "file:line:column: ..." when a character that is not ASCII
// stands outside quotes and comments; true otherwise (also when the file
// cannot be read: the reader reports that itself).
bool CheckTomlCharacters(const std::string& path, std::string* error);
