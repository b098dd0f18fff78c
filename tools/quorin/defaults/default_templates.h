// The default dialogs of the wizard, compiled from templates.rc at build time
// and kept in the tool as the resource file's bytes.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "res_reader.h"

// The compiled templates.rc, a 32-bit resource file.
const uint8_t* DefaultTemplatesRes(size_t* size);

// Its dialogs, ids 100 to 108.
bool DefaultDialogs(DialogResources* dialogs, std::string* error);

// The template record body made from the default dialogs alone.
bool DefaultTemplateRecord(std::vector<uint8_t>* body, std::string* error);
