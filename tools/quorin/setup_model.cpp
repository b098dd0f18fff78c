#include "setup_model.h"

#include <string.h>

#include "default_texts.h"
#include "package/checksum.h"
#include "package/format.h"
#include "pe_version.h"
#include "setup_text.h"
#include "template_record.h"

namespace {

const RecordView* LastRecord(const SetupView& view, uint16_t tag) {
  const RecordView* found = nullptr;
  for (const RecordView& r : view.records)
    if (r.tag == tag && r.usable) found = &r;  // the later record replaces the earlier one
  return found;
}

Json TextRecord(const SetupView& view, uint16_t tag, uint32_t cp) {
  const RecordView* r = LastRecord(view, tag);
  return r ? Json(FromAnsi(TextOf(r->body), cp)) : Json(nullptr);
}

Json Bitmap(const SetupView& view, uint16_t tag) {
  const RecordView* r = LastRecord(view, tag);
  if (!r) return nullptr;
  Json j;
  const Bytes& b = r->body;
  if (b.size() >= 54) {
    j["width"] = static_cast<int32_t>(format::ReadU32(b.data() + 18));
    j["height"] = static_cast<int32_t>(format::ReadU32(b.data() + 22));
    j["bits_per_pixel"] = format::ReadU16(b.data() + 28);
  }
  j["bytes"] = b.size();
  j["checksum"] = Hex(UpdateChecksum(0, b.data(), b.size()), 8);
  return j;
}

Json Settings(const SetupView& view, uint32_t cp) {
  Json s;
  if (view.hasFlags) {
    s["flags"] = {{"value", view.flags},
                  {"background_mode", (view.flags & format::kFlagBackgroundMode) != 0},
                  {"editable_folder", (view.flags & format::kFlagEditableFolder) != 0},
                  {"remember_in_registry", (view.flags & format::kFlagRememberInRegistry) != 0},
                  {"remember_in_ini", (view.flags & format::kFlagRememberInIni) != 0}};
  } else {
    s["flags"] = nullptr;
  }
  if (view.hasDefaultFolder) {
    Json folder = {{"text", FromAnsi(view.defaultFolder, cp)}, {"length", view.defaultFolder.size()}};
    size_t kept = format::kPathBufferSize - 1;
    folder["kept"] = FromAnsi(view.defaultFolder.substr(0, kept), cp);
    s["default_folder"] = folder;
  } else {
    s["default_folder"] = nullptr;
  }
  s["uninstall_name"] = TextRecord(view, format::kTagUninstallName, cp);
  s["background_title"] = TextRecord(view, format::kTagBackgroundTitle, cp);
  const RecordView* style = LastRecord(view, format::kTagTitleStyle);
  if (style && style->body.size() >= format::kTitleStyleSize) {
    const uint8_t* font = style->body.data() + 8;
    char face[33] = {};
    memcpy(face, font + 28, 32);
    s["title_style"] = {{"shadow", ColourText(format::ReadU32(style->body.data()))},
                        {"text", ColourText(format::ReadU32(style->body.data() + 4))},
                        {"font", FromAnsi(face, cp)},
                        {"height", static_cast<int32_t>(format::ReadU32(font))},
                        {"weight", format::ReadU32(font + 16)},
                        {"italic", font[20] != 0}};
  } else {
    s["title_style"] = nullptr;
  }
  const RecordView* root = LastRecord(view, format::kTagLocationRoot);
  s["location"] = {{"registry_root", root ? Json(RootName(format::ReadU32(root->body.data()))) : Json(nullptr)},
                   {"registry_key", TextRecord(view, format::kTagLocationKey, cp)},
                   {"registry_value", TextRecord(view, format::kTagLocationValue, cp)},
                   {"ini_file", TextRecord(view, format::kTagLocationIniFile, cp)},
                   {"ini_section", TextRecord(view, format::kTagLocationIniSection, cp)},
                   {"ini_key", TextRecord(view, format::kTagLocationIniKey, cp)}};
  s["start_page"] = view.startPage == format::kNoStartPage ? Json(nullptr) : Json(view.startPage);
  s["pacing_ms"] = view.hasPacing ? Json(view.pacingMs) : Json(nullptr);
  if (view.hasUninstallValues) {
    const UninstallValuesView& u = view.uninstallValues;
    Json names = Json::array();
    static const std::pair<uint32_t, const char*> kValues[] = {{format::kValueInstallLocation, "InstallLocation"},
                                                               {format::kValueEstimatedSize, "EstimatedSize"},
                                                               {format::kValueNoModify, "NoModify"},
                                                               {format::kValueNoRepair, "NoRepair"}};
    for (auto& [bit, name] : kValues)
      if (u.flags & bit) names.push_back(name);
    s["uninstall_values"] = {{"flags", u.flags},
                             {"values", names},
                             {"estimated_size_kb", u.sizeKb},
                             {"display_version", FromAnsi(u.texts[0], cp)},
                             {"publisher", FromAnsi(u.texts[1], cp)},
                             {"display_icon", FromAnsi(u.texts[2], cp)}};
  } else {
    s["uninstall_values"] = nullptr;
  }
  s["side_bitmap"] = Bitmap(view, format::kTagSideBitmap);
  s["background_bitmap"] = Bitmap(view, format::kTagBackgroundBitmap);
  return s;
}

Json Records(const SetupView& view) {
  Json list = Json::array();
  for (const RecordView& r : view.records) {
    bool compressed = (r.flags & format::kRecordCompressed) != 0;
    list.push_back({{"offset", r.offset},
                    {"tag", Hex(r.tag, 4)},
                    {"name", RecordName(r.tag)},
                    {"body_length", r.bodyLength},
                    {"flags_byte", r.flags},
                    {"compressed", compressed && r.flagsApply},
                    {"flags_ignored", !r.flagsApply},
                    {"expanded_size", compressed && r.flagsApply && r.usable ? Json(r.expandedSize) : Json(nullptr)},
                    {"usable", r.usable}});
  }
  return list;
}

Json Templates(const SetupView& view, uint32_t cp) {
  Json list = Json::array();
  for (const TemplateView& t : view.templates)
    list.push_back({{"number", t.number},
                    {"role", TemplateRole(t.number)},
                    {"offset", t.offset},
                    {"size", t.size},
                    {"controls", t.controls},
                    {"caption", FromAnsi(t.caption, cp)}});
  return list;
}

Json Texts(const SetupView& view, uint32_t cp) {
  Json list = Json::array();
  for (int g = 0; g < format::kStringGroupCount; ++g) {
    if (!view.groupPresent[g]) continue;
    for (size_t e = 0; e < view.groups[g].size(); ++e) {
      const DefaultText* known = FindDefaultText(g, static_cast<int>(e));
      list.push_back({{"id", std::to_string(g) + "." + std::to_string(e)},
                      {"group", g},
                      {"entry", e},
                      {"text", FromAnsi(view.groups[g][e], cp)},
                      {"purpose", known ? Json(known->purpose) : Json(nullptr)}});
    }
  }
  return list;
}

Json Files(const SetupView& view, uint32_t cp) {
  Json list = Json::array();
  for (size_t i = 0; i < view.entries.size(); ++i) {
    const EntryView& e = view.entries[i];
    Json options = Json::array();
    std::string words = OptionsText(e.options);
    for (size_t at = 1; at < words.size();) {
      size_t space = words.find(' ', at);
      if (space == std::string::npos) space = words.size();
      options.push_back(words.substr(at, space - at));
      at = space + 1;
    }
    Json f = {{"index", i},
              {"name", FromAnsi(e.strings[0], cp)},
              {"destination", DestinationText(e, cp)},
              {"kind", KindName(e.destinationKind)},
              {"entry_kind", EntryKindName(e.entryKind)},
              {"external", e.entryKind == format::kEntryExternal},
              {"listed_for_removal", e.entryKind == format::kEntryListedForRemoval},
              {"finish", FinishName(e.finishAction)},
              {"special", SpecialName(e.special)},
              {"shared", e.shared == 1},
              {"icon_index", e.iconIndex},
              {"size", e.fileSize},
              {"packed", e.packedSize},
              {"checksum", Hex(e.checksum, 8)},
              {"status", e.status},
              {"options", options}};
    f["version"] = e.hasVersion ? Json(FormatVersion(e.versionMs, e.versionLs)) : Json(nullptr);
    f["language"] = e.hasVersion ? Json(Hex(e.language & 0xFFFF, 4)) : Json(nullptr);
    f["times"] = e.hasTimes ? Json{{"created", FileTimeText(e.times[0])},
                                   {"accessed", FileTimeText(e.times[1])},
                                   {"written", FileTimeText(e.times[2])}}
                            : Json(nullptr);
    f["menu_folders"] = FromAnsi(e.strings[1], cp);
    f["menu_shortcut"] = FromAnsi(e.strings[2], cp);
    f["menu_arguments"] = FromAnsi(e.strings[3], cp);
    f["desktop_shortcut"] = FromAnsi(e.strings[4], cp);
    f["desktop_arguments"] = FromAnsi(e.strings[5], cp);
    list.push_back(f);
  }
  return list;
}

}  // namespace

