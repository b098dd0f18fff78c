#include <gtest/gtest.h>

#include <string.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "default_templates.h"
#include "default_texts.h"
#include "dialog_template.h"
#include "package/format.h"
#include "res_reader.h"
#include "template_record.h"

namespace {

// ---- the texts ------------------------------------------------------------------

enum Arg { kNone, kStr, kInt };

struct UsedText {
  int group;
  int entry;
  Arg arg;
};

// Every (group, entry) the setup program reads, and what it formats the text
// with. Written from the stub's screens and messages, not from the table.
const UsedText kUsed[] = {
    // Page captions and the four page texts of pages 0 to 5.
    {0, 0, kNone}, {0, 1, kNone}, {0, 2, kNone}, {0, 3, kNone}, {0, 4, kNone},
    {1, 0, kNone}, {1, 1, kNone}, {1, 2, kNone}, {1, 3, kNone}, {1, 4, kNone},
    {2, 0, kNone}, {2, 1, kNone}, {2, 2, kNone}, {2, 3, kNone}, {2, 4, kNone},
    {3, 0, kNone}, {3, 1, kNone}, {3, 2, kStr},  {3, 3, kNone}, {3, 4, kNone},
    {4, 0, kNone}, {4, 1, kNone}, {4, 2, kNone}, {4, 3, kNone}, {4, 4, kNone},
    {5, 0, kNone}, {5, 1, kNone}, {5, 2, kNone}, {5, 3, kNone}, {5, 4, kStr},
    // Destination page labels and space figures; finish page extras.
    {2, 5, kNone}, {2, 6, kNone}, {2, 7, kInt},
    {5, 5, kNone}, {5, 6, kNone}, {5, 7, kNone},
    // Title, folder browser, destination checks, questions and messages.
    {6, 0, kNone}, {6, 1, kNone}, {6, 2, kNone}, {6, 3, kNone}, {6, 4, kNone}, {6, 5, kNone},
    {6, 6, kNone}, {6, 7, kNone}, {6, 8, kNone}, {6, 11, kNone}, {6, 13, kNone}, {6, 14, kNone},
    {6, 15, kNone}, {6, 28, kInt}, {6, 29, kStr}, {6, 30, kStr}, {6, 31, kNone},
    // Error messages, formatted with the error file name.
    {6, 9, kStr}, {6, 16, kStr}, {6, 17, kStr}, {6, 21, kStr}, {6, 22, kStr},
    // Buttons.
    {7, 0, kNone}, {7, 1, kNone}, {7, 2, kNone}, {7, 3, kNone}, {7, 4, kNone}, {7, 5, kNone}, {7, 6, kNone},
};

// The conversions wsprintfA would act on, e.g. {"%s"} or {"%u", "%-5d"}.
std::vector<std::string> Conversions(const std::string& text) {
  std::vector<std::string> found;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') continue;
    if (i + 1 < text.size() && text[i + 1] == '%') {
      ++i;
      continue;
    }
    size_t j = i + 1;
    while (j < text.size() && strchr("-#0+ .0123456789lhI", text[j])) ++j;
    found.push_back(text.substr(i, j < text.size() ? j - i + 1 : j - i));
    i = j;
  }
  return found;
}

TEST(DefaultTexts, EveryTextTheStubReadsHasADefaultOfTheRightKind) {
  for (const UsedText& used : kUsed) {
    SCOPED_TRACE(std::to_string(used.group) + "," + std::to_string(used.entry));
    const DefaultText* text = FindDefaultText(used.group, used.entry);
    ASSERT_NE(text, nullptr);
    TextFormat expected = used.arg == kStr ? TextFormat::kString
                          : used.arg == kInt ? TextFormat::kInteger
                                             : TextFormat::kPlain;
    EXPECT_EQ(text->format, expected);
    EXPECT_STRNE(text->purpose, "");
    EXPECT_EQ(text->format == TextFormat::kPlain, strcmp(text->argument, "") == 0);
  }
}

