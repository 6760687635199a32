#include "platform/rtl/Collation.h"

#include "platform/rtl/CodePage.h"
#include "platform/rtl/CollationDetail.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <random>
#include <thread>
#include <vector>

namespace {

class CollationTest : public ::testing::Test {
protected:
  void SetUp() override { SetCollationLocale("root"); }
  void TearDown() override { SetCollationLocale("root"); }

  static int Narrow(const std::string& a, const std::string& b, uint32_t flags) {
    return CompareStringA(LOCALE_USER_DEFAULT, flags, a.c_str(), -1, b.c_str(), -1);
  }
  static int Wide(const std::string& a, const std::string& b, uint32_t flags) {
    const std::u16string wa = Cp1252ToUtf16(a), wb = Cp1252ToUtf16(b);
    return CompareStringW(LOCALE_USER_DEFAULT, flags, wa.c_str(), -1, wb.c_str(), -1);
  }
};

constexpr int LT = CSTR_LESS_THAN, EQ = CSTR_EQUAL, GT = CSTR_GREATER_THAN;

struct OrderCase {
  std::string A, B;
  int CaseSensitive;  // result without flags
  int IgnoreCase;     // result with NORM_IGNORECASE
};

TEST_F(CollationTest, RootOrderIsAlphabeticWithPunctuationSignificant) {
  const std::vector<OrderCase> cases = {
      {"a", "B", LT, LT},                  // not ASCII order
      {"B", "a", GT, GT},
      {"abc", "ABC", LT, EQ},              // lower case first at tertiary strength
      {"ABC", "abc", GT, EQ},
      {"abc", "abd", LT, LT},
      {"e", "\xE9", LT, LT},               // accents differ even ignoring case
      {"\xC9", "\xE9", GT, EQ},
      {"a-b", "ab", LT, LT},               // punctuation is not ignored
      {"ab", "a-b", GT, GT},
      {"a b", "ab", LT, LT},
      {"a", "a ", LT, LT},                 // a prefix sorts first
      {"", "", EQ, EQ},
      {"", "a", LT, LT},
      {"10", "9", LT, LT},                 // digits compare as text
      {"Stra\xDF" "e", "Strasse", GT, GT}, // sharp s sorts after ss, also ignoring case
      {"Stra\xDF" "e", "Strasze", LT, LT},
      {"\xE4", "z", LT, LT},
      {"co-op", "coop", LT, LT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Narrow(c.A, c.B, 0), c.CaseSensitive) << c.A << " / " << c.B;
    EXPECT_EQ(Narrow(c.A, c.B, NORM_IGNORECASE), c.IgnoreCase) << c.A << " / " << c.B;
    EXPECT_EQ(Wide(c.A, c.B, 0), c.CaseSensitive) << c.A << " / " << c.B;
    EXPECT_EQ(Wide(c.A, c.B, NORM_IGNORECASE), c.IgnoreCase) << c.A << " / " << c.B;
  }
}

TEST_F(CollationTest, OrderIsConsistentAndNarrowAgreesWithWide) {
  const std::vector<std::string> words = {
      "",     "a",     "A",      "ab",     "aB",     "Ab",   "AB",     "a-b",   "a b",   "a_b",  "b",
      "B",    "\xE9",  "\xC9",   "e",      "E",      "\x80", "\x9F",   "\xFF",  "y",     "Y",    "z",
      "1",    "10",    "9",      "!",      "~",      "\xDF", "ss",     "SS",    "\xE4",  "\xC4", "ae",
      "\x8A", "s",     "\x9A",   "abc",    "ABC",    "abC",  "a\xE9",  "\xB5",  "\xA0",  " ",    "  ",
  };
  for (uint32_t flags : {0u, NORM_IGNORECASE}) {
    for (const auto& a : words) {
      for (const auto& b : words) {
        const int ab = Narrow(a, b, flags);
        ASSERT_EQ(ab, Wide(a, b, flags)) << a << " / " << b;
        ASSERT_EQ(ab, CSTR_EQUAL * 2 - Narrow(b, a, flags)) << a << " / " << b;  // antisymmetric
        if (flags == 0 && ab == CSTR_EQUAL) {
          ASSERT_EQ(a, b);
        }
        for (const auto& c : words) {
          if (ab != CSTR_GREATER_THAN && Narrow(b, c, flags) != CSTR_GREATER_THAN) {
            ASSERT_NE(Narrow(a, c, flags), CSTR_GREATER_THAN) << a << " / " << b << " / " << c;
          }
        }
      }
      // Ignoring case only merges what the case-sensitive order keeps apart.
      for (const auto& b : words) {
        if (Narrow(a, b, 0) == CSTR_EQUAL) {
          ASSERT_EQ(Narrow(a, b, NORM_IGNORECASE), CSTR_EQUAL);
        }
      }
    }
  }
}

TEST_F(CollationTest, CountsLimitTheTextButNeverPassANul) {
  const char buffer[] = "ab\0zz";
  const char16_t wideBuffer[] = u"ab\0zz";
  struct Case {
    const char* S1;
    int Count1;
    const char* S2;
    int Count2;
    int Expected;
  };
  const std::vector<Case> cases = {
      {"abcdef", 3, "abc", -1, EQ}, {"abcdef", 3, "abd", -1, LT}, {"abc", 2, "ab", -1, EQ},
      {"abc", 0, "", -1, EQ},       {"abc", 0, "x", 0, EQ},        {buffer, 5, "ab", -1, EQ},
      {buffer, 5, "abz", -1, LT},   {"abc", -2, "abc", -1, EQ},    {nullptr, 0, "", -1, EQ},
      {nullptr, -1, "a", -1, LT},   {"b", 1, "abc", 1, GT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CompareStringA(LOCALE_USER_DEFAULT, 0, c.S1, c.Count1, c.S2, c.Count2), c.Expected)
        << (c.S1 ? c.S1 : "(null)") << " " << c.Count1 << " / " << c.S2 << " " << c.Count2;
    const std::u16string w1 = c.S1 ? Cp1252ToUtf16(std::string(c.S1, c.S1 == buffer ? 5 : std::strlen(c.S1))) : u"";
    const std::u16string w2 = Cp1252ToUtf16(c.S2);
    EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, c.S1 ? w1.c_str() : nullptr, c.Count1, w2.c_str(), c.Count2),
              c.Expected);
  }
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, wideBuffer, 5, u"ab", 2), EQ);
}

