// How the inspector words what it reads: ANSI texts turned into UTF-8 in the
// setup's code page, names of the entry fields, destinations as the setup
// program would place them. Shared by list, its table and JSON forms, and diff.
#pragma once

#include <stdint.h>

#include <string>

#include "codepage.h"
#include "setup_reader.h"

// A text as the author would write it in the project file, in double quotes.
std::string Quoted(const std::string& ansi, uint32_t codepage);

std::string Hex(uint32_t v, int digits);
// A text record's body up to its first NUL, as the setup program takes it.
std::string TextOf(const Bytes& body);
// A COLORREF as #RRGGBB.
std::string ColourText(uint32_t colorref);

const char* KindName(uint8_t kind);
const char* FinishName(uint8_t action);
const char* EntryKindName(uint8_t kind);
const char* SpecialName(uint8_t special);
const char* RootName(uint32_t root);
std::string FlagsText(uint32_t flags);
std::string OptionsText(uint8_t options);        // " uninstaller check-version ..." or empty
std::string UninstallValueFlagsText(uint32_t flags);
std::string FileTimeText(uint64_t filetime);

// Where the setup program puts the entry, in UTF-8 with backslashes:
// the name for the destination folder, #Windows#\name, #System#\last component,
// #Fonts#\name.
std::string DestinationText(const EntryView& e, uint32_t codepage);
// The folder part of that, up to and including its last backslash; empty for
// files directly in the destination folder.
std::string DestinationFolder(const std::string& destination);
