#include <gtest/gtest.h>

#include <string.h>

#include <map>
#include <string>
#include <vector>

#include "install/paths.h"
#include "package/format.h"

namespace {

// A 260-byte path buffer followed by guard bytes that must survive.
struct PathBuffer {
  char bytes[format::kPathBufferSize + 64];
  explicit PathBuffer(const std::string& text) {
    memset(bytes, '#', sizeof(bytes));
    size_t n = std::min(text.size(), format::kPathBufferSize - 1);
    memcpy(bytes, text.data(), n);
    bytes[n] = 0;
  }
  std::string text() const { return bytes; }
  bool GuardIntact() const {
    for (size_t i = format::kPathBufferSize; i < sizeof(bytes); ++i)
      if (bytes[i] != '#') return false;
    return strlen(bytes) < format::kPathBufferSize;
  }
};

std::string Appended(const std::string& path) {
  PathBuffer b(path);
  AppendBackslash(b.bytes);
  EXPECT_TRUE(b.GuardIntact());
  return b.text();
}

std::string Stripped(const std::string& path) {
  PathBuffer b(path);
  StripBackslash(b.bytes);
  return b.text();
}

std::string WithExtension(const std::string& path, const char* extension) {
  PathBuffer b(path);
  ReplaceExtension(b.bytes, extension);
  EXPECT_TRUE(b.GuardIntact());
  return b.text();
}

TEST(PathOperations, AppendBackslash) {
  EXPECT_EQ(Appended(""), "");
  EXPECT_EQ(Appended("C:"), "C:\\");
  EXPECT_EQ(Appended("C:\\"), "C:\\");
  EXPECT_EQ(Appended("C:\\Apps"), "C:\\Apps\\");
  // A full buffer is not overrun.
  std::string full(259, 'f');
  EXPECT_EQ(Appended(full), full);
  EXPECT_EQ(Appended(std::string(258, 'f')), std::string(258, 'f') + "\\");
}

TEST(PathOperations, StripBackslashKeepsDriveRoots) {
  EXPECT_EQ(Stripped("C:\\"), "C:\\");
  EXPECT_EQ(Stripped("C:\\A\\"), "C:\\A");
  EXPECT_EQ(Stripped("C:\\A\\\\"), "C:\\A\\");  // one only
  EXPECT_EQ(Stripped("C:\\A"), "C:\\A");
  EXPECT_EQ(Stripped("ab\\"), "ab\\");
  EXPECT_EQ(Stripped(""), "");
}

TEST(PathOperations, ReplaceExtensionLooksAtTheLastComponentOnly) {
  EXPECT_EQ(WithExtension("C:\\Dir.x\\file", ".$$A"), "C:\\Dir.x\\file.$$A");
  EXPECT_EQ(WithExtension("C:\\Dir\\file.dll", ".$$A"), "C:\\Dir\\file.$$A");
  EXPECT_EQ(WithExtension("C:\\Dir\\archive.tar.gz", ".D01"), "C:\\Dir\\archive.tar.D01");
  EXPECT_EQ(WithExtension("setup.exe", ".D02"), "setup.D02");
  EXPECT_EQ(WithExtension("C:\\Dir\\.hidden", ".$$A"), "C:\\Dir\\.$$A");
  EXPECT_EQ(WithExtension("C:\\Dir\\", ".$$A"), "C:\\Dir\\.$$A");
  // A name that does not fit is cut at 259 characters and reported as cut:
  // the cut text names another file.
  std::string longName = "C:\\" + std::string(254, 'n');
  EXPECT_EQ(WithExtension(longName, ".$$A"), longName + ".$");
  PathBuffer cut(longName);
  EXPECT_FALSE(ReplaceExtension(cut.bytes, ".$$A"));
  PathBuffer fits("C:\\" + std::string(252, 'n'));
  EXPECT_TRUE(ReplaceExtension(fits.bytes, ".$$A"));
}

TEST(PathOperations, CutFileComponentOfARememberedValue) {
  PathBuffer b("D:\\Apps\\Tool\\tool.exe");
  EXPECT_TRUE(CutFileComponent(b.bytes));
  EXPECT_EQ(b.text(), "D:\\Apps\\Tool");
  // A dot only in a folder name above does not count.
  PathBuffer folder("D:\\Apps.old\\Tool");
  EXPECT_FALSE(CutFileComponent(folder.bytes));
  EXPECT_EQ(folder.text(), "D:\\Apps.old\\Tool");
  // Without any backslash there is no folder to cut back to.
  PathBuffer bare("tool.exe");
  EXPECT_FALSE(CutFileComponent(bare.bytes));
  EXPECT_EQ(bare.text(), "tool.exe");
}

TEST(PathOperations, LastComponentAndJoins) {
  EXPECT_STREQ(LastComponent("sub\\dir\\file.dll"), "file.dll");
  EXPECT_STREQ(LastComponent("file.dll"), "file.dll");
  EXPECT_STREQ(LastComponent("dir\\"), "");

  PathBuffer b("");
  BesideSourcePath(b.bytes, "A:\\disk1\\setup.exe", "readme.txt");
  EXPECT_EQ(b.text(), "A:\\disk1\\readme.txt");
  BesideSourcePath(b.bytes, "setup.exe", "readme.txt");
  EXPECT_EQ(b.text(), "setup.exereadme.txt");  // no folder part: the whole path
  EXPECT_FALSE(BesideSourcePath(b.bytes, ("C:\\" + std::string(250, 's') + "\\setup.exe").c_str(), "a-long-name.txt"));
  EXPECT_TRUE(b.GuardIntact());
  EXPECT_EQ(b.text().size(), 259u);

  EXPECT_TRUE(JoinPath(b.bytes, "C:\\Apps", "sub\\f.txt"));
  EXPECT_EQ(b.text(), "C:\\Apps\\sub\\f.txt");
  JoinPath(b.bytes, "C:\\", "f.txt");
  EXPECT_EQ(b.text(), "C:\\f.txt");
  JoinPath(b.bytes, "", "f.txt");
  EXPECT_EQ(b.text(), "f.txt");
  // The folder may already be in the target buffer.
  strcpy(b.bytes, "C:\\Win");
  JoinPath(b.bytes, b.bytes, "x.dll");
  EXPECT_EQ(b.text(), "C:\\Win\\x.dll");
  EXPECT_FALSE(JoinPath(b.bytes, std::string(300, 'w').c_str(), "x.dll"));
  EXPECT_TRUE(b.GuardIntact());
  EXPECT_FALSE(JoinPath(b.bytes, std::string(255, 'w').c_str(), "x.dll"));
  EXPECT_TRUE(JoinPath(b.bytes, std::string(253, 'w').c_str(), "x.dll"));
}

// A file entry with the given option flags and strings, and its size field
// set to cover exactly what was written.
std::vector<uint8_t> Entry(uint8_t options, const std::vector<std::string>& strings) {
  std::vector<uint8_t> e(format::kEntryFixedSize, 0);
  e[format::kEntryOptions] = options;
  if (options & (format::kOptionCheckVersion | format::kOptionCheckLanguage))
    e.insert(e.end(), format::kEntryVersionBlockSize, 0xEE);  // no NULs to stop at
  if (options & format::kOptionFileTimes) e.insert(e.end(), format::kEntryFileTimesSize, 0xDD);
  for (const std::string& s : strings) {
    e.insert(e.end(), s.begin(), s.end());
    e.push_back(0);
  }
  format::WriteU32(e.data(), static_cast<uint32_t>(e.size()));
  return e;
}

TEST(EntryStrings, FoundBehindTheOptionalBlocks) {
  const std::vector<std::string> strings = {"bin\\tool.exe", "#Start Menu#;Tools", "Tool", "/x", "", "-d"};
  for (uint8_t options : {0, 1, 2, 4, 6, 8, 10, 15}) {
    std::vector<uint8_t> e = Entry(options, strings);
    for (int n = 0; n < 6; ++n) EXPECT_EQ(EntryString(e.data(), n), strings[n]) << int(options) << " " << n;
  }
}

TEST(EntryStrings, DamagedEntriesGiveEmptyTexts) {
  std::vector<uint8_t> e = Entry(format::kOptionFileTimes, {"a.txt", "b", "c"});  // three of six
  EXPECT_STREQ(EntryString(e.data(), 0), "a.txt");
  EXPECT_STREQ(EntryString(e.data(), 2), "c");
  EXPECT_STREQ(EntryString(e.data(), 3), "");
  EXPECT_STREQ(EntryString(e.data(), 5), "");
  EXPECT_STREQ(EntryString(e.data(), 6), "");
  EXPECT_STREQ(EntryString(e.data(), -1), "");

  // The size field ends the entry inside its last string.
  format::WriteU32(e.data(), static_cast<uint32_t>(e.size() - 1));
  EXPECT_STREQ(EntryString(e.data(), 2), "");
  // A size too small even for the fixed part and the blocks.
  format::WriteU32(e.data(), 30);
  EXPECT_STREQ(EntryString(e.data(), 0), "");
}

TEST(FolderMacros, RecognisedAtTheStartInAnyCase) {
  size_t length = 99;
  EXPECT_EQ(ParseFolderMacro("#Windows#\\Fonts2", &length), kMacroWindows);
  EXPECT_EQ(length, 9u);
  EXPECT_EQ(ParseFolderMacro("#windows#\\Fonts2", &length), kMacroWindows);
  EXPECT_EQ(ParseFolderMacro("#SYSTEM#", &length), kMacroSystem);
  EXPECT_EQ(length, 8u);
  EXPECT_EQ(ParseFolderMacro("#pRoGrAm fIlEs#\\Tools", &length), kMacroProgramFiles);
  EXPECT_EQ(length, 15u);
  EXPECT_EQ(ParseFolderMacro("#start menu#", &length), kMacroStartMenu);
  EXPECT_EQ(ParseFolderMacro("#Startup#", &length), kMacroStartup);

  EXPECT_EQ(ParseFolderMacro("#Other#\\Tools", &length), kMacroUnknown);
  EXPECT_EQ(length, 7u);
  EXPECT_EQ(ParseFolderMacro("##rest", &length), kMacroUnknown);
  EXPECT_EQ(length, 2u);
  EXPECT_EQ(ParseFolderMacro("#Windows #", &length), kMacroUnknown);
  EXPECT_EQ(ParseFolderMacro("#Window#", &length), kMacroUnknown);
  EXPECT_EQ(ParseFolderMacro("#Windowss#", &length), kMacroUnknown);

  EXPECT_EQ(ParseFolderMacro("#Program Files\\Tools", &length), kMacroNone);
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(ParseFolderMacro("C:\\#Windows#", &length), kMacroNone);
  EXPECT_EQ(ParseFolderMacro("#", &length), kMacroNone);
  EXPECT_EQ(ParseFolderMacro("", &length), kMacroNone);
}

std::string Expanded(const std::string& text, const char* value) {
  PathBuffer b(text);
  size_t length;
  if (ParseFolderMacro(b.bytes, &length) != kMacroNone) ReplaceFolderMacro(b.bytes, length, value);
  EXPECT_TRUE(b.GuardIntact());
  return b.text();
}

TEST(FolderMacros, ReplacedByTheirValue) {
  EXPECT_EQ(Expanded("#Program Files#\\Tools", "C:\\Program Files"), "C:\\Program Files\\Tools");
  EXPECT_EQ(Expanded("#Program Files#Tools", "C:\\Program Files"), "C:\\Program Files\\Tools");
  EXPECT_EQ(Expanded("#Windows#\\\\Two", "C:\\WINDOWS"), "C:\\WINDOWS\\\\Two");  // one '\' left out only
  EXPECT_EQ(Expanded("#Windows#", "C:\\WINDOWS"), "C:\\WINDOWS\\");
  EXPECT_EQ(Expanded("#System#\\x", "C:\\"), "C:\\x");
  // No value (unknown macro, unreadable setting): only the rest remains.
  EXPECT_EQ(Expanded("#Other#\\Tools", ""), "Tools");
  EXPECT_EQ(Expanded("#Program Files\\Tools", "unused"), "#Program Files\\Tools");
  // A long value and rest are cut to the buffer.
  EXPECT_EQ(Expanded("#Windows#\\" + std::string(200, 'r'), std::string(200, 'v').c_str()).size(), 259u);
}

// Stored names of a small imaginary disk, looked up without regard to case;
// every lookup is recorded.
class LongNames : public ::testing::Test {
 protected:
  static bool Lookup(const char* path, char* foundName) {
    lookups_.push_back(path);
    std::string key = Upper(path);
    auto it = disk_.find(key);
    if (it == disk_.end()) return false;
    strcpy(foundName, it->second.c_str());
    return true;
  }
  static std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
    return s;
  }
  void SetUp() override {
    lookups_.clear();
    disk_.clear();
    Add("C:\\PROGRA~1", "Program Files");
    Add("C:\\Program Files", "Program Files");
    Add("C:\\Program Files\\Tools", "Tools");
    Add("C:\\Program Files\\Tools\\README~1.TXT", "Read me first.txt");
  }
  static void Add(const std::string& path, const std::string& stored) { disk_[Upper(path)] = stored; }
  std::string Converted(const std::string& path) {
    PathBuffer b(path);
    ConvertToLongNameWith(b.bytes, Lookup);
    EXPECT_TRUE(b.GuardIntact());
    return b.text();
  }

