// Texts of a project are UTF-8; the setup shows them through the ANSI API, so
// the package holds them in one Windows code page, named in the package. The
// builder converts to that code page, the inspector back from it.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>

// Whether this system can convert texts between UTF-8 and the code page.
bool CodePageKnown(uint32_t codepage);

// The byte offset of the first byte that does not belong to a well-formed
// UTF-8 character, or npos.
size_t FindBadUtf8(const std::string& text);

// Converts well-formed UTF-8 to the code page. On failure *badAt is the
// offset of the first character the code page cannot show.
bool ToCodePage(const std::string& utf8, uint32_t codepage, std::string* out, size_t* badAt);

// Converts an ANSI text of the code page to UTF-8, all of it at once so that
// double-byte characters stay whole. A byte the code page does not define is
// kept visible: as \xNN in texts, as %NN in file names (where a backslash
// would read as a folder separator).
enum class Undefined { kBackslashHex, kPercentHex };
std::string FromAnsi(const std::string& text, uint32_t codepage, Undefined style = Undefined::kBackslashHex);

// The UTF-8 character that starts at offset at, for messages.
std::string CharacterAt(const std::string& utf8, size_t at);

// A key under which two names in the code page are equal exactly when Windows
// takes them for the same name regardless of letter case.
std::string CaseFoldedKey(const std::string& ansi, uint32_t codepage);
