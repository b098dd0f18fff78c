#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "common/safe_format.h"

namespace {

// Formats into a buffer with guard bytes behind the capacity, which must stay
// untouched.
class Guarded {
 public:
  explicit Guarded(uint32_t capacity) : capacity_(capacity) { memset(bytes_, '#', sizeof(bytes_)); }
  char* data() { return bytes_; }
  uint32_t capacity() const { return capacity_; }
  bool GuardIntact() const {
    for (size_t i = capacity_; i < sizeof(bytes_); ++i)
      if (bytes_[i] != '#') return false;
    return true;
  }
  std::string text() const { return std::string(bytes_); }

 private:
  uint32_t capacity_;
  char bytes_[2100];
};

std::string WithString(const char* format, const char* argument, uint32_t capacity = 1024) {
  Guarded out(capacity);
  FormatWithString(out.data(), capacity, format, argument);
  EXPECT_TRUE(out.GuardIntact()) << format;
  return out.text();
}

std::string WithNumber(const char* format, uint32_t argument, uint32_t capacity = 1024) {
  Guarded out(capacity);
  FormatWithNumber(out.data(), capacity, format, argument);
  EXPECT_TRUE(out.GuardIntact()) << format;
  return out.text();
}

TEST(SafeFormat, WellFormedTextsAsTheSystemFormatterGivesThem) {
  EXPECT_EQ(WithString("Install into %s now?", "C:\\Tools"), "Install into C:\\Tools now?");
  EXPECT_EQ(WithString("%s", "alone"), "alone");
  EXPECT_EQ(WithString("no conversion", "unused"), "no conversion");
  EXPECT_EQ(WithString("100%% of %s", "it"), "100% of it");
  EXPECT_EQ(WithNumber("Insert disk %d.", 3), "Insert disk 3.");
  EXPECT_EQ(WithNumber("%u MB free", 4194304u), "4194304 MB free");
  EXPECT_EQ(WithNumber("%lu MB", 0), "0 MB");
  EXPECT_EQ(WithNumber("%ld/%li", 12), "12/%li");
  EXPECT_EQ(WithNumber("%i", 7), "7");
  EXPECT_EQ(WithNumber("%d%%", 100), "100%");
}

TEST(SafeFormat, NumbersAtTheirLimits) {
  EXPECT_EQ(WithNumber("%u", 0xFFFFFFFFu), "4294967295");
  EXPECT_EQ(WithNumber("%d", 0xFFFFFFFFu), "-1");
  EXPECT_EQ(WithNumber("%d", 0x80000000u), "-2147483648");
  EXPECT_EQ(WithNumber("%d", 0x7FFFFFFFu), "2147483647");
  EXPECT_EQ(WithNumber("%lu", 0x80000000u), "2147483648");
}

TEST(SafeFormat, OnlyTheFirstExpectedConversionTakesTheArgument) {
  EXPECT_EQ(WithString("%s %d %n", "name"), "name %d %n");
  EXPECT_EQ(WithString("%s %s %s", "a"), "a %s %s");
  EXPECT_EQ(WithNumber("%s %d %n", 5), "%s 5 %n");
  EXPECT_EQ(WithNumber("%d %d", 5), "5 %d");
  // A conversion of the other kind is never fed the argument.
  EXPECT_EQ(WithString("%d then %s", "x"), "%d then x");
  EXPECT_EQ(WithNumber("%x %p %c %u", 9), "%x %p %c 9");
}

TEST(SafeFormat, HostileConversionsPrintLiterally) {
  EXPECT_EQ(WithString("%99999s", "arg"), "%99999s");
  EXPECT_EQ(WithString("%-5s|", "arg"), "%-5s|");
  EXPECT_EQ(WithString("%.1000s", "arg"), "%.1000s");
  EXPECT_EQ(WithString("%ls %hs %S", "arg"), "%ls %hs %S");
  EXPECT_EQ(WithNumber("%99999d", 1), "%99999d");
  EXPECT_EQ(WithNumber("%-5d|%05u|%hd", 1), "%-5d|%05u|%hd");
  EXPECT_EQ(WithNumber("%l", 1), "%l");
  EXPECT_EQ(WithNumber("%lld", 1), "%lld");
}

TEST(SafeFormat, PercentSignsAtTheEdges) {
  EXPECT_EQ(WithString("%", "arg"), "%");
  EXPECT_EQ(WithString("end %", "arg"), "end %");
  EXPECT_EQ(WithString("%%", "arg"), "%");
  EXPECT_EQ(WithString("%%%", "arg"), "%%");
  EXPECT_EQ(WithString("%%%s", "arg"), "%arg");
  EXPECT_EQ(WithString("%%s", "arg"), "%s");
  EXPECT_EQ(WithNumber("%%d %d", 4), "%d 4");
  EXPECT_EQ(WithString("", "arg"), "");
}

TEST(SafeFormat, MissingTextsAreEmpty) {
  EXPECT_EQ(WithString(nullptr, "arg"), "");
  EXPECT_EQ(WithString("[%s]", nullptr), "[]");
  EXPECT_EQ(WithNumber(nullptr, 1), "");
}

TEST(SafeFormat, ResultsAreCutToTheBuffer) {
  std::string longName(400, 'n');
  EXPECT_EQ(WithString("path %s end", longName.c_str(), 100), "path " + std::string(94, 'n'));
  EXPECT_EQ(WithString("abcdef", "", 4), "abc");
  EXPECT_EQ(WithNumber("%d", 123456, 4), "123");
  EXPECT_EQ(WithNumber("-%d", 0x80000000u, 3), "--");
  EXPECT_EQ(WithString("x", "", 1), "");

  // Capacity 0 writes nothing at all.
  Guarded none(0);
  FormatWithString(none.data(), 0, "text %s", "arg");
  EXPECT_TRUE(none.GuardIntact());
  FormatWithNumber(none.data(), 0, "%d", 1);
  EXPECT_TRUE(none.GuardIntact());
}

TEST(SafeFormat, NeverMoreThanTheSystemFormatterLimit) {
  std::string longText(3000, 't');
  std::string out = WithString(longText.c_str(), "", 2048);
  EXPECT_EQ(out.size(), 1023u);
  std::string longArgument(3000, 'a');
  out = WithString("%s", longArgument.c_str(), 2048);
  EXPECT_EQ(out.size(), 1023u);
}

TEST(BoundedCopy, CopyAndAppendStayInTheBuffer) {
  Guarded buffer(10);
  CopyBounded(buffer.data(), 10, "0123456789abc");
  EXPECT_EQ(buffer.text(), "012345678");
  EXPECT_TRUE(buffer.GuardIntact());
  AppendBounded(buffer.data(), 10, "more");
  EXPECT_EQ(buffer.text(), "012345678");
  CopyBounded(buffer.data(), 10, "ab");
  AppendBounded(buffer.data(), 10, "cdefghijkl");
  EXPECT_EQ(buffer.text(), "abcdefghi");
  EXPECT_TRUE(buffer.GuardIntact());
  CopyBounded(buffer.data(), 10, nullptr);
  EXPECT_EQ(buffer.text(), "");

  // An unterminated destination is cut at the capacity and terminated.
  Guarded raw(6);
  memset(raw.data(), 'r', 6);
  AppendBounded(raw.data(), 6, "x");
  EXPECT_EQ(raw.text(), "rrrrr");
  EXPECT_TRUE(raw.GuardIntact());
}

}  // namespace
