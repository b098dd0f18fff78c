#include "setup_diff.h"

#include <map>
#include <vector>

#include "grouped_number.h"
#include "setup_model.h"
#include "setup_reader.h"

namespace {

std::string Show(const Json& value) { return value.dump(-1, ' ', false, Json::error_handler_t::replace); }

// What differs between two values, as "path: old -> new": objects key by
// key, anything else (arrays too) as a whole.
void Compare(const Json& a, const Json& b, const std::string& path, std::vector<std::string>* changes) {
  if (a.is_object() && b.is_object()) {
    for (auto it = a.begin(); it != a.end(); ++it)
      Compare(it.value(), b.contains(it.key()) ? b[it.key()] : Json(nullptr), path + (path.empty() ? "" : ".") + it.key(),
              changes);
    for (auto it = b.begin(); it != b.end(); ++it)
      if (!a.contains(it.key())) Compare(Json(nullptr), it.value(), path + (path.empty() ? "" : ".") + it.key(), changes);
  } else if (a != b) {
    changes->push_back(path + ": " + Show(a) + " -> " + Show(b));
  }
}

std::vector<std::string> ChangedLeaves(const Json& a, const Json& b) {
  std::vector<std::string> changes;
  Compare(a, b, "", &changes);
  return changes;
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

// Files by destination as Windows compares names; a later entry of the same
// destination replaces an earlier one, as it does when installed.
std::map<std::string, Json> FilesByDestination(const Json& files) {
  std::map<std::string, Json> by;
  for (const Json& f : files) by[Lower(f["destination"].get<std::string>())] = f;
  return by;
}

class Report {
 public:
  explicit Report(std::ostream& out) : out_(out) {}
  void Line(const char* what, const std::string& text) {
    out_ << what << std::string(9 - std::string(what).size(), ' ') << text << "\n";
    ++count_;
  }
  size_t count() const { return count_; }

 private:
  std::ostream& out_;
  size_t count_ = 0;
};

void CompareFiles(const Json& a, const Json& b, Report* report) {
  std::map<std::string, Json> left = FilesByDestination(a), right = FilesByDestination(b);
  for (auto& [key, f] : left) {
    std::string name = f["destination"].get<std::string>();
    auto other = right.find(key);
    if (other == right.end()) {
      report->Line("removed", "file " + name + " (" + Grouped(f["size"].get<uint64_t>()) + " bytes)");
      continue;
    }
    Json g = other->second;
    Json fields = f, otherFields = g;
    for (const char* field : {"index", "size", "checksum"}) fields.erase(field), otherFields.erase(field);
    if (f["size"] != g["size"] || f["checksum"] != g["checksum"]) {
      // Other content packs to another length: that is part of this change.
      fields.erase("packed"), otherFields.erase("packed");
      report->Line("changed", "file " + name + ": content, size " + Grouped(f["size"].get<uint64_t>()) + " -> " +
                                  Grouped(g["size"].get<uint64_t>()) + ", checksum " + f["checksum"].get<std::string>() +
                                  " -> " + g["checksum"].get<std::string>());
    }
    std::vector<std::string> changes = ChangedLeaves(fields, otherFields);
    if (!changes.empty()) {
      std::string text = "file " + name + ": ";
      for (size_t i = 0; i < changes.size(); ++i) text += (i ? "; " : "") + changes[i];
      report->Line("changed", text);
    }
  }
  for (auto& [key, g] : right)
    if (!left.count(key))
      report->Line("added", "file " + g["destination"].get<std::string>() + " (" + Grouped(g["size"].get<uint64_t>()) +
                                " bytes)");
}

void CompareTexts(const Json& a, const Json& b, Report* report) {
  std::map<std::string, std::string> left, right;
  std::vector<std::string> order;
  for (const Json& t : a) left[t["id"]] = t["text"], order.push_back(t["id"]);
  for (const Json& t : b) {
    right[t["id"]] = t["text"];
    if (!left.count(t["id"])) order.push_back(t["id"]);
  }
  for (const std::string& id : order) {
    auto l = left.find(id), r = right.find(id);
    if (r == right.end()) report->Line("removed", "text " + id + " = " + Show(l->second));
    else if (l == left.end()) report->Line("added", "text " + id + " = " + Show(r->second));
    else if (l->second != r->second) report->Line("changed", "text " + id + ": " + Show(l->second) + " -> " + Show(r->second));
  }
}

void CompareTemplates(const Json& a, const Json& b, Report* report) {
  if (a["checksum"] == b["checksum"]) return;
  size_t before = report->count();
  const Json& left = a["list"];
  const Json& right = b["list"];
  for (size_t n = 0; n < std::max(left.size(), right.size()); ++n) {
    Json l = n < left.size() ? left[n] : Json(nullptr), r = n < right.size() ? right[n] : Json(nullptr);
    if (l == r) continue;
    std::string role = (l.is_null() ? r : l)["role"].get<std::string>();
    std::vector<std::string> changes = ChangedLeaves(l, r);
    std::string text = "dialog template " + std::to_string(n) + " (" + role + "): ";
    for (size_t i = 0; i < changes.size(); ++i) text += (i ? "; " : "") + changes[i];
    report->Line("changed", text);
  }
  // Same sizes and captions, other bytes: say so without guessing where.
  if (report->count() == before) report->Line("changed", "dialog templates: their contents differ");
}

void CompareRecords(const Json& a, const Json& b, Report* report) {
  std::map<std::string, int> count;
  std::map<std::string, std::string> names;
  for (const Json& r : a) --count[r["tag"]], names[r["tag"]] = r["name"];
  for (const Json& r : b) ++count[r["tag"]], names[r["tag"]] = r["name"];
  for (auto& [tag, n] : count) {
    if (n < 0) report->Line("removed", "record " + tag + " (" + names[tag] + ")" + (n < -1 ? " x" + std::to_string(-n) : ""));
    if (n > 0) report->Line("added", "record " + tag + " (" + names[tag] + ")" + (n > 1 ? " x" + std::to_string(n) : ""));
  }
}

}  // namespace

int DiffSetups(const std::string& a, const std::string& b, uint32_t codepage, std::ostream& out, std::ostream& err) {
  SetupView views[2];
  std::string error;
  for (int i = 0; i < 2; ++i) {
    if (!ReadSetup(i == 0 ? a : b, &views[i], &error)) {
      err << "quorin: " << error << "\n";
      return 2;
    }
  }
  Json left = SetupModel(views[0], codepage ? codepage : views[0].codePage);
  Json right = SetupModel(views[1], codepage ? codepage : views[1].codePage);
  Report report(out);
  for (const char* part : {"stub", "loadable", "code_page", "settings", "string_group_count", "data_area"}) {
    Json l = left[part], r = right[part];
    if (std::string(part) == "stub") l.erase("configuration_block_offset"), r.erase("configuration_block_offset");
    if (std::string(part) == "data_area" && l.is_object() && r.is_object()) {
      // These follow from the files; how the data is cut into volumes does not.
      for (const char* key : {"offset", "packed_bytes", "file_bytes"}) l.erase(key), r.erase(key);
      if (!l["continues_in_volumes"].get<bool>() && !r["continues_in_volumes"].get<bool>())
        l.erase("volume0_bytes"), r.erase("volume0_bytes");
    }
    // Settings read best by their own names.
    std::string prefix = std::string(part) == "settings" ? "" : part;
    std::vector<std::string> changes;
    Compare(l, r, prefix, &changes);
    for (const std::string& change : changes) report.Line("changed", change);
  }
  CompareTemplates(left["templates"], right["templates"], &report);
  CompareTexts(left["texts"], right["texts"], &report);
  CompareFiles(left["files"], right["files"], &report);
  CompareRecords(left["records"], right["records"], &report);
  for (int i = 0; i < 2; ++i)
    if (!views[i].problems.empty())
      err << "quorin: note: " << views[i].path << " has " << views[i].problems.size()
          << (views[i].problems.size() == 1 ? " problem" : " problems") << "; quorin verify names them\n";
  if (report.count() == 0) {
    out << a << " and " << b << " are the same\n";
    return 0;
  }
  out << report.count() << (report.count() == 1 ? " difference\n" : " differences\n");
  return 1;
}
