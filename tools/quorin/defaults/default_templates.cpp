#include "default_templates.h"

#include "template_record.h"

bool DefaultDialogs(DialogResources* dialogs, std::string* error) {
  size_t size = 0;
  const uint8_t* res = DefaultTemplatesRes(&size);
  return ReadDialogResources(res, size, "default dialogs", dialogs, error);
}

bool DefaultTemplateRecord(std::vector<uint8_t>* body, std::string* error) {
  DialogResources dialogs;
  std::vector<std::vector<uint8_t>> templates;
  return DefaultDialogs(&dialogs, error) && SelectTemplates(dialogs, "default dialogs", nullptr, &templates, error) &&
         BuildTemplateRecord(templates, body, error);
}