TEST(DefaultTexts, TableHoldsOnlyUsedEntriesOnceInOrder) {
  size_t count = 0;
  const DefaultText* texts = DefaultTexts(&count);
  ASSERT_EQ(count, sizeof(kUsed) / sizeof(kUsed[0]));
  for (size_t i = 0; i < count; ++i) {
    bool used = false;
    for (const UsedText& u : kUsed) used |= u.group == texts[i].group && u.entry == texts[i].entry;
    EXPECT_TRUE(used) << int(texts[i].group) << "," << texts[i].entry << " is not read by the stub";
    if (i > 0) {
      EXPECT_LT(texts[i - 1].group * 65536 + texts[i - 1].entry, texts[i].group * 65536 + texts[i].entry);
    }
  }
}

TEST(DefaultTexts, FormattedTextsHoldExactlyTheirOneConversion) {
  size_t count = 0;
  const DefaultText* texts = DefaultTexts(&count);
  for (size_t i = 0; i < count; ++i) {
    const DefaultText& t = texts[i];
    SCOPED_TRACE(std::to_string(t.group) + "," + std::to_string(t.entry) + ": " + t.text);
    std::vector<std::string> conversions = Conversions(t.text);
    switch (t.format) {
      case TextFormat::kPlain:
        // Shown as it stands, so a percent sign would show doubled or raw.
        EXPECT_EQ(strchr(t.text, '%'), nullptr);
        break;
      case TextFormat::kString:
        // The error messages are formatted only when "%s" appears literally.
        ASSERT_EQ(conversions.size(), 1u);
        EXPECT_EQ(conversions[0], "%s");
        break;
      case TextFormat::kInteger:
        ASSERT_EQ(conversions.size(), 1u);
        EXPECT_TRUE(conversions[0] == "%u" || conversions[0] == "%d") << conversions[0];
        break;
    }
  }
}

TEST(DefaultTexts, FeaturesOnByDefaultExceptTheInformationPage) {
  EXPECT_STREQ(FindDefaultText(1, 1)->text, "");          // no information page
  for (auto [g, e] : {std::pair{6, 6}, {6, 7}, {6, 29}, {6, 30}, {5, 5}, {5, 6}, {6, 0}, {6, 31}, {6, 15}})
    EXPECT_STRNE(FindDefaultText(g, e)->text, "") << g << "," << e;
  for (int e = 0; e <= 6; ++e) EXPECT_STRNE(FindDefaultText(7, e)->text, "") << "7," << e;
  for (int g = 0; g <= 5; ++g) EXPECT_STRNE(FindDefaultText(g, 0)->text, "") << g << ",0";
}

TEST(DefaultTexts, TitleAppearsWhereTheStubShowsNoTitle) {
  EXPECT_NE(strstr(FindDefaultText(6, 0)->text, "{title}"), nullptr);
  EXPECT_NE(strstr(FindDefaultText(0, 1)->text, "{title}"), nullptr);
  EXPECT_NE(strstr(FindDefaultText(5, 1)->text, "{title}"), nullptr);
}

TEST(ExpandDefaultText, ReplacesEveryTitlePlaceholderOnly) {
  EXPECT_EQ(ExpandDefaultText("{title} and {title}", "Foo"), "Foo and Foo");
  EXPECT_EQ(ExpandDefaultText("{titl} {folder} {title", "Foo"), "{titl} {folder} {title");
  EXPECT_EQ(ExpandDefaultText("", "Foo"), "");
  EXPECT_EQ(ExpandDefaultText("{title}", ""), "");
}

