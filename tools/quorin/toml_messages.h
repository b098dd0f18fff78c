// Turns the TOML reader's complaints into what an installer author needs to
// know: what is wrong on the line, in the project file's own terms.
#pragma once

#include <string>

// description: the reader's text ("Error while parsing boolean: expected
// 'false', saw 'fi'"); line: the text of the line it points at; column: 1-based.
std::string ExplainTomlError(const std::string& description, const std::string& line, int column);
