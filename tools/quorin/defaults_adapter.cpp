#include "defaults_adapter.h"

#include <stdlib.h>
#include <unistd.h>

#include "default_templates.h"
#include "dialog_template.h"
#include "default_texts.h"
#include "dialogs_compiler.h"
#include "package/format.h"
#include "res_reader.h"
#include "template_record.h"

namespace {

// The stub formats some texts with wsprintfA: such a text may hold its one
// conversion and literal "%%", nothing else a format would misread.
bool CheckConversions(const std::string& text, TextFormat kind, std::string* why) {
  int strings = 0, integers = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    char c = i + 1 < text.size() ? text[i + 1] : '\0';
    ++i;
    if (c == '%') continue;
    if (c == 's') ++strings;
    else if (c == 'u' || c == 'd' || c == 'i') ++integers;
    else return *why = "holds '%" + std::string(1, c) + "'; write a literal percent sign as %%", false;
  }
  if (kind == TextFormat::kString && (integers || strings > 1))
    return *why = "is formatted with one text, so it may hold one %s and no other conversion", false;
  if (kind == TextFormat::kInteger && (strings || integers > 1))
    return *why = "is formatted with one number, so it may hold one %u and no other conversion", false;
  return true;
}

std::string TextOrigin(const Project& project, int group, int entry) {
  auto it = project.textOrigins.find({group, entry});
  return (it == project.textOrigins.end() ? project.path : it->second) + ": text " + std::to_string(group) + "." +
         std::to_string(entry);
}

}  // namespace

bool CheckProjectTexts(const Project& project, std::vector<std::string>* errors) {
  size_t before = errors->size();
  for (const auto& [where, text] : project.texts) {
    const DefaultText* known = FindDefaultText(where.first, where.second);
    if (!known) {
      errors->push_back(TextOrigin(project, where.first, where.second) + " is not read by the setup; check the group and entry");
      continue;
    }
    std::string why;
    if (known->format != TextFormat::kPlain && !CheckConversions(text, known->format, &why))
      errors->push_back(TextOrigin(project, where.first, where.second) + " (" + known->purpose + ") " + why);
  }
  return errors->size() == before;
}

bool ComposeStringGroups(const Project& project, std::vector<std::vector<std::string>>* groups,
                         std::vector<std::string>* errors) {
  size_t before = errors->size();
  groups->assign(format::kStringGroupCount, {});
  size_t count = 0;
  const DefaultText* table = DefaultTexts(&count);
  for (size_t i = 0; i < count; ++i) {
    const DefaultText& t = table[i];
    if (t.group >= format::kStringGroupCount) continue;
    std::vector<std::string>& group = (*groups)[t.group];
    if (group.size() <= t.entry) group.resize(t.entry + 1u);
    group[t.entry] = ExpandDefaultText(t, project.title);
  }
  if (!CheckProjectTexts(project, errors)) return false;
  for (const auto& [where, text] : project.texts) {
    // A project's own wording of an entry is formatted like the default one,
    // so the title is escaped the same way ('%' in formatted texts, '&' on
    // buttons and labels).
    const DefaultText* known = FindDefaultText(where.first, where.second);
    std::string expanded;
    if (known) {
      DefaultText own = *known;
      own.text = text.c_str();
      expanded = ExpandDefaultText(own, project.title);
    } else {
      expanded = ExpandDefaultText(text.c_str(), project.title);
    }
    (*groups)[where.first][where.second] = expanded;
  }
  for (const auto& group : *groups)
    if (group.size() > 0xFFFF) errors->push_back(project.path + ": a string group has more than 65,535 entries");
  return errors->size() == before;
}

namespace {

// The project's own dialogs that the setup program will show, checked for the
// controls it looks up; the frame dialog of the other mode is never shown.
void CheckDialogControls(const Project& project, const DialogResources& dialogs, std::vector<std::string>* warnings) {
  bool background = project.flags & format::kFlagBackgroundMode;
  for (int n = 0; n < format::kTemplateCount; ++n) {
    auto it = dialogs.find(static_cast<uint16_t>(kTemplateResourceBase + n));
    if (it == dialogs.end() || (n == 0 && background) || (n == 1 && !background)) continue;
    DialogTemplate dialog;
    std::string why, missing;
    if (!ParseDialogTemplate(it->second.data(), it->second.size(), &dialog, &why)) continue;
    size_t count = 0;
    for (uint32_t id : TemplateControlIds(n))
      if (!FindControl(dialog, id)) missing += (count++ ? ", " : "") + std::to_string(id);
    if (count)
      warnings->push_back(project.dialogsOrigin + ": warning: dialog " + std::to_string(it->first) + " (" +
                          TemplateRole(n) + ") lacks control" + (count == 1 ? " " : "s ") + missing +
                          ", which the setup program uses there");
  }
}

}  // namespace

bool ComposeTemplateRecord(const Project& project, Bytes* record, std::vector<std::string>* errors,
                           std::vector<std::string>* warnings) {
  std::string error;
  if (project.dialogs.empty()) {
    if (!DefaultTemplateRecord(record, &error)) return errors->push_back("default dialogs: " + error), false;
    return true;
  }
  std::string resPath = project.dialogs;
  std::string compiled;
  if (resPath.size() > 3 && (resPath.compare(resPath.size() - 3, 3, ".rc") == 0 ||
                             resPath.compare(resPath.size() - 3, 3, ".RC") == 0)) {
    char temp[] = "/tmp/quorin-dialogs-XXXXXX";
    int fd = mkstemp(temp);
    if (fd < 0) return errors->push_back(project.dialogsOrigin + ": cannot make a temporary file for the compiled dialogs"), false;
    close(fd);
    compiled = temp;
    if (!CompileRc(project.dialogs, compiled, &error)) {
      unlink(compiled.c_str());
      return errors->push_back(project.dialogsOrigin + ": " + error), false;
    }
    resPath = compiled;
  }
  DialogResources dialogs, fallback;
  bool ok = ReadDialogResourceFile(resPath, &dialogs, &error);
  if (!compiled.empty()) unlink(compiled.c_str());
  if (!ok) return errors->push_back(project.dialogsOrigin + ": " + error), false;
  if (!DefaultDialogs(&fallback, &error)) return errors->push_back("default dialogs: " + error), false;
  if (warnings) CheckDialogControls(project, dialogs, warnings);
  std::vector<Bytes> templates;
  if (!SelectTemplates(dialogs, project.dialogs, &fallback, &templates, &error) ||
      !BuildTemplateRecord(templates, record, &error))
    return errors->push_back(project.dialogsOrigin + ": " + error), false;
  return true;
}