TEST(ExpandDefaultText, TitleWithPercentAndAmpersandReadsAsTyped) {
  const std::string title = "100% Tools & Co";
  size_t count = 0;
  const DefaultText* texts = DefaultTexts(&count);
  for (size_t i = 0; i < count; ++i) {
    const DefaultText& t = texts[i];
    SCOPED_TRACE(std::to_string(t.group) + "," + std::to_string(t.entry));
    std::string expanded = ExpandDefaultText(t, title);
    EXPECT_EQ(expanded.find("{title}"), std::string::npos);
    if (t.format != TextFormat::kPlain) {
      EXPECT_EQ(Conversions(expanded).size(), 1u);
    }
    if (t.mnemonic) {
      // At most one access key: single '&' not part of "&&".
      int keys = 0;
      for (size_t k = 0; k < expanded.size(); ++k) {
        if (expanded[k] != '&') continue;
        if (k + 1 < expanded.size() && expanded[k + 1] == '&') ++k;
        else ++keys;
      }
      EXPECT_LE(keys, 1);
    }
  }
  EXPECT_EQ(ExpandDefaultText(*FindDefaultText(6, 0), title), "100% Tools & Co Setup");
  EXPECT_EQ(ExpandDefaultText(*FindDefaultText(5, 6), "A&B"), "&Start A&&B when Setup closes");
}

