// `quorin diff A B`: two setup files compared as the setup program would see
// them. Files are matched by destination (letter case ignored, as on Windows)
// and reported as added, removed, changed content (size or checksum) or
// changed fields; then the settings, texts, dialog templates and records.
#pragma once

#include <stdint.h>

#include <ostream>
#include <string>

// Exit status: 0 the same, 1 different, 2 a file is not a setup file or
// cannot be read. codepage 0 converts each setup's texts in its own code page.
int DiffSetups(const std::string& a, const std::string& b, uint32_t codepage, std::ostream& out, std::ostream& err);