TEST_F(CollationTest, LocalesTailorTheOrder) {
  struct Case {
    std::string Locale, A, B;
    int Expected;
  };
  const std::vector<Case> cases = {
      {"root", "\xE4", "z", LT}, {"de", "\xE4", "z", LT}, {"sv", "\xE4", "z", GT},
      {"sv", "\xE5", "\xE4", LT}, {"de", "a", "B", LT},   {"sv", "a", "B", LT},
  };
  for (const auto& c : cases) {
    SetCollationLocale(c.Locale);
    EXPECT_EQ(CollationLocale(), c.Locale);
    EXPECT_EQ(Narrow(c.A, c.B, 0), c.Expected) << c.Locale << ": " << c.A << " / " << c.B;
    EXPECT_EQ(Narrow(c.A, c.B, NORM_IGNORECASE), c.Expected) << c.Locale << ": " << c.A << " / " << c.B;
  }
}

TEST_F(CollationTest, ProcessLocaleWithoutNationalRulesUsesRoot) {
  const char* saved = std::getenv("LC_ALL");
  const std::string savedValue = saved ? saved : "";
  for (const std::string name : {"C", "POSIX", "C.UTF-8"}) {
    setenv("LC_ALL", name.c_str(), 1);
    SetCollationLocale("");
    EXPECT_EQ(CollationLocale(), "root") << name;
    EXPECT_EQ(Narrow("a", "B", 0), LT) << name;  // en_US_POSIX would put B first
  }
  setenv("LC_ALL", "sv_SE.UTF-8", 1);
  SetCollationLocale("");
  EXPECT_EQ(CollationLocale(), "sv_SE");
  EXPECT_EQ(Narrow("\xE4", "z", 0), GT);
  if (saved) setenv("LC_ALL", savedValue.c_str(), 1);
  else unsetenv("LC_ALL");
}

TEST_F(CollationTest, ConvenienceFunctionsGiveSigns) {
  EXPECT_EQ(AnsiCompareStr("a", "B"), -1);
  EXPECT_EQ(AnsiCompareStr("abc", "ABC"), -1);
  EXPECT_EQ(AnsiCompareText("abc", "ABC"), 0);
  EXPECT_EQ(AnsiCompareText("b", "A"), 1);
  EXPECT_TRUE(AnsiSameText("Stra\xDF" "e", "STRA\xDF" "E"));
  EXPECT_TRUE(AnsiSameText("\xE4\xF6", "\xC4\xD6"));
  EXPECT_FALSE(AnsiSameText("e", "\xE9"));
  EXPECT_EQ(WideCompareStr(u"x", u"X"), -1);
  EXPECT_EQ(WideCompareText(u"x", u"X"), 0);
  EXPECT_EQ(WideCompareText(u"\u00E9", u"f"), -1);
  EXPECT_EQ(AnsiCompareStr(std::string("a\0b", 3), std::string("a\0c", 3)), 0);  // stops at the NUL
}

