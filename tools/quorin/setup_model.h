// Everything `quorin list` shows of a setup file, as one JSON document: the
// form `list --json` prints and `diff` compares. Field names are stable;
// docs/quorin.md describes each.
#pragma once

#include <stdint.h>

#include <nlohmann/json.hpp>

#include "setup_reader.h"

using Json = nlohmann::ordered_json;

// Version of the document's layout, raised when a field changes meaning or
// goes away (new fields may be added without raising it).
constexpr int kSetupModelFormat = 1;

// Texts and names are converted from the code page given (normally the
// setup's own, view.codePage).
Json SetupModel(const SetupView& view, uint32_t codepage);