Json SetupModel(const SetupView& view, uint32_t codepage) {
  Json j;
  j["format"] = kSetupModelFormat;
  j["path"] = view.path;
  j["file_size"] = view.fileSize;
  j["stub"] = {{"size", view.stubSize}, {"configuration_block_offset", view.configOffset}, {"architecture", view.stubArch}};
  j["loadable"] = view.usable;
  j["code_page"] = {{"value", codepage}, {"stored", view.hasCodePage ? Json(view.codePage) : Json(nullptr)}};
  j["records"] = Records(view);
  j["settings"] = Settings(view, codepage);
  const RecordView* templates = LastRecord(view, format::kTagTemplates);
  j["templates"] = {{"checksum", templates ? Json(Hex(UpdateChecksum(0, templates->body.data(), templates->body.size()), 8))
                                           : Json(nullptr)},
                    {"list", Templates(view, codepage)}};
  j["string_group_count"] = view.groupCount;
  j["texts"] = Texts(view, codepage);
  j["files"] = Files(view, codepage);
  if (view.hasDataArea) {
    uint64_t packed = 0, installed = 0;
    for (const EntryView& e : view.entries)
      if (e.entryKind != format::kEntryExternal) packed += e.packedSize, installed += e.fileSize;
    j["data_area"] = {{"offset", view.dataAreaStart},
                      {"volume0_bytes", view.dataLength},
                      {"packed_bytes", packed},
                      {"file_bytes", installed},
                      {"continues_in_volumes", packed > view.dataLength},
                      {"bytes_behind_volume0", view.volume0Extra}};
  } else {
    j["data_area"] = nullptr;
  }
  j["problems"] = view.problems;
  j["warnings"] = view.warnings;
  return j;
}