  static std::map<std::string, std::string> disk_;
  static std::vector<std::string> lookups_;
};
std::map<std::string, std::string> LongNames::disk_;
std::vector<std::string> LongNames::lookups_;

TEST_F(LongNames, EachComponentTakesItsStoredName) {
  EXPECT_EQ(Converted("C:\\PROGRA~1\\tools\\readme~1.txt"), "C:\\Program Files\\Tools\\Read me first.txt");
  std::vector<std::string> expected = {"C:\\PROGRA~1", "C:\\Program Files\\tools",
                                       "C:\\Program Files\\Tools\\readme~1.txt"};
  EXPECT_EQ(lookups_, expected);
  EXPECT_EQ(Converted("c:\\program files\\TOOLS"), "c:\\Program Files\\Tools");
}

TEST_F(LongNames, TrailingBackslashDroppedOnSuccess) {
  EXPECT_EQ(Converted("C:\\program files\\tools\\"), "C:\\Program Files\\Tools");
  EXPECT_EQ(Converted("C:\\\\program files"), "C:\\Program Files");  // backslashes after the drive
}

TEST_F(LongNames, AnyFailedLookupLeavesThePath) {
  EXPECT_EQ(Converted("C:\\PROGRA~1\\missing\\x"), "C:\\PROGRA~1\\missing\\x");
  EXPECT_EQ(Converted("C:\\PROGRA~1\\tools\\missing"), "C:\\PROGRA~1\\tools\\missing");
  EXPECT_EQ(Converted("C:\\"), "C:\\");
  EXPECT_EQ(Converted(""), "");
  // A network path has no drive part; its first lookup is "\server".
  lookups_.clear();
  EXPECT_EQ(Converted("\\\\server\\share\\dir"), "\\\\server\\share\\dir");
  ASSERT_FALSE(lookups_.empty());
  EXPECT_EQ(lookups_[0], "\\server");
}

TEST_F(LongNames, WildcardsAreNeverLookedUp) {
  lookups_.clear();
  EXPECT_EQ(Converted("C:\\PROGRA~1\\*"), "C:\\PROGRA~1\\*");
  EXPECT_EQ(Converted("C:\\PROGRA?1"), "C:\\PROGRA?1");
  EXPECT_TRUE(lookups_.empty());
}

TEST_F(LongNames, LongerStoredNamesThatDoNotFitLeaveThePath) {
  std::string deep = "C:\\PROGRA~1\\" + std::string(240, 'd');
  Add("C:\\Program Files\\" + std::string(240, 'd'), std::string(240, 'd'));
  // 11 + 1 + 240 = 252 characters short, 3 more once PROGRA~1 becomes Program Files.
  EXPECT_EQ(Converted(deep), "C:\\Program Files\\" + std::string(240, 'd'));
  std::string tooDeep = "C:\\PROGRA~1\\" + std::string(245, 'e');
  Add("C:\\Program Files\\" + std::string(245, 'e'), std::string(245, 'e'));
  EXPECT_EQ(Converted(tooDeep), tooDeep);
}

}  // namespace
