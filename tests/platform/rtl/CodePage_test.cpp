#include "platform/rtl/CodePage.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(CodePageTest, EveryByteRoundTripsThroughUtf16AndUtf8) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  const std::u16string wide = Cp1252ToUtf16(all);
  ASSERT_EQ(wide.size(), 256u);
  EXPECT_EQ(Utf16ToCp1252(wide), all);
  const std::string utf8 = Cp1252ToUtf8(all);
  EXPECT_TRUE(IsValidUtf8(utf8));
  EXPECT_EQ(Utf8ToCp1252(utf8), all);
  EXPECT_EQ(Utf8ToUtf16(utf8), wide);
  EXPECT_EQ(Utf16ToUtf8(wide), utf8);
  for (int b = 0; b < 256; ++b) {
    if (b < 0x80 || b >= 0xA0) {
      EXPECT_EQ(wide[static_cast<size_t>(b)], static_cast<char16_t>(b)) << b;
    }
  }
}

TEST(CodePageTest, HighControlRangeMapsToTheCodePageCharacters) {
  const std::vector<std::pair<unsigned char, char16_t>> cases = {
      {0x80, 0x20AC}, {0x82, 0x201A}, {0x83, 0x0192}, {0x85, 0x2026}, {0x8A, 0x0160}, {0x8C, 0x0152},
      {0x8E, 0x017D}, {0x91, 0x2018}, {0x92, 0x2019}, {0x93, 0x201C}, {0x96, 0x2013}, {0x97, 0x2014},
      {0x99, 0x2122}, {0x9A, 0x0161}, {0x9C, 0x0153}, {0x9E, 0x017E}, {0x9F, 0x0178}, {0x81, 0x0081},
      {0x8D, 0x008D}, {0x8F, 0x008F}, {0x90, 0x0090}, {0x9D, 0x009D},
  };
  for (const auto& [byte, unit] : cases) {
    const std::string narrow(1, static_cast<char>(byte));
    EXPECT_EQ(Cp1252ToUtf16(narrow), std::u16string(1, unit)) << int(byte);
    EXPECT_EQ(Utf16ToCp1252(std::u16string(1, unit)), narrow) << int(byte);
  }
  EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
  EXPECT_EQ(Utf8ToCp1252("caf\xC3\xA9 \xE2\x82\xAC"), "caf\xE9 \x80");
}

TEST(CodePageTest, CharactersOutsideTheCodePageBecomeQuestionMarks) {
  const std::vector<std::pair<std::u16string, std::string>> wide = {
      {u"\u0100", "?"},              // Latin A with macron
      {u"a\u4E2Db", "a?b"},          // CJK
      {u"\U0001F600", "?"},          // one character in a surrogate pair
      {std::u16string(1, char16_t(0xD800)) + u"x", "?x"},  // lone high surrogate
      {std::u16string(1, char16_t(0xDC00)), "?"},          // lone low surrogate
  };
  for (const auto& [in, out] : wide) EXPECT_EQ(Utf16ToCp1252(in), out);
  EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80!"), "?!");
}

TEST(CodePageTest, InvalidUtf8IsRecognisedAndReplaced) {
  struct Case {
    std::string Text;
    bool Valid;
    bool MultiByte;
    std::string AsCp1252;
  };
  const std::vector<Case> cases = {
      {"", true, false, ""},
      {"plain ascii", true, false, "plain ascii"},
      {"\xC3\xA9", true, true, "\xE9"},
      {"\xF0\x9F\x98\x80", true, true, "?"},
      {"\xC3", false, false, "?"},                  // truncated
      {"a\xC3z", false, false, "a?z"},              // missing continuation
      {"\xC0\xAF", false, false, "??"},             // overlong
      {"\xE0\x80\xAF", false, false, "???"},        // overlong three-byte
      {"\xED\xA0\x80", false, false, "???"},        // encoded surrogate
      {"\xF4\x90\x80\x80", false, false, "????"},   // beyond U+10FFFF
      {"\xFF", false, false, "?"},
      {"\x80", false, false, "?"},                  // continuation alone
      {"\xE9t\xE9", false, false, "?t?"},           // Windows-1252 text is not UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsValidUtf8(c.Text), c.Valid) << c.AsCp1252;
    EXPECT_EQ(HasMultiByteUtf8(c.Text), c.MultiByte) << c.AsCp1252;
    EXPECT_EQ(Utf8ToCp1252(c.Text), c.AsCp1252);
  }
  EXPECT_EQ(Utf8ToUtf16("a\xFF" "b"), u"a\uFFFDb");
  EXPECT_EQ(Utf16ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(CodePageTest, Utf8AndUtf16ConvertEveryPlane) {
  const std::u16string text = u"A\u00E9\u20AC\U0001F600\u4E2D";
  const std::string utf8 = "A\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xE4\xB8\xAD";
  EXPECT_EQ(Utf16ToUtf8(text), utf8);
  EXPECT_EQ(Utf8ToUtf16(utf8), text);
}

}  // namespace
