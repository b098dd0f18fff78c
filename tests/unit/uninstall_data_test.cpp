// The uninstall data reader over hand-made records (well formed, cut at every
// byte, lying lengths and counts), and the folder rule in both directions.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "byte_buffer.h"
#include "install/uninstall_data.h"
#include "package/format.h"

namespace {

void PutCounted(Bytes& out, const std::string& text) {
  PutU16(out, static_cast<uint16_t>(text.size()));
  PutBytes(out, text.data(), text.size());
}

struct FileRecord {
  std::string folder;
  std::string name;
  uint8_t flags;
};

void PutHeader(Bytes& out, uint16_t tag, uint32_t length, uint16_t flags = 0) {
  uint8_t header[8];
  uninstall::PutHeader(header, tag, length);
  header[2] = static_cast<uint8_t>(flags);
  PutBytes(out, header, sizeof header);
}

Bytes FilesRecord(const std::vector<FileRecord>& files, uint16_t tag = uninstall::kTagFiles) {
  Bytes body;
  PutU32(body, static_cast<uint32_t>(files.size()));
  for (const FileRecord& f : files) {
    PutCounted(body, f.folder);
    PutCounted(body, f.name);
    if (tag == uninstall::kTagFiles) PutU8(body, f.flags);
  }
  Bytes out;
  PutHeader(out, tag, static_cast<uint32_t>(body.size()));
  PutBytes(out, body);
  return out;
}

Bytes KeyRecord(const std::string& path, uint32_t root = uninstall::kRootLocalMachine) {
  Bytes out;
  PutHeader(out, uninstall::kTagKey, static_cast<uint32_t>(path.size() + 6));
  PutU32(out, root);
  PutCounted(out, path);
  return out;
}

Bytes EndRecord() {
  Bytes out;
  PutHeader(out, uninstall::kTagEnd, 0);
  return out;
}

const std::string kKey = std::string(uninstall::kUninstallKeyPrefix) + "Product";

// The records of one installation, and where each begins.
struct Sample {
  Bytes data;
  std::vector<size_t> starts;
  void Add(const Bytes& record) {
    starts.push_back(data.size());
    PutBytes(data, record);
  }
};

Sample WellFormed() {
  Sample s;
  s.Add(FilesRecord({{".", "app.exe", 0},
                     {".\\bin", "lib.dll", uninstall::kFileSelfRegistering},
                     {"C:\\Windows\\System32", "shared.dll", uninstall::kFileShared},
                     {"C:\\Windows\\Fonts", "face.ttf", uninstall::kFileFont}}));
  s.Add(FilesRecord({{"C:\\Menu\\Programs\\Tools", "Tool.lnk", 0}}, uninstall::kTagShortcuts));
  s.Add(KeyRecord(kKey));
  s.Add(EndRecord());
  return s;
}

std::string Text(CountedText t) { return std::string(t.text, t.length); }

// Reads every record; returns the results in order and the items of the good ones.
struct Walk {
  std::vector<UninstallDataResult> results;
  std::vector<std::string> items;  // "folder|name|flags"
  std::string key;
};

Walk WalkAll(const uint8_t* data, size_t size) {
  Walk walk;
  UninstallReader reader;
  StartUninstallData(&reader, data, size);
  for (int guard = 0; !reader.finished && guard < 1000; ++guard) {
    UninstallRecord record;
    UninstallDataResult result = NextUninstallRecord(&reader, &record);
    walk.results.push_back(result);
    if (result != kDataOk) continue;
    if (record.tag == uninstall::kTagKey) {
      uint32_t root;
      CountedText path;
      ReadUninstallKey(record, &root, &path);
      walk.key = Text(path);
      continue;
    }
    UninstallItems items;
    StartUninstallItems(record, &items);
    UninstallItem item;
    while (NextUninstallItem(&items, &item))
      walk.items.push_back(Text(item.folder) + "|" + Text(item.name) + "|" + std::to_string(item.flags));
  }
  return walk;
}

Walk WalkAll(const Bytes& data) { return WalkAll(data.data(), data.size()); }

TEST(UninstallDataReader, ReadsEveryRecordOfAnInstallation) {
  Walk walk = WalkAll(WellFormed().data);
  EXPECT_EQ(walk.results, (std::vector<UninstallDataResult>{kDataOk, kDataOk, kDataOk, kDataEnd}));
  EXPECT_EQ(walk.items, (std::vector<std::string>{".|app.exe|0", ".\\bin|lib.dll|4", "C:\\Windows\\System32|shared.dll|1",
                                                  "C:\\Windows\\Fonts|face.ttf|2", "C:\\Menu\\Programs\\Tools|Tool.lnk|0"}));
  EXPECT_EQ(walk.key, kKey);

  // The placeholder alone: empty data, read cleanly.
  Walk empty = WalkAll(EndRecord());
  EXPECT_EQ(empty.results, std::vector<UninstallDataResult>{kDataEnd});

  // Bytes after the end record are not read; a record of another kind is skipped.
  Sample s = WellFormed();
  Bytes unknown;
  PutHeader(unknown, 0x4444, 3);
  PutBytes(unknown, "abc", 3);
  Bytes data = unknown;
  PutBytes(data, s.data);
  PutBytes(data, "trailing", 8);
  Walk more = WalkAll(data);
  EXPECT_EQ(more.results, (std::vector<UninstallDataResult>{kDataOk, kDataOk, kDataOk, kDataOk, kDataEnd}));
  EXPECT_EQ(more.items.size(), 5u);
}

TEST(UninstallDataReader, DataCutAnywhereEndsWithoutTheEndRecord) {
  Sample s = WellFormed();
  for (size_t cut = 0; cut < s.data.size(); ++cut) {
    // A copy of exactly `cut` bytes, so that a read past it is caught by the sanitizers.
    std::vector<uint8_t> part(s.data.begin(), s.data.begin() + static_cast<long>(cut));
    Walk walk = WalkAll(part.data(), part.size());
    ASSERT_FALSE(walk.results.empty());
    UninstallDataResult last = walk.results.back();
    EXPECT_TRUE(last == kDataMissingEnd || last == kDataHeaderCut || last == kDataLengthPastEnd) << "cut at " << cut;
    // Every record that lies wholly before the cut is read as it was written.
    size_t whole = 0;
    for (size_t i = 1; i < s.starts.size(); ++i)
      if (s.starts[i] <= cut) whole = i;
    for (size_t i = 0; i < whole; ++i) EXPECT_EQ(walk.results[i], kDataOk) << "cut at " << cut;
    bool atBoundary = false;
    for (size_t start : s.starts) atBoundary = atBoundary || start == cut;
    if (atBoundary) {
      EXPECT_EQ(last, kDataMissingEnd) << "cut at " << cut;
    }
  }
}

TEST(UninstallDataReader, RefusesDamagedRecordsOneByOne) {
  // A count that promises more records than the body holds, then one with
  // bytes left over: each is refused, and the reader goes on behind it.
  Bytes tooFew = FilesRecord({{".", "a.txt", 0}});
  format::WriteU32(tooFew.data() + 8, 2);
  Bytes leftOver = FilesRecord({{".", "b.txt", 0}, {".", "c.txt", 0}});
  format::WriteU32(leftOver.data() + 8, 1);
  Bytes compressed = FilesRecord({{".", "d.txt", 0}});
  compressed[2] = 1;
  Bytes shortBody;
  PutHeader(shortBody, uninstall::kTagShortcuts, 2);
  PutU16(shortBody, 0);
  // A body one byte shorter than its key path's length plus 6.
  Bytes badKey = KeyRecord(kKey);
  badKey.pop_back();
  format::WriteU32(badKey.data() + 4, static_cast<uint32_t>(kKey.size() + 5));
  Bytes hugeCount = FilesRecord({{".", "e.txt", 0}});
  format::WriteU32(hugeCount.data() + 8, 0xFFFFFFFF);
  Bytes good = FilesRecord({{".", "kept.txt", 0}});

  Bytes data;
  for (const Bytes* r : {&tooFew, &leftOver, &compressed, &shortBody, &badKey, &hugeCount, &good}) PutBytes(data, *r);
  Bytes endWithBody;
  PutHeader(endWithBody, uninstall::kTagEnd, 1);
  PutU8(endWithBody, 0);
  PutBytes(data, endWithBody);

  Walk walk = WalkAll(data);
  EXPECT_EQ(walk.results, (std::vector<UninstallDataResult>{kDataItemPastEnd, kDataCountMismatch, kDataCompressed,
                                                            kDataBodyTooShort, kDataKeyLengthMismatch,
                                                            kDataItemPastEnd, kDataOk, kDataEndHasBody}));
  EXPECT_EQ(walk.items, std::vector<std::string>{".|kept.txt|0"});
  for (UninstallDataResult r : walk.results) {
    if (r != kDataOk) {
      EXPECT_STRNE(UninstallDataProblem(r), "");
    }
  }
}

TEST(UninstallDataReader, ALengthPastTheEndStopsTheReader) {
  Sample s = WellFormed();
  Bytes data = s.data;
  // The shortcut record's length now runs far past the end.
  format::WriteU32(data.data() + s.starts[1] + 4, 100000);
  Walk walk = WalkAll(data);
  EXPECT_EQ(walk.results, (std::vector<UninstallDataResult>{kDataOk, kDataLengthPastEnd}));
  format::WriteU32(data.data() + s.starts[1] + 4, 0xFFFFFFF8);
  EXPECT_EQ(WalkAll(data).results, (std::vector<UninstallDataResult>{kDataOk, kDataLengthPastEnd}));
}

std::string FolderOf(const std::string& path, const std::string& destination) {
  char folder[format::kPathBufferSize];
  memset(folder, '#', sizeof folder);
  RecordedFolderOf(folder, path.c_str(), destination.c_str());
  return folder;
}

TEST(UninstallFolderRule, RecordsFoldersRelativeToTheDestination) {
  EXPECT_EQ(FolderOf("D:\\Apps\\Tool\\bin\\x.dll", "D:\\Apps\\Tool\\"), ".\\bin");
  EXPECT_EQ(FolderOf("D:\\Apps\\Tool\\x.dll", "D:\\Apps\\Tool\\"), ".");
  EXPECT_EQ(FolderOf("d:\\apps\\TOOL\\Sub\\Deep\\y.txt", "D:\\Apps\\Tool"), ".\\Sub\\Deep");
  EXPECT_EQ(FolderOf("C:\\Windows\\System32\\x.dll", "D:\\Apps\\Tool\\"), "C:\\Windows\\System32");
  // A folder whose name only begins like the destination's is not below it.
  EXPECT_EQ(FolderOf("D:\\Apps\\Tool2\\x.dll", "D:\\Apps\\Tool"), "D:\\Apps\\Tool2");
  EXPECT_EQ(FolderOf("D:\\Apps\\Tool2\\x.dll", "D:\\Apps\\Tool\\"), "D:\\Apps\\Tool2");
  EXPECT_EQ(FolderOf("C:\\x.dll", "D:\\Apps\\Tool\\"), "C:");
  EXPECT_EQ(FolderOf("C:\\x.dll", "C:\\"), ".");
}

struct Resolved {
  RecordedPathResult result;
  std::string path;
};

Resolved Resolve(const std::string& folder, const std::string& name, const char* destination = "D:\\Apps\\Tool") {
  char path[format::kPathBufferSize + 16];
  memset(path, '#', sizeof path);
  CountedText f = {folder.data(), static_cast<uint16_t>(folder.size())};
  CountedText n = {name.data(), static_cast<uint16_t>(name.size())};
  RecordedPathResult result = RecordedPath(path, f, n, destination);
  EXPECT_EQ(path[format::kPathBufferSize], '#') << "the path buffer was overrun";
  return {result, path};
}

TEST(UninstallFolderRule, ResolvesWhatTheSetupRecorded) {
  // Every folder the writer produces resolves back to the same path.
  for (std::string path : {"D:\\Apps\\Tool\\bin\\x.dll", "D:\\Apps\\Tool\\x.dll", "D:\\Apps\\Tool\\a b\\c d\\e f.txt",
                           "C:\\Windows\\System32\\x.dll", "C:\\x.dll"}) {
    std::string folder = FolderOf(path, "D:\\Apps\\Tool\\");
    std::string name = path.substr(path.rfind('\\') + 1);
    Resolved r = Resolve(folder, name);
    EXPECT_EQ(r.path, path);
    EXPECT_EQ(r.result, folder[0] == '.' ? kPathRelative : kPathAbsolute) << path;
  }
  EXPECT_EQ(Resolve(".", "x.dll", "C:\\").path, "C:\\x.dll");
  Resolved unc = Resolve("\\\\server\\share\\dir", "x.dll");
  EXPECT_EQ(unc.result, kPathAbsolute);
  EXPECT_EQ(unc.path, "\\\\server\\share\\dir\\x.dll");
}

TEST(UninstallFolderRule, RefusesWhatCouldClimbOutOrNameSomethingElse) {
  const struct {
    const char* folder;
    std::string name;
    RecordedPathResult expected;
  } cases[] = {
      {".\\..", "x.txt", kPathClimbsOut},
      {".\\..\\..\\Windows", "x.txt", kPathClimbsOut},
      {".\\bin\\..\\..\\x", "x.txt", kPathClimbsOut},
      {".\\.", "x.txt", kPathClimbsOut},
      {"C:\\Windows\\..\\Users", "x.txt", kPathClimbsOut},
      {"\\\\.\\pipe", "x", kPathClimbsOut},
      {".\\bin\\", "x.txt", kPathBadFolder},
      {".\\", "x.txt", kPathBadFolder},
      {".\\a\\\\b", "x.txt", kPathBadFolder},
      {".\\.. ", "x.txt", kPathBadFolder},   // Windows would drop the space
      {".\\bin.", "x.txt", kPathBadFolder},
      {"..", "x.txt", kPathBadFolder},
      {"..\\x", "x.txt", kPathBadFolder},
      {"", "x.txt", kPathBadFolder},
      {"bin", "x.txt", kPathBadFolder},
      {"C:Windows", "x.txt", kPathBadFolder},
      {"C:\\", "x.txt", kPathBadFolder},
      {"C:/Windows", "x.txt", kPathBadFolder},
      {".\\a/..", "x.txt", kPathBadFolder},
      {"\\\\?\\C:\\x", "x.txt", kPathBadFolder},
      {".\\a:b", "x.txt", kPathBadFolder},
      {".", "", kPathBadName},
      {".", ".", kPathBadName},
      {".", "..", kPathBadName},
      {".", "a\\b", kPathBadName},
      {".", "a/b", kPathBadName},
      {".", "c:x", kPathBadName},
      {".", "x.", kPathBadName},
      {".", "x ", kPathBadName},
      {".", "a*b", kPathBadName},
      {".", std::string("a\0b", 3), kPathBadName},
      {".", "a\nb", kPathBadName},
      {".", std::string(300, 'n'), kPathTooLong},
      {"C:\\Windows", std::string(249, 'n'), kPathTooLong},
  };
  for (const auto& c : cases) {
    Resolved r = Resolve(c.folder, c.name);
    EXPECT_EQ(r.result, c.expected) << "folder \"" << c.folder << "\" name \"" << c.name << "\"";
    EXPECT_EQ(r.path, "") << c.folder;
  }
  // A folder with a NUL inside, which would otherwise cut the path short.
  EXPECT_EQ(Resolve(std::string(".\\a\0\\..", 7), "x").result, kPathBadFolder);
  // The longest path that fits is taken whole.
  EXPECT_EQ(Resolve("C:\\Windows", std::string(248, 'n')).path.size(), 259u);
  // Without a destination folder nothing relative resolves.
  EXPECT_EQ(Resolve(".", "x.txt", "").result, kPathBadFolder);
}

TEST(UninstallFolderRule, InsideAFolderMeansAtOrBelowIt) {
  EXPECT_TRUE(IsInsideFolder("C:\\Windows\\System32\\x.dll", "C:\\WINDOWS"));
  EXPECT_TRUE(IsInsideFolder("C:\\Windows\\System32\\x.dll", "c:\\windows\\"));
  EXPECT_TRUE(IsInsideFolder("C:\\Windows", "C:\\Windows"));
  EXPECT_FALSE(IsInsideFolder("C:\\WindowsApps\\x.dll", "C:\\Windows"));
  EXPECT_FALSE(IsInsideFolder("C:\\Win", "C:\\Windows"));
  EXPECT_FALSE(IsInsideFolder("C:\\x.dll", ""));
}

}  // namespace
