#include "template_record.h"

#include "dialog_template.h"
#include "package/format.h"

namespace {

const char* const kRoles[format::kTemplateCount] = {
    "frame dialog (framed mode)",
    "frame dialog (background mode)",
    "destination page",
    "information page",
    "progress page",
    "welcome and ready page",
    "finish page",
    "folder browser",
    "closing page",
};

std::string Label(int number) {
  return "template " + std::to_string(number) + " (" + kRoles[number] + ")";
}

}  // namespace

const char* TemplateRole(int number) {
  return number >= 0 && number < format::kTemplateCount ? kRoles[number] : "unused";
}

std::vector<uint32_t> TemplateControlIds(int number) {
  switch (number) {
    case 0:
    case 1: return {1, 2, 1007, 1006, 1011, 1012};
    case 2: return {1004, 1005, 1016, 1017, 1018, 1019};
    case 3: return {1000};  // the information text itself
    case 4: return {1008, 1009, 1010};
    case 6: return {1000, 1001, 1002, 1003, 1014, 1015};
    case 7: return {1, 2, 101, 1009, 1091, 1121, 1137};  // 1121, 1137: the folder and drive lists
    case 8: return {1005, 1006};
    default: return {};
  }
}

bool SelectTemplates(const DialogResources& dialogs, const std::string& fileName, const DialogResources* fallback,
                     std::vector<std::vector<uint8_t>>* templates, std::string* error) {
  templates->clear();
  for (int n = 0; n < format::kTemplateCount; ++n) {
    uint16_t id = static_cast<uint16_t>(kTemplateResourceBase + n);
    const std::vector<uint8_t>* bytes = nullptr;
    std::string source = fileName;
    auto it = dialogs.find(id);
    if (it != dialogs.end()) {
      bytes = &it->second;
    } else if (fallback && fallback->count(id)) {
      bytes = &fallback->at(id);
      source = "default dialogs";
    }
    if (!bytes) {
      *error = fileName + ": no dialog " + std::to_string(id) + " for " + Label(n);
      return false;
    }
    DialogTemplate dialog;
    std::string why;
    if (!ParseDialogTemplate(bytes->data(), bytes->size(), &dialog, &why)) {
      *error = source + ": dialog " + std::to_string(id) + " (" + kRoles[n] + "): " + why;
      return false;
    }
    templates->push_back(*bytes);
  }
  return true;
}

bool BuildTemplateRecord(const std::vector<std::vector<uint8_t>>& templates, std::vector<uint8_t>* body,
                         std::string* error) {
  body->clear();
  if (templates.size() != static_cast<size_t>(format::kTemplateCount)) {
    *error = "the template record needs " + std::to_string(format::kTemplateCount) + " templates, not " +
             std::to_string(templates.size());
    return false;
  }
  for (int n = 0; n < format::kTemplateCount; ++n) {
    if (templates[n].empty()) {
      *error = Label(n) + " is empty";
      return false;
    }
    if (templates[n].size() > format::kTemplateBlockSize) {
      *error = Label(n) + " is " + std::to_string(templates[n].size()) + " bytes; the setup program reads at most " +
               std::to_string(format::kTemplateBlockSize) + " bytes of a template";
      return false;
    }
  }
  body->resize(4 * format::kTemplateCount);
  for (int n = 0; n < format::kTemplateCount; ++n) {
    body->resize((body->size() + 3) & ~static_cast<size_t>(3), 0);
    format::WriteU32(body->data() + 4 * n, static_cast<uint32_t>(body->size()));
    body->insert(body->end(), templates[n].begin(), templates[n].end());
  }
  return true;
}
