// Test helper for the uninstaller's end-to-end test, run on the host.
//
//   uninstall_records write <uninstaller.exe> <layout.txt>
//     writes uninstall records over the uninstaller's 8-byte placeholder, as
//     a setup does, and prints "record <tag> <offset>" for every record and
//     "size <bytes>" for the file, so that a test can cut it at boundaries.
//   uninstall_records read <uninstaller.exe>
//     prints the records a setup wrote behind the uninstaller, one line each:
//     "file <flags> <folder>|<name>", "shortcut <folder>|<name>",
//     "key <root, hex> <key path>", "end", or "damaged <what>".
//   uninstall_records font <file.ttf> <full name>
//     writes a TrueType file that holds only a naming table with that
//     Macintosh full name (enough for the uninstaller to find its value).
//
// Layout lines, fields separated by '|':
//   files | shortcuts          starts a record of file or shortcut entries
//   file|<flags>|<folder>|<name>
//   shortcut|<folder>|<name>
//   key|<root, hex>|<key path>
//   end
//   length|<n>  count|<n>      adds n to the length or count of the record
//                              just started: damaged data on purpose
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "byte_buffer.h"
#include "install/uninstall_data.h"
#include "package/format.h"

namespace {

struct Record {
  uint16_t tag;
  Bytes body;
  uint32_t count = 0;
  int64_t lengthChange = 0;
  int64_t countChange = 0;
};

std::vector<std::string> Split(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, '|')) fields.push_back(field);
  return fields;
}

void PutCounted(Bytes& out, const std::string& text) {
  PutU16(out, static_cast<uint16_t>(text.size()));
  PutBytes(out, text.data(), text.size());
}

int Fail(const std::string& message) {
  std::cerr << "uninstall_records: " << message << "\n";
  return 2;
}