// Fills a text the way the stub's wsprintfA would, for length checks.
std::string Format(const std::string& text, const std::string& value) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 1 < text.size()) {
      out += text[i + 1] == '%' ? "%" : value;
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

TEST(DefaultTexts, FormattedResultsFitTheStubsBuffers) {
  const std::string title(60, 'T');
  const std::string path = "C:\\" + std::string(256, 'p');   // 259 characters
  auto expand = [&](int g, int e) { return ExpandDefaultText(*FindDefaultText(g, e), title); };
  EXPECT_LT(Format(expand(2, 7), "4294967295").size(), 100u);
  EXPECT_LT(Format(expand(6, 28), "4294967295").size(), 200u);
  EXPECT_LT(Format(expand(3, 2), path).size(), 1024u);
  for (int code : {9, 16, 17, 21, 22}) {
    std::string message = Format(expand(6, code), path);
    EXPECT_LT(expand(6, 8).size() + 2 + message.size(), 1024u) << code;
    EXPECT_LT(Format(expand(5, 4), message).size(), 1024u) << code;
  }
  EXPECT_LT(Format(expand(6, 29), path).size(), 2048u);
  size_t count = 0;
  const DefaultText* texts = DefaultTexts(&count);
  for (size_t i = 0; i < count; ++i) EXPECT_LT(ExpandDefaultText(texts[i], title).size(), 1024u);
}

TEST(DefaultTexts, DocumentationListsTheTableAsItIs) {
  std::string here = __FILE__;
  std::string docPath = here.substr(0, here.rfind("tests/unit/")) + "docs/texts.md";
  std::ifstream in(docPath);
  ASSERT_TRUE(in) << docPath;
  std::string doc((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string table = DefaultTextsMarkdownTable();
  if (doc.find(table) == std::string::npos) {
    std::ofstream("texts_table.md") << table;
    ADD_FAILURE() << docPath << " does not hold the current table; it was written to texts_table.md";
  }
}

// ---- the default dialogs ----------------------------------------------------------

constexpr uint32_t kWsVisible = 0x10000000;
constexpr uint32_t kWsChild = 0x40000000;
constexpr uint32_t kWsPopup = 0x80000000;
constexpr uint32_t kWsCaption = 0x00C00000;

class DefaultDialogsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    ASSERT_TRUE(DefaultDialogs(&dialogs_, &error)) << error;
    for (int n = 0; n < 9; ++n) {
      auto it = dialogs_.find(static_cast<uint16_t>(100 + n));
      ASSERT_NE(it, dialogs_.end()) << "dialog " << 100 + n;
      ASSERT_TRUE(ParseDialogTemplate(it->second.data(), it->second.size(), &parsed_[n], &error))
          << n << ": " << error;
    }
  }

  const DialogControl& Control(int n, uint32_t id) {
    const DialogControl* c = FindControl(parsed_[n], id);
    EXPECT_NE(c, nullptr) << "template " << n << " lacks control " << id;
    static const DialogControl kMissing;
    return c ? *c : kMissing;
  }

  DialogResources dialogs_;
  DialogTemplate parsed_[9];
};

TEST_F(DefaultDialogsTest, EachFitsTheStubsBlockAndParsesToItsEnd) {
  for (int n = 0; n < 9; ++n) {
    const std::vector<uint8_t>& bytes = dialogs_.at(static_cast<uint16_t>(100 + n));
    EXPECT_LE(bytes.size(), format::kTemplateBlockSize) << n;
    // Only padding may follow the last control.
    EXPECT_LE(bytes.size() - parsed_[n].size, 3u) << n;
    EXPECT_TRUE(parsed_[n].extended || parsed_[n].style != 0) << n;
    EXPECT_EQ(parsed_[n].fontFace, "MS Shell Dlg") << n;
    EXPECT_EQ(parsed_[n].pointSize, 8) << n;
  }
}

TEST_F(DefaultDialogsTest, EachHasTheControlsItsPageUses) {
  const std::vector<std::vector<uint32_t>> needed = {
      {1, 2, 1007, 1006, 1011, 1012},
      {1, 2, 1007, 1006, 1011, 1012},
      {1000, 1001, 1002, 1003, 1004, 1005, 1016, 1017, 1018, 1019},
      {1000},
      {1000, 1008, 1009, 1010},
      {1000, 1001, 1002},
      {1000, 1001, 1002, 1003, 1014, 1015},
      // The folder browser's own controls and the old-style dialog's
      // standard ones: lst1, lst2, cmb1, cmb2, edt1, stc1 to stc4, chx1.
      {1, 2, 101, 1009, 1091, 0x460, 0x461, 0x470, 0x471, 0x480, 0x440, 0x441, 0x442, 0x443, 0x410},
      {1005, 1006},
  };
  for (int n = 0; n < 9; ++n)
    for (uint32_t id : needed[n]) Control(n, id);
  // Group 6 holds the folder browser's texts under the closing page's
  // numbers, so the closing page must not show them.
  for (uint32_t id : {1000u, 1001u, 1002u, 1003u}) EXPECT_EQ(FindControl(parsed_[8], id), nullptr) << id;
}

TEST_F(DefaultDialogsTest, PagesAreVisibleChildrenThatFitThePlaceholder) {
  for (int frame : {0, 1}) {
    EXPECT_TRUE(parsed_[frame].style & kWsChild) << frame;
    EXPECT_TRUE(parsed_[frame].style & kWsVisible) << frame;
    const DialogControl& placeholder = Control(frame, 1006);
    for (int page : {2, 3, 4, 5, 6, 8}) {
      SCOPED_TRACE("page template " + std::to_string(page));
      const DialogTemplate& p = parsed_[page];
      EXPECT_TRUE(p.style & kWsChild);
      EXPECT_TRUE(p.style & kWsVisible);   // the page runner never shows a page itself
      EXPECT_EQ(p.style & kWsCaption, 0u);
      EXPECT_LE(p.cx, placeholder.cx);
      EXPECT_LE(p.cy, placeholder.cy);
      for (const DialogControl& c : p.controls) {
        EXPECT_GE(c.x, 0) << c.id;
        EXPECT_GE(c.y, 0) << c.id;
        EXPECT_LE(c.x + c.cx, p.cx) << c.id;
        EXPECT_LE(c.y + c.cy, p.cy) << c.id;
      }
    }
  }
  EXPECT_EQ(parsed_[0].style & kWsCaption, 0u);   // the background window carries the caption
  EXPECT_EQ(parsed_[1].style & kWsCaption, kWsCaption);
  EXPECT_TRUE(parsed_[7].style & kWsPopup);       // the common dialog makes a top-level window of it
}

TEST_F(DefaultDialogsTest, AreasTheStubPaintsAreHidden) {
  // A visible static there would paint over the side bitmap, the frame or
  // the progress bar.
  for (int frame : {0, 1})
    for (uint32_t id : {1006u, 1011u, 1012u}) EXPECT_FALSE(Control(frame, id).style & kWsVisible) << id;
  EXPECT_FALSE(Control(4, 1009).style & kWsVisible);
}

TEST_F(DefaultDialogsTest, FrameButtonsSitBelowTheBitmapAndPageAreas) {
  for (int frame : {0, 1}) {
    const DialogControl& page = Control(frame, 1006);
    const DialogControl& side = Control(frame, 1011);
    EXPECT_LE(side.x + side.cx, page.x);   // side area left of the pages
    for (uint32_t id : {1u, 2u, 1007u}) {
      EXPECT_GE(Control(frame, id).y, page.y + page.cy) << id;
      EXPECT_LE(Control(frame, id).x + Control(frame, id).cx, parsed_[frame].cx) << id;
    }
    EXPECT_LT(Control(frame, 1007).x, Control(frame, 1).x);   // Back, Next, Cancel
    EXPECT_LT(Control(frame, 1).x, Control(frame, 2).x);
  }
}

TEST_F(DefaultDialogsTest, FinishPageLayoutSuitsItsRearrangements) {
  // After an error 1000 is stretched down to the bottom of 1002 over 1001.
  const DialogControl& t0 = Control(6, 1000);
  const DialogControl& t1 = Control(6, 1001);
  const DialogControl& t2 = Control(6, 1002);
  EXPECT_LT(t0.y, t1.y);
  EXPECT_LT(t1.y, t2.y);
  EXPECT_EQ(t0.x, t2.x);
  // The check box moves up into the view button's place.
  EXPECT_LT(Control(6, 1014).y, Control(6, 1015).y);
  EXPECT_FALSE(Control(6, 1014).style & kWsVisible);
  EXPECT_FALSE(Control(6, 1015).style & kWsVisible);
}

// ---- the resource file reader -------------------------------------------------------

std::vector<uint8_t> DefaultRes() {
  size_t size = 0;
  const uint8_t* res = DefaultTemplatesRes(&size);
  return std::vector<uint8_t>(res, res + size);
}

void PutU16(std::vector<uint8_t>& b, uint16_t v) {
  b.push_back(static_cast<uint8_t>(v));
  b.push_back(static_cast<uint8_t>(v >> 8));
}

void PutU32(std::vector<uint8_t>& b, uint32_t v) {
  PutU16(b, static_cast<uint16_t>(v));
  PutU16(b, static_cast<uint16_t>(v >> 16));
}

// One resource entry; a name starting with a letter is written as a string.
void PutEntry(std::vector<uint8_t>& b, uint16_t type, const std::string& name, const std::vector<uint8_t>& data) {
  std::vector<uint8_t> names;
  PutU16(names, 0xFFFF);   // type: number
  PutU16(names, type);
  if (!name.empty() && isalpha(static_cast<unsigned char>(name[0]))) {
    for (char c : name) PutU16(names, static_cast<uint8_t>(c));
    PutU16(names, 0);
  } else {
    PutU16(names, 0xFFFF);
    PutU16(names, static_cast<uint16_t>(std::stoi(name)));
  }
  while (names.size() % 4) names.push_back(0);
  PutU32(b, static_cast<uint32_t>(data.size()));
  PutU32(b, static_cast<uint32_t>(8 + names.size() + 16));
  b.insert(b.end(), names.begin(), names.end());
  PutU32(b, 0);        // data version
  PutU16(b, 0x1030);   // memory flags
  PutU16(b, 0x0409);   // language
  PutU32(b, 0);        // version
  PutU32(b, 0);        // characteristics
  b.insert(b.end(), data.begin(), data.end());
  while (b.size() % 4) b.push_back(0);
}

std::vector<uint8_t> EmptyRes() {
  std::vector<uint8_t> b;
  PutU32(b, 0);
  PutU32(b, 32);
  for (uint16_t w : {0xFFFF, 0, 0xFFFF, 0}) PutU16(b, static_cast<uint16_t>(w));
  b.resize(32, 0);
  return b;
}

TEST(ResReader, PicksDialogsByIdAndPassesOverOtherTypes) {
  std::vector<uint8_t> res = EmptyRes();
  PutEntry(res, 3, "1", {1, 2, 3, 4, 5, 6});   // an icon
  PutEntry(res, 5, "104", {9, 8, 7});
  PutEntry(res, 5, "100", {1});
  DialogResources dialogs;
  std::string error;
  ASSERT_TRUE(ReadDialogResources(res.data(), res.size(), "t.res", &dialogs, &error)) << error;
  ASSERT_EQ(dialogs.size(), 2u);
  EXPECT_EQ(dialogs[104], (std::vector<uint8_t>{9, 8, 7}));
  EXPECT_EQ(dialogs[100], (std::vector<uint8_t>{1}));
  // The last entry may end without its padding.
  res.resize(res.size() - 3);
  ASSERT_TRUE(ReadDialogResources(res.data(), res.size(), "t.res", &dialogs, &error)) << error;
  EXPECT_EQ(dialogs[100], (std::vector<uint8_t>{1}));
}

TEST(ResReader, RejectsWhatIsNotAResourceFile) {
  DialogResources dialogs;
  std::string error;
  const std::string script = "100 DIALOGEX 0, 0, 10, 10\nBEGIN\nEND\n";
  EXPECT_FALSE(ReadDialogResources(reinterpret_cast<const uint8_t*>(script.data()), script.size(), "t.rc",
                                   &dialogs, &error));
  EXPECT_NE(error.find("t.rc: not a compiled 32-bit resource file"), std::string::npos) << error;
  EXPECT_FALSE(ReadDialogResources(nullptr, 0, "empty.res", &dialogs, &error));
  EXPECT_EQ(error.rfind("empty.res: ", 0), 0u) << error;
}

TEST(ResReader, RejectsNamedAndRepeatedDialogs) {
  DialogResources dialogs;
  std::string error;
  std::vector<uint8_t> named = EmptyRes();
  PutEntry(named, 5, "WELCOME", {1, 2});
  EXPECT_FALSE(ReadDialogResources(named.data(), named.size(), "n.res", &dialogs, &error));
  EXPECT_NE(error.find("\"WELCOME\""), std::string::npos) << error;
  std::vector<uint8_t> twice = EmptyRes();
  PutEntry(twice, 5, "102", {1});
  PutEntry(twice, 5, "102", {2});
  EXPECT_FALSE(ReadDialogResources(twice.data(), twice.size(), "d.res", &dialogs, &error));
  EXPECT_NE(error.find("dialog 102 appears twice"), std::string::npos) << error;
}

TEST(ResReader, EveryTruncationIsRejectedWithTheOffsetOrEndsAtAnEntry) {
  std::vector<uint8_t> res = DefaultRes();
  DialogResources full;
  std::string error;
  ASSERT_TRUE(ReadDialogResources(res.data(), res.size(), "templates.res", &full, &error)) << error;
  int accepted = 0;
  for (size_t cut = 0; cut < res.size(); ++cut) {
    std::vector<uint8_t> part(res.begin(), res.begin() + cut);   // exact size, so ASan sees overreads
    DialogResources dialogs;
    if (ReadDialogResources(part.data(), part.size(), "templates.res", &dialogs, &error)) {
      // Only a cut between two entries leaves a valid file, with fewer dialogs.
      EXPECT_LT(dialogs.size(), full.size()) << cut;
      ++accepted;
    } else {
      EXPECT_EQ(error.rfind("templates.res: ", 0), 0u) << error;
    }
  }
  EXPECT_GE(accepted, 9);   // a cut right after each dialog entry
  // A cut inside the data of the last dialog names it and says so.
  std::vector<uint8_t> part(res.begin(), res.end() - 20);
  DialogResources dialogs;
  EXPECT_FALSE(ReadDialogResources(part.data(), part.size(), "templates.res", &dialogs, &error));
  EXPECT_NE(error.find("resource 9 at offset"), std::string::npos) << error;
  EXPECT_NE(error.find("truncated"), std::string::npos) << error;
}

TEST(ResReader, GarbledSizesNeverReadOutsideTheFile) {
  std::vector<uint8_t> res = DefaultRes();
  uint32_t seed = 12345;
  for (int round = 0; round < 3000; ++round) {
    std::vector<uint8_t> bad = res;
    for (int k = 0; k < 4; ++k) {
      seed = seed * 1103515245u + 12345u;
      size_t at = 32 + (seed >> 8) % (bad.size() - 32);
      seed = seed * 1103515245u + 12345u;
      bad[at] = static_cast<uint8_t>(seed >> 16);
    }
    DialogResources dialogs;
    std::string error;
    if (!ReadDialogResources(bad.data(), bad.size(), "bad.res", &dialogs, &error)) {
      EXPECT_FALSE(error.empty());
    }
    for (auto& [id, bytes] : dialogs) {
      DialogTemplate dialog;
      ParseDialogTemplate(bytes.data(), bytes.size(), &dialog, &error);
    }
  }
}

// ---- the dialog template parser ----------------------------------------------------

// A classic DLGTEMPLATE with a font and one button, built field by field.
std::vector<uint8_t> SmallDialog() {
  std::vector<uint8_t> b;
  PutU32(b, 0x40000040 | 0x10000000);   // WS_CHILD | WS_VISIBLE | DS_SETFONT
  PutU32(b, 0);                         // extended style
  PutU16(b, 1);                         // one control
  for (int16_t v : {0, 0, 100, 50}) PutU16(b, static_cast<uint16_t>(v));
  PutU16(b, 0);                         // no menu
  PutU16(b, 0);                         // standard class
  for (char c : std::string("Hi")) PutU16(b, static_cast<uint8_t>(c));
  PutU16(b, 0);                         // caption "Hi"
  PutU16(b, 8);                         // point size
  for (char c : std::string("MS Shell Dlg")) PutU16(b, static_cast<uint8_t>(c));
  PutU16(b, 0);
  while (b.size() % 4) b.push_back(0);  // controls start aligned
  PutU32(b, 0x50010000);                // WS_CHILD | WS_VISIBLE | WS_TABSTOP
  PutU32(b, 0);
  for (int16_t v : {5, 6, 50, 14}) PutU16(b, static_cast<uint16_t>(v));
  PutU16(b, 1007);                      // id
  PutU16(b, 0xFFFF);                    // class: button atom
  PutU16(b, 0x0080);
  for (char c : std::string("Back")) PutU16(b, static_cast<uint8_t>(c));
  PutU16(b, 0);
  PutU16(b, 0);                         // no creation data
  return b;
}

TEST(DialogTemplate, ReadsAClassicTemplateFieldByField) {
  std::vector<uint8_t> bytes = SmallDialog();
  DialogTemplate dialog;
  std::string error;
  ASSERT_TRUE(ParseDialogTemplate(bytes.data(), bytes.size(), &dialog, &error)) << error;
  EXPECT_FALSE(dialog.extended);
  EXPECT_EQ(dialog.cx, 100);
  EXPECT_EQ(dialog.cy, 50);
  EXPECT_EQ(dialog.caption, "Hi");
  EXPECT_EQ(dialog.pointSize, 8);
  EXPECT_EQ(dialog.fontFace, "MS Shell Dlg");
  ASSERT_EQ(dialog.controls.size(), 1u);
  const DialogControl& c = dialog.controls[0];
  EXPECT_EQ(c.id, 1007u);
  EXPECT_EQ(c.classAtom, 0x80);
  EXPECT_EQ(c.text, "Back");
  EXPECT_EQ(c.x, 5);
  EXPECT_EQ(c.cy, 14);
  EXPECT_EQ(dialog.size, bytes.size());
}

TEST(DialogTemplate, EveryTruncationIsAnError) {
  std::vector<uint8_t> bytes = SmallDialog();
  for (size_t cut = 0; cut < bytes.size(); ++cut) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + cut);
    DialogTemplate dialog;
    std::string error;
    EXPECT_FALSE(ParseDialogTemplate(part.data(), part.size(), &dialog, &error)) << cut;
    EXPECT_NE(error.find("offset"), std::string::npos) << error;
  }
}

