// Prepares the project file for the TOML library. The library (toml++ 3.3)
// reaches an unreachable point, undefined behaviour, when it asks whether
// certain non-ASCII characters are whitespace: most of U+00A1 to U+0499,
// U+2DEE to U+31E7 and U+FB26 to U+FEFE. It asks at three places: between
// tokens, right after a backslash in a multi-line string, and at the first
// character after a line-ending backslash. The first two are not valid TOML
// and are refused here with a message in the author's terms; at the third,
// valid TOML, the character is handed over as its \u escape, which means the
// same character.
#pragma once

#include <string>

// Turns the project file's content into the text for the library. False with
// "file:line:column: ..." when a character that is not ASCII stands where the
// library would fail on it.
bool PrepareTomlText(const std::string& path, const std::string& content, std::string* text, std::string* error);
