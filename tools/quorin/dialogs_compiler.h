// Compiles an author's .rc script into a .res file with the mingw resource
// compiler, which the builder then reads for its DIALOG resources.
#pragma once

#include <string>

// The resource compiler found on PATH, or empty.
std::string FindWindres();

// Runs windres on rcPath, writing resPath. False with a message otherwise.
bool CompileRc(const std::string& rcPath, const std::string& resPath, std::string* error);
