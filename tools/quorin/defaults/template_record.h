// The dialog template record (body of package record 0x1242): one u32 offset
// per template number, from the start of the body, then the templates.
//
//   body:  u32 offset[9] | template 0 | pad | template 1 | pad | ... template 8
//
// The stub copies a template from its offset into a 16,384-byte block, so no
// template may be larger than that. Templates start on 4-byte boundaries of
// the body because the dialog manager expects its controls aligned.
#pragma once

#include <stddef.h>
#include <stdint.h>

#include <string>
#include <vector>

#include "res_reader.h"

// Template n comes from the dialog resource with id kTemplateResourceBase + n.
constexpr uint16_t kTemplateResourceBase = 100;

// "frame dialog (framed mode)", "destination page", ... for messages.
const char* TemplateRole(int number);

// The control ids the stub looks up in template number (besides the static
// texts it simply passes over when absent), for checking an author's dialogs.
std::vector<uint32_t> TemplateControlIds(int number);

// Takes dialogs 100 to 108 in template order, each from dialogs or, where
// dialogs lacks it, from fallback (may be null). Each must exist and parse as
// a dialog template; fileName names dialogs in messages.
bool SelectTemplates(const DialogResources& dialogs, const std::string& fileName, const DialogResources* fallback,
                     std::vector<std::vector<uint8_t>>* templates, std::string* error);

// Lays the templates out as the record body. Refuses anything but nine
// non-empty templates and any template over 16,384 bytes.
bool BuildTemplateRecord(const std::vector<std::vector<uint8_t>>& templates, std::vector<uint8_t>* body,
                         std::string* error);