int Write(const char* uninstaller, const char* layoutFile) {
  std::ifstream layout(layoutFile);
  if (!layout) return Fail(std::string("cannot read ") + layoutFile);
  std::vector<Record> records;
  std::string line;
  while (std::getline(layout, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    std::vector<std::string> f = Split(line);
    const std::string& what = f[0];
    if (what == "files" || what == "shortcuts") {
      records.push_back({what == "files" ? uninstall::kTagFiles : uninstall::kTagShortcuts, {}});
    } else if (what == "file" && f.size() == 4 && !records.empty()) {
      PutCounted(records.back().body, f[2]);
      PutCounted(records.back().body, f[3]);
      PutU8(records.back().body, static_cast<uint8_t>(std::stoul(f[1])));
      ++records.back().count;
    } else if (what == "shortcut" && f.size() == 3 && !records.empty()) {
      PutCounted(records.back().body, f[1]);
      PutCounted(records.back().body, f[2]);
      ++records.back().count;
    } else if (what == "key" && f.size() == 3) {
      Record key{uninstall::kTagKey, {}};
      PutU32(key.body, static_cast<uint32_t>(std::stoul(f[1], nullptr, 16)));
      PutCounted(key.body, f[2]);
      records.push_back(key);
    } else if (what == "end") {
      records.push_back({uninstall::kTagEnd, {}});
    } else if ((what == "length" || what == "count") && f.size() == 2 && !records.empty()) {
      (what == "length" ? records.back().lengthChange : records.back().countChange) += std::stoll(f[1]);
    } else {
      return Fail("cannot read the layout line: " + line);
    }
  }

  FILE* file = fopen(uninstaller, "r+b");
  if (!file) return Fail(std::string("cannot open ") + uninstaller);
  fseek(file, 0, SEEK_END);
  long size = ftell(file);
  uint8_t placeholder[8];
  fseek(file, size - 8, SEEK_SET);
  if (size < 8 || fread(placeholder, 1, 8, file) != 8 || format::ReadU16(placeholder) != uninstall::kTagEnd ||
      format::ReadU32(placeholder + 4) != 0) {
    fclose(file);
    return Fail(std::string(uninstaller) + " does not end with the uninstaller's placeholder");
  }
  Bytes data;
  for (const Record& r : records) {
    Bytes body;
    if (r.tag == uninstall::kTagFiles || r.tag == uninstall::kTagShortcuts)
      PutU32(body, static_cast<uint32_t>(r.count + r.countChange));
    PutBytes(body, r.body);
    std::cout << "record " << std::hex << r.tag << std::dec << " " << size - 8 + static_cast<long>(data.size()) << "\n";
    uint8_t header[8];
    uninstall::PutHeader(header, r.tag, static_cast<uint32_t>(body.size() + r.lengthChange));
    PutBytes(data, header, sizeof header);
    PutBytes(data, body);
  }
  fseek(file, size - 8, SEEK_SET);
  bool written = fwrite(data.data(), 1, data.size(), file) == data.size();
  written = fclose(file) == 0 && written;
  if (!written || truncate(uninstaller, size - 8 + static_cast<long>(data.size())) != 0)
    return Fail(std::string("cannot write ") + uninstaller);
  std::cout << "size " << size - 8 + static_cast<long>(data.size()) << "\n";
  return 0;
}

void PutBig16(Bytes& b, uint32_t v) {
  b.push_back(static_cast<uint8_t>(v >> 8));
  b.push_back(static_cast<uint8_t>(v));
}

int Font(const char* path, const std::string& fullName) {
  Bytes b;
  PutBig16(b, 1);
  PutBig16(b, 0);
  PutBig16(b, 1);   // one table
  PutBig16(b, 16);
  PutBig16(b, 0);
  PutBig16(b, 0);
  b.insert(b.end(), {'n', 'a', 'm', 'e', 0, 0, 0, 0, 0, 0, 0, 28, 0, 0, 0, 0});
  PutBig16(b, 0);
  PutBig16(b, 1);   // one name record
  PutBig16(b, 18);  // storage right after it
  for (uint32_t v : {1u, 0u, 0u, 4u, static_cast<uint32_t>(fullName.size()), 0u}) PutBig16(b, v);
  b.insert(b.end(), fullName.begin(), fullName.end());
  FILE* file = fopen(path, "wb");
  if (!file) return Fail(std::string("cannot create ") + path);
  bool written = fwrite(b.data(), 1, b.size(), file) == b.size();
  return fclose(file) == 0 && written ? 0 : Fail(std::string("cannot write ") + path);
}

std::string Text(const CountedText& t) { return std::string(t.text, t.length); }

int Read(const char* uninstaller) {
  std::ifstream in(uninstaller, std::ios::binary);
  Bytes file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The configuration block: 'w' 'w' "UnIn" and the uninstaller's own length.
  static const uint8_t kMarker[] = {'w', 'w', 'U', 'n', 'I', 'n'};
  auto block = std::search(file.begin(), file.end(), std::begin(kMarker), std::end(kMarker));
  if (block == file.end() || file.end() - block < 10) return Fail(std::string(uninstaller) + " is no uninstaller");
  uint32_t length = format::ReadU32(&*block + 6);
  if (length < uninstall::kHeaderSize || length > file.size()) return Fail("the uninstaller's own length is wrong");
  UninstallReader reader;
  StartUninstallData(&reader, file.data() + length - uninstall::kHeaderSize, file.size() - length + uninstall::kHeaderSize);
  UninstallRecord record;
  for (;;) {
    UninstallDataResult result = NextUninstallRecord(&reader, &record);
    if (result == kDataEnd) {
      std::cout << "end\n";
      break;
    }
    if (result != kDataOk) {
      std::cout << "damaged " << UninstallDataProblem(result) << "\n";
      if (reader.finished) break;
      continue;
    }
    if (record.tag == uninstall::kTagKey) {
      uint32_t root;
      CountedText path;
      ReadUninstallKey(record, &root, &path);
      std::cout << "key " << std::hex << root << std::dec << " " << Text(path) << "\n";
    } else if (record.tag == uninstall::kTagFiles || record.tag == uninstall::kTagShortcuts) {
      UninstallItems items;
      UninstallItem item;
      StartUninstallItems(record, &items);
      while (NextUninstallItem(&items, &item)) {
        if (record.tag == uninstall::kTagFiles) std::cout << "file " << int(item.flags) << " ";
        else std::cout << "shortcut ";
        std::cout << Text(item.folder) << "|" << Text(item.name) << "\n";
      }
    }
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && strcmp(argv[1], "read") == 0) return Read(argv[2]);
  if (argc == 4 && strcmp(argv[1], "write") == 0) return Write(argv[2], argv[3]);
  if (argc == 4 && strcmp(argv[1], "font") == 0) return Font(argv[2], argv[3]);
  std::cerr << "usage: uninstall_records write <uninstaller.exe> <layout.txt>\n"
               "       uninstall_records read <uninstaller.exe>\n"
               "       uninstall_records font <file.ttf> <full name>\n";
  return 2;
}