TEST_F(CollationTest, CaseMappingStaysInTheCodePage) {
  EXPECT_EQ(AnsiUpperCase("abc\xE4\xFF\xDF\x9A\xB5 1-"), "ABC\xC4\x9F\xDF\x8A\xB5 1-");
  EXPECT_EQ(AnsiLowerCase("ABC\xC4\x9F\x8A\xD0 1-"), "abc\xE4\xFF\x9A\xF0 1-");
  EXPECT_EQ(WideUpperCase(u"stra\u00DFe \u0101"), u"STRASSE \u0100");
  EXPECT_EQ(WideLowerCase(u"\u00C0B\u0130"), u"\u00E0bi\u0307");
  SetCollationLocale("tr");
  EXPECT_EQ(AnsiUpperCase("i"), "i");  // dotted capital I is not in the code page
  EXPECT_EQ(AnsiLowerCase("I"), "I");  // nor is dotless small i
  EXPECT_EQ(WideUpperCase(u"i"), u"\u0130");
  EXPECT_EQ(WideLowerCase(u"I"), u"\u0131");
}

TEST_F(CollationTest, ThreadsCompareConcurrently) {
  std::vector<std::string> words;
  for (char a : std::string("aAbB-e\xE9 z"))
    for (char b : std::string("aAbB-e\xE9 z")) words.push_back(std::string(1, a) + b);
  std::vector<int> expected;
  for (const auto& a : words)
    for (const auto& b : words) expected.push_back(Narrow(a, b, (a[0] & 1) ? NORM_IGNORECASE : 0));
  std::atomic<int> mismatches{0};
  auto work = [&] {
    for (int round = 0; round < 20; ++round) {
      size_t k = 0;
      for (const auto& a : words)
        for (const auto& b : words)
          if (Narrow(a, b, (a[0] & 1) ? NORM_IGNORECASE : 0) != expected[k++]) ++mismatches;
    }
  };
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back(work);
  for (auto& t : threads) t.join();
  EXPECT_EQ(mismatches.load(), 0);
}

// Pairs of printable-ASCII texts of the kinds that stress a per-character comparison.
std::vector<std::pair<std::string, std::string>> RandomPairs(unsigned seed, int count) {
  std::mt19937 random(seed);
  const std::string pool = "aAbBeEsSzZvVwW019 -_.,;'\"!?~()[]{}@#$%&*+=<>/\\|^`";
  auto pick = [&](int n) { return static_cast<int>(random() % static_cast<unsigned>(n)); };
  auto randomChar = [&]() -> char {
    return pick(3) == 0 ? static_cast<char>(0x20 + pick(95)) : pool[static_cast<size_t>(pick(static_cast<int>(pool.size())))];
  };
  auto randomText = [&](int maxLength) {
    std::string s;
    for (int i = pick(maxLength + 1); i > 0; --i) s += randomChar();
    return s;
  };
  std::vector<std::pair<std::string, std::string>> pairs;
  while (static_cast<int>(pairs.size()) < count) {
    std::string a = randomText(10), b;
    switch (pick(7)) {
      case 0: b = randomText(10); break;
      case 1: b = a; break;                                                     // equal
      case 2:                                                                   // case twin
        b = a;
        for (char& c : b) if (std::isalpha(static_cast<unsigned char>(c)) && pick(2)) c ^= 0x20;
        break;
      case 3: b = a.substr(0, static_cast<size_t>(pick(static_cast<int>(a.size()) + 1))); break;  // prefix
      case 4: b = a + randomChar(); break;                                      // extension
      case 5:                                                                   // one character inserted
        b = a;
        b.insert(static_cast<size_t>(pick(static_cast<int>(a.size()) + 1)), 1, " -'."[pick(4)]);
        break;
      default:                                                                  // one character changed
        b = a;
        if (!b.empty()) b[static_cast<size_t>(pick(static_cast<int>(b.size())))] = randomChar();
        break;
    }
    pairs.emplace_back(a, b);
  }
  return pairs;
}

