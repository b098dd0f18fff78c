// Turns the project's texts and dialogs into the string groups and the template
// record, on top of the default wording and dialogs every setup starts from.
#pragma once

#include <string>
#include <vector>

#include "byte_buffer.h"
#include "project.h"

// Checks the project's texts against what the setup reads and how it formats
// each one; appends "file:line: problem" messages.
bool CheckProjectTexts(const Project& project, std::vector<std::string>* errors);

// Groups 0 to 8, each a list of texts indexed by entry: the defaults with the
// project's values filled in, then the project's overrides.
bool ComposeStringGroups(const Project& project, std::vector<std::vector<std::string>>* groups,
                         std::vector<std::string>* errors);

// The body of the template record: the project's dialogs (from its .rc or .res)
// where it has them, the default dialogs for the rest. Empty when there are none.
// warnings (may be null) hears of the project's dialogs that lack controls the
// setup program uses, one line per dialog.
bool ComposeTemplateRecord(const Project& project, Bytes* record, std::vector<std::string>* errors,
                           std::vector<std::string>* warnings = nullptr);
