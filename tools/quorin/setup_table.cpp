#include "setup_table.h"

#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include "package/format.h"
#include "setup_text.h"

namespace {

// Characters on the terminal: UTF-8 continuation bytes take no column.
size_t Columns(const std::string& text) {
  size_t n = 0;
  for (unsigned char c : text) n += (c & 0xC0) != 0x80;
  return n;
}

struct Row {
  std::string destination, size, packed, ratio, checksum;
};

std::string Ratio(uint64_t packed, uint64_t size) {
  if (size == 0) return "-";
  char buffer[32];
  snprintf(buffer, sizeof buffer, "%.1f%%", 100.0 * static_cast<double>(packed) / static_cast<double>(size));
  return buffer;
}

struct Total {
  size_t files = 0;
  uint64_t size = 0, packed = 0;
  Row AsRow(const std::string& label) const {
    std::string count = std::to_string(files) + (files == 1 ? " file" : " files");
    return {label + " (" + count + ")", std::to_string(size), std::to_string(packed), Ratio(packed, size), ""};
  }
};

}  // namespace

void PrintSetupTable(const SetupView& view, uint32_t codepage, std::ostream& out) {
  // Folders in the order the file list first names them, files in list order.
  std::vector<std::string> folders;
  std::map<std::string, std::vector<size_t>> members;
  for (size_t i = 0; i < view.entries.size(); ++i) {
    std::string folder = DestinationFolder(DestinationText(view.entries[i], codepage));
    if (!members.count(folder)) folders.push_back(folder);
    members[folder].push_back(i);
  }
  std::vector<Row> rows = {{"destination", "size", "packed", "ratio", "checksum"}};
  Total all;
  for (const std::string& folder : folders) {
    Total total;
    for (size_t i : members[folder]) {
      const EntryView& e = view.entries[i];
      Row row{DestinationText(e, codepage), std::to_string(e.fileSize), "-", "-", Hex(e.checksum, 8)};
      if (e.entryKind == format::kEntryExternal) {
        row.checksum += " external";
      } else {
        row.packed = std::to_string(e.packedSize);
        row.ratio = Ratio(e.packedSize, e.fileSize);
        ++total.files;
        total.size += e.fileSize;
        total.packed += e.packedSize;
      }
      rows.push_back(row);
    }
    rows.push_back(total.AsRow("total " + (folder.empty() ? std::string("(destination folder)") : folder)));
    all.files += total.files;
    all.size += total.size;
    all.packed += total.packed;
  }
  rows.push_back(all.AsRow("total"));

  size_t width[4] = {};
  for (const Row& r : rows) {
    const std::string* cells[4] = {&r.destination, &r.size, &r.packed, &r.ratio};
    for (int c = 0; c < 4; ++c) width[c] = std::max(width[c], Columns(*cells[c]));
  }
  out << view.path << ": " << view.stubArch << " stub, " << view.entries.size()
      << (view.entries.size() == 1 ? " file in " : " files in ") << folders.size()
      << (folders.size() == 1 ? " folder" : " folders") << ", code page " << codepage << "\n";
  for (const Row& r : rows) {
    std::string line = r.destination + std::string(width[0] - Columns(r.destination) + 2, ' ');
    const std::string* numbers[3] = {&r.size, &r.packed, &r.ratio};
    for (int c = 0; c < 3; ++c) line += std::string(width[c + 1] - Columns(*numbers[c]), ' ') + *numbers[c] + "  ";
    line += r.checksum;
    out << line.substr(0, line.find_last_not_of(' ') + 1) << "\n";
  }
}