TEST_F(CollationTest, FastPathAgreesWithTheCollator) {
  struct Case {
    std::string Locale;
    bool Fast;  // whether printable ASCII may use the rank tables
  };
  // Czech, Hungarian and Danish contract letter pairs ("ch", "cs", "aa"), Canadian French
  // weighs accents backwards: those leave everything to ICU.
  const std::vector<Case> cases = {{"root", true}, {"de", true}, {"sv", true}, {"en_US", true}, {"es", true},
                                   {"da", false}, {"cs", false}, {"hu", false}, {"fr_CA", false}};
  const auto pairs = RandomPairs(20240611, 30000);
  for (const auto& c : cases) {
    SetCollationLocale(c.Locale);
    EXPECT_EQ(rtl_detail::CollationFastPathEnabled(), c.Fast) << c.Locale;
    int differences = 0;
    for (const auto& [a, b] : pairs) {
      const std::u16string wa = Cp1252ToUtf16(a), wb = Cp1252ToUtf16(b);
      for (uint32_t flags : {0u, NORM_IGNORECASE}) {
        const int expected = rtl_detail::CompareWithCollator(flags, wa.c_str(), -1, wb.c_str(), -1);
        const int narrow = Narrow(a, b, flags), wide = Wide(a, b, flags);
        if (narrow != expected || wide != expected) {
          if (++differences <= 5) ADD_FAILURE() << c.Locale << " flags " << flags << ": '" << a << "' / '" << b << "'";
        }
      }
    }
    EXPECT_EQ(differences, 0) << c.Locale;
  }
}

TEST_F(CollationTest, FastPathHandsOtherCharactersToTheCollator) {
  // Texts that are printable ASCII except for one character, where only ICU knows the answer.
  const std::vector<OrderCase> cases = {
      {"ab\x01", "ab", EQ, EQ},        // a control character is ignorable
      {"a\xE4", "az", LT, LT},          // root: a-umlaut sorts with a
      {"abc\x7F", "abc", EQ, EQ},
      {"\xC4" "b", "Ab", GT, GT},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Narrow(c.A, c.B, 0), c.CaseSensitive) << c.A << " / " << c.B;
    EXPECT_EQ(Narrow(c.A, c.B, NORM_IGNORECASE), c.IgnoreCase) << c.A << " / " << c.B;
  }
  const std::u16string combining = u"a\u0308";  // a + combining diaeresis
  SetCollationLocale("sv");
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, combining.c_str(), -1, u"z", -1), GT);
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, combining.c_str(), -1, u"\u00E4", -1), EQ);
}

TEST_F(CollationTest, PrintableCheckFindsAnyOtherCharacterAtAnyPosition) {
  const std::vector<char16_t> outside = {0x00, 0x01, 0x1F, 0x7F, 0x80, 0xA0, 0xFF, 0x100, 0x2020, 0x7F20, 0xFF20, 0xFFFF};
  for (int length = 0; length <= 19; ++length) {
    std::u16string wide(static_cast<size_t>(length), u'~');
    for (int i = 0; i < length; ++i) wide[static_cast<size_t>(i)] = static_cast<char16_t>(0x20 + (i * 37) % 95);
    const std::string narrow = Utf16ToCp1252(wide);
    ASSERT_TRUE(rtl_detail::AllPrintableAscii(wide.data(), length)) << length;
    ASSERT_TRUE(rtl_detail::AllPrintableAscii(narrow.data(), length)) << length;
    for (int pos = 0; pos < length; ++pos) {
      for (char16_t c : outside) {
        std::u16string w = wide;
        w[static_cast<size_t>(pos)] = c;
        EXPECT_FALSE(rtl_detail::AllPrintableAscii(w.data(), length)) << length << " " << pos << " " << int(c);
        if (c < 0x100) {
          std::string n = narrow;
          n[static_cast<size_t>(pos)] = static_cast<char>(c);
          EXPECT_FALSE(rtl_detail::AllPrintableAscii(n.data(), length)) << length << " " << pos << " " << int(c);
        }
      }
    }
  }
  // Long texts with an ignorable control character: only ICU knows they are equal.
  const std::string longText = "abcdefghijklmnopqrstuvwxyz";
  EXPECT_EQ(Narrow(longText.substr(0, 12) + "\x01" + longText.substr(12), longText, 0), EQ);
  const std::u16string wideText = Cp1252ToUtf16(longText), wideWithControl = wideText.substr(0, 9) + u"\x01" + wideText.substr(9);
  EXPECT_EQ(CompareStringW(LOCALE_USER_DEFAULT, 0, wideWithControl.c_str(), -1, wideText.c_str(), -1), EQ);
}

}  // namespace