// ---- the template record -------------------------------------------------------------

TEST(TemplateRecord, OffsetsPointAtTheNineTemplates) {
  std::vector<uint8_t> body;
  std::string error;
  ASSERT_TRUE(DefaultTemplateRecord(&body, &error)) << error;
  DialogResources dialogs;
  ASSERT_TRUE(DefaultDialogs(&dialogs, &error)) << error;
  uint32_t previous = 0;
  for (int n = 0; n < 9; ++n) {
    uint32_t offset = format::ReadU32(body.data() + 4 * n);
    const std::vector<uint8_t>& t = dialogs.at(static_cast<uint16_t>(100 + n));
    EXPECT_GE(offset, 36u);
    EXPECT_GT(offset, previous);
    EXPECT_EQ(offset % 4, 0u);
    ASSERT_LE(offset + t.size(), body.size());
    EXPECT_EQ(memcmp(body.data() + offset, t.data(), t.size()), 0) << n;
    previous = offset;
  }
  EXPECT_EQ(format::ReadU32(body.data() + 32) + dialogs.at(108).size(), body.size());
}

TEST(TemplateRecord, RefusesOversizedEmptyOrMissingTemplates) {
  std::vector<std::vector<uint8_t>> templates(9, std::vector<uint8_t>(64, 1));
  std::vector<uint8_t> body;
  std::string error;
  templates[3].assign(format::kTemplateBlockSize, 2);
  EXPECT_TRUE(BuildTemplateRecord(templates, &body, &error)) << error;   // exactly the limit
  templates[3].push_back(2);
  EXPECT_FALSE(BuildTemplateRecord(templates, &body, &error));
  EXPECT_NE(error.find("template 3 (information page) is 16385 bytes"), std::string::npos) << error;
  EXPECT_TRUE(body.empty());
  templates[3].clear();
  EXPECT_FALSE(BuildTemplateRecord(templates, &body, &error));
  EXPECT_NE(error.find("template 3"), std::string::npos) << error;
  templates.pop_back();
  EXPECT_FALSE(BuildTemplateRecord(templates, &body, &error));
  EXPECT_NE(error.find("9 templates"), std::string::npos) << error;
}

TEST(TemplateRecord, AuthorsDialogsTakePrecedenceOverTheDefaults) {
  DialogResources defaults;
  std::string error;
  ASSERT_TRUE(DefaultDialogs(&defaults, &error)) << error;
  DialogResources mine;
  mine[105] = SmallDialog();
  std::vector<std::vector<uint8_t>> templates;
  ASSERT_TRUE(SelectTemplates(mine, "mine.res", &defaults, &templates, &error)) << error;
  EXPECT_EQ(templates[5], SmallDialog());
  EXPECT_EQ(templates[2], defaults.at(102));
  EXPECT_FALSE(SelectTemplates(mine, "mine.res", nullptr, &templates, &error));
  EXPECT_NE(error.find("mine.res: no dialog 100 for template 0 (frame dialog (framed mode))"), std::string::npos)
      << error;
  mine[100] = {1, 2, 3};
  EXPECT_FALSE(SelectTemplates(mine, "mine.res", &defaults, &templates, &error));
  EXPECT_NE(error.find("mine.res: dialog 100"), std::string::npos) << error;
}

}  // namespace
