#include "engine/access/TarnexDateFormat.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"

namespace {

using K = TDateFormatTokenKind;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) {
  return EncodeDate(y, mo, d) + EncodeTime(h, mi, s, 0);
}

class TarnexDateFormatTest : public ::testing::Test {
protected:
  void SetUp() override { FormatSettings() = TFormatSettings::EnUS(); }
};

// ---- text codecs ----

TEST(TarnexTextCodecTest, EncodeBase64) {
  const struct { std::string bytes; const char* text; } cases[] = {
      {"", ""}, {"A", "QQ=="}, {"AB", "QUI="}, {"ABC", "QUJD"}, {"ABCD", "QUJDRA=="},
      {std::string("\xFF\xFE", 2), "//4="}, {std::string("\0\0\0", 3), "AAAA"}, {"\xFB\xEF", "++8="},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, EncodeBase64(c.bytes)) << c.text;
  EXPECT_EQ("", EncodeBase64(nullptr, 5));
  EXPECT_EQ("", EncodeBase64("AB", -1));
}

TEST(TarnexTextCodecTest, Base64RoundTripOfEveryByte) {
  std::string all;
  for (int i = 0; i < 256; ++i) all += static_cast<char>(i);
  for (size_t len : {0u, 1u, 2u, 3u, 100u, 256u}) {
    const std::string bytes = all.substr(0, len);
    const std::string text = EncodeBase64(bytes);
    EXPECT_EQ(0u, text.size() % 4);
    std::string back;
    ASSERT_TRUE(DecodeBase64(text, back));
    EXPECT_EQ(bytes, back) << len;
  }
}

TEST(TarnexTextCodecTest, DecodeBase64) {
  const struct { const char* text; std::string bytes; } cases[] = {
      {"QUJD", "ABC"}, {"QUI", "AB"}, {"QUJD\r\n", "ABC"}, {"QUI=", "AB"}, {"QQ==", "A"},
      {"QQ", "A"}, {"Q", ""}, {"", ""}, {"====", ""}, {"QU JD", "ABC"}, {"{QUJD}", "ABC"},
      {"QUJD$QUJD", "ABCABC"}, {"'QU\tJD';", "ABC"}, {"[Q-U_J:D]", "ABC"}, {"\"QUJD\"*\\", "ABC"},
      {"QUJDRA==", "ABCD"},
  };
  for (const auto& c : cases) {
    std::string bytes = "stale";
    EXPECT_TRUE(DecodeBase64(c.text, bytes)) << c.text;
    EXPECT_EQ(c.bytes, bytes) << c.text;
  }
  for (const char* bad : {"QUJ!", "QUJD\x80", "QU.D", "QUJD#", "\xC3\xA9", "QUJD|", "%"}) {
    std::string bytes = "stale";
    EXPECT_FALSE(DecodeBase64(bad, bytes)) << bad;
    EXPECT_EQ("", bytes) << bad;
  }
}

TEST(TarnexTextCodecTest, DecodeHex) {
  const struct { const char* text; std::string bytes; } cases[] = {
      {"0x1F", "\x1F"}, {"$1F", "\x1F"}, {"1F", "\x1F"}, {"1f h", "\x1F"}, {"ABC", "\xAB"},
      {"", ""}, {"00 ff 7E", std::string("\x00\xFF\x7E", 3)}, {"1F$20", "\x20"}, {"$1Fx20", "\x1F\x20"},
      {"12X", ""}, {"[0A,0B]", "\x0A\x0B"}, {"0X1f2e", "\x1F\x2E"}, {"1 F", "\x1F"},
      {"'1F'/\"2E\"+*\\;:-_(){}\t\r\n", "\x1F\x2E"}, {"hH", ""},
  };
  for (const auto& c : cases) {
    std::string bytes = "stale";
    EXPECT_TRUE(DecodeHex(c.text, bytes)) << c.text;
    EXPECT_EQ(c.bytes, bytes) << c.text;
  }
  for (const char* bad : {"1G", "0x1Z", "12.3", "=", "1F#", "\xFF"}) {
    std::string bytes = "stale";
    EXPECT_FALSE(DecodeHex(bad, bytes)) << bad;
    EXPECT_EQ("", bytes) << bad;
  }
}

// ---- date formats ----

struct TokenSpec {
  K kind;
  std::string text;
  bool operator==(const TokenSpec& o) const { return kind == o.kind && text == o.text; }
};

std::vector<TokenSpec> TokensOf(const std::string& format) {
  std::vector<TokenSpec> out;
  const TDateFormater f(format);
  for (const TDateFormatToken& t : f.Tokens()) out.push_back({t.Kind, t.Text});
  return out;
}

std::ostream& operator<<(std::ostream& os, const TokenSpec& t) {
  return os << static_cast<int>(t.kind) << ":'" << t.text << "'";
}

TEST_F(TarnexDateFormatTest, ParseFormat) {
  const K L = K::Literal;
  const struct { const char* format; std::vector<TokenSpec> tokens; } cases[] = {
      {"YYYY-MM-DD", {{K::YYYY, "YYYY"}, {L, "-"}, {K::MM, "MM"}, {L, "-"}, {K::DD, "DD"}}},
      {"DD 'of' MONTH", {{K::DD, "DD"}, {L, " "}, {L, "of"}, {L, " "}, {K::MONTH, "MONTH"}}},
      {"HH24:NN", {{K::HH24, "HH24"}, {L, ":"}, {K::NN, "NN"}}},
      {"YYY", {{K::YY, "YY"}, {L, "Y"}}},
      {"yyyy/Mm", {{K::YYYY, "yyyy"}, {L, "/"}, {K::MM, "Mm"}}},
      {"Year Month Mon", {{K::YEAR, "Year"}, {L, " "}, {K::MONTH, "Month"}, {L, " "}, {K::MON, "Mon"}}},
      {"MONTHS", {{K::MONTH, "MONTH"}, {K::S, "S"}}},
      {"ddd dy day dw d", {{K::DDD, "ddd"}, {L, " "}, {K::DY, "dy"}, {L, " "}, {K::DAY, "day"}, {L, " "},
                           {K::DW, "dw"}, {L, " "}, {K::D, "d"}}},
      {"hh12h24hHH", {{K::HH12, "hh12"}, {K::H24, "h24"}, {K::HH, "hH"}, {K::H, "H"}}},
      {"H12 NSS rm Q", {{K::H12, "H12"}, {L, " "}, {K::N, "N"}, {K::SS, "SS"}, {L, " "}, {K::RM, "rm"},
                        {L, " "}, {K::Q, "Q"}}},
      {"AMPM am", {{K::AMPM, "AMPM"}, {L, " a"}, {K::M, "m"}}},
      {"''", {{L, ""}}},
      {"\"it's\"", {{L, "it's"}}},
      {"x'y'z", {{L, "x"}, {L, "y"}, {L, "z"}}},
      {"DD'abc", {{K::DD, "DD"}, {L, "abc"}}},
      {"'", {{L, ""}}},
      {"", {}},
      {"%&!", {{L, "%&!"}}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.tokens, TokensOf(c.format)) << c.format;
}

TEST_F(TarnexDateFormatTest, ParseFormatReplacesTheTokens) {
  TDateFormater f("YYYY-MM-DD");
  f.ParseFormat("HH24");
  ASSERT_EQ(1u, f.Tokens().size());
  EXPECT_EQ(K::HH24, f.Tokens()[0].Kind);
}

TEST_F(TarnexDateFormatTest, FormatDate) {
  const struct { const char* format; TDateTime value; const char* text; } cases[] = {
      {"YYYY-MM-DD", At(2004, 3, 15), "2004-03-15"},
      {"yyyy-mm-dd", At(2004, 3, 15), "2004-03-15"},
      {"HH:NN AMPM", At(2004, 3, 15, 12, 5), "00:05 PM"},
      {"HH:NN AMPM", At(2004, 3, 15, 0, 5), "00:05 AM"},
      {"HH:NN AMPM", At(2004, 3, 15, 11, 59), "11:59 AM"},
      {"DD-MON-YYYY", At(2004, 1, 5), "05-Jan-2004"},
      {"RM", At(2004, 9, 1), "IX"},
      {"RM", At(2004, 9, 30), "IX"},
      {"RM RM", At(2004, 8, 30), "VIII VIII"},
      {"DDD", At(2004, 2, 1), "32"},
      {"DDD", At(2004, 12, 31), "366"},
      {"DDD", At(2003, 12, 31), "365"},
      {"DDD", At(2004, 1, 1), "1"},
      {"DW", At(2004, 3, 15), "1"},  // a Monday
      {"DW", At(2004, 3, 21), "7"},  // a Sunday
      {"DW", At(2004, 3, 20), "6"},
      {"Q", At(2004, 5, 31), "2"},
      {"Q Q Q", At(2004, 1, 1), "1 1 1"},
      {"Q", At(2004, 12, 1), "4"},
      {"D/M/YY H:N:S", At(2004, 3, 5, 9, 7, 3), "5/3/04 9:7:3"},
      {"DD/MM/YYYY HH24:NN:SS", At(2004, 3, 5, 9, 7, 3), "05/03/2004 09:07:03"},
      {"DAY, DD MONTH YYYY", At(2004, 3, 15), "Monday, 15 March 2004"},
      {"Dy Mon", At(2004, 3, 20), "Sat Mar"},
      {"H24 HH24 H12 HH12 H HH", At(2004, 3, 15, 14), "14 14 2 02 2 02"},
      {"YEAR YYYY YY", At(5, 6, 7), "0005 0005 05"},
      {"YY", At(1930, 1, 1), "30"},
      {"'Q'Q\"DD\"", At(2004, 5, 1), "Q2DD"},
      {"%&!", At(2004, 5, 1), "%&!"},
      {"", At(2004, 5, 1), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(c.text, TDateFormater(c.format).FormatDate(c.value)) << c.format;
}

TEST_F(TarnexDateFormatTest, FormatDateUsesTheGivenNames) {
  TFormatSettings s = TFormatSettings::EnUS();
  s.LongMonthNames[2] = "Maerz";
  s.ShortMonthNames[2] = "Mrz";
  s.LongDayNames[1] = "Montag";
  s.ShortDayNames[1] = "Mo";
  EXPECT_EQ("Montag Mo 15 Maerz Mrz", TDateFormater("DAY DY DD MONTH MON").FormatDate(At(2004, 3, 15), s));
  FormatSettings() = s;
  EXPECT_EQ("Montag Mrz", TDateFormater("DAY MON").FormatDate(At(2004, 3, 15)));
}

TEST_F(TarnexDateFormatTest, ScanDate) {
  const struct { const char* format; const char* text; TDateTime value; } cases[] = {
      {"YYYY-MM-DD", "2004-03-15", At(2004, 3, 15)},
      {"DD.MM.YY", "05.11.29", At(2029, 11, 5)},
      {"DD.MM.YY", "05.11.30", At(1930, 11, 5)},
      {"DD.MM.YY", "05.11.00", At(2000, 11, 5)},
      {"HH24:NN", "14:30", EncodeTime(14, 30, 0, 0)},
      {"HH:NN AMPM", "02:15 PM", EncodeTime(14, 15, 0, 0)},
      {"HH:NN AMPM", "02:15 pm", EncodeTime(14, 15, 0, 0)},
      {"HH:NN AMPM", "02:15 AM", EncodeTime(2, 15, 0, 0)},
      {"D/M/YYYY", "5/3/2004", At(2004, 3, 5)},
      {"D/M/YYYY", "15/11/2004", At(2004, 11, 15)},
      {"D/M/YYYY", "5/11/2004", At(2004, 11, 5)},
      {"DD-MON-YYYY", "05-JAN-2004", 0.0},
      {"YYYY Q DD", "2004 3 01", At(2004, 7, 1)},
      {"YYYY Q", "2004 3", 0.0},
      {"YYYY-MM-DD HH24:NN:SS", "2004-03-15 23:59:58", At(2004, 3, 15, 23, 59, 58)},
      {"YYYYMMDD", "20040315", At(2004, 3, 15)},
      {"YEAR.M.D H:N:S", "2004.3.5 9:5:7", At(2004, 3, 5, 9, 5, 7)},
      {"H24:NN", "9:30", EncodeTime(9, 30, 0, 0)},
      {"MONTH DD YYYY", "March 15 2004", 0.0},    // MONTH skips five characters, month stays 0
      {"DY DD.MM.YYYY", "Mo 15.03.2004", At(2004, 3, 15)},
      {"DAY DDD DW RM DD.MM.YYYY", "Mon 075 01 II 15.03.2004", At(2004, 3, 15)},
      {"'at' HH24", "xy 07", EncodeTime(7, 0, 0, 0)},  // literals skip without comparing
      {"", "anything", 0.0},
      {"S", "5", EncodeTime(0, 0, 5, 0)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " <- " + c.text);
    EXPECT_DOUBLE_EQ(c.value, TDateFormater(c.format).ScanDate(c.text));
  }
}

TEST_F(TarnexDateFormatTest, ScanDateReadsWhatFormatDateWrites) {
  const TDateTime values[] = {At(2004, 3, 15, 14, 30, 5), At(1999, 12, 31, 23, 59, 59), At(2029, 1, 1, 0, 0, 1)};
  // Names, Roman months and day numbers are skipped by their word's length, so only the numeric
  // fields read back.
  for (const char* format : {"YYYY-MM-DD HH24:NN:SS", "D/M/YYYY H24:N:S", "DD.MM.YY HH:NN:SS AMPM",
                             "YEAR-MM-DD H12:NN:S AMPM", "YYYYMMDDHH24NNSS"}) {
    const TDateFormater f(format);
    for (TDateTime v : values) EXPECT_DOUBLE_EQ(v, f.ScanDate(f.FormatDate(v))) << format << " " << f.FormatDate(v);
  }
}

TEST_F(TarnexDateFormatTest, ScanDateFailures) {
  const struct { const char* format; const char* text; std::string message; int32_t code; } cases[] = {
      {"HH:NN AMPM", "02:15 XM", "AM/PM word expected, but 'XM' found - Native error: 30129", 30129},
      {"HH:NN AMPM", "02:15 xm", "AM/PM word expected, but 'xm' found - Native error: 30129", 30129},
      {"HH:NN AMPM", "02:15 P", "AM/PM word expected, but 'P' found - Native error: 30129", 30129},
      {"YYYY-MM-DD", "2004-13-01", "Invalid argument to date encode", 0},
      {"YYYY-MM-DD", "2004-04-31", "Invalid argument to date encode", 0},
      {"YYYY Q DD", "2004 0 01", "Invalid argument to date encode", 0},
      {"HH24:NN", "24:00", "Invalid argument to time encode", 0},
      {"HH24:NN", "12:60", "Invalid argument to time encode", 0},
      {"H24NN", "930", "Invalid argument to time encode", 0},  // a following digit makes it 93
      {"HH:NN AMPM", "12:00 PM", "Invalid argument to time encode", 0},
      {"YYYY-MM-DD", "20x4-03-15", "'20x4' is not a valid integer value", 0},
      {"YYYY-MM-DD", "2004-03", "'' is not a valid integer value", 0},
      {"YYYY-MM-DD HH24", "2004-03-15", "'' is not a valid integer value", 0},
      {"D", "", "'' is not a valid integer value", 0},
      {"YYYY", "-001", ERangeError().Message(), 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.format) + " <- " + c.text);
    try {
      TDateFormater(c.format).ScanDate(c.text);
      ADD_FAILURE() << "no error";
    } catch (const ETarnexException& e) {
      EXPECT_EQ(c.code, e.NativeErrorCode());
      EXPECT_EQ(c.message, e.Message());
    } catch (const Exception& e) {
      EXPECT_EQ(0, c.code) << e.Message();
      EXPECT_EQ(c.message, e.Message());
    }
  }
  EXPECT_THROW(TDateFormater("YYYY").ScanDate("-001"), ERangeError);
  EXPECT_THROW(TDateFormater("D").ScanDate("x"), EConvertError);
}

TEST_F(TarnexDateFormatTest, MaxFormattedLength) {
  const struct { const char* format; int32_t max; } cases[] = {
      {"DD-MON-YYYY", 11}, {"DAY, DD MONTH YYYY", 31}, {"", 0}, {"Q", 1}, {"YEAR", 4}, {"DDD", 3},
      {"RM", 4}, {"'literal'", 7}, {"HH24:NN:SS AMPM", 11}, {"D M H N S DW YY", 20}, {"DY", 3},
  };
  for (const auto& c : cases) EXPECT_EQ(c.max, TDateFormater(c.format).MaxFormattedLength()) << c.format;

  TFormatSettings s = TFormatSettings::EnUS();
  s.LongMonthNames[8] = "Septembre-long";  // 14 characters
  s.LongDayNames[3] = "Thirteen-char";     // 13 characters
  EXPECT_EQ(14 + 1 + 13, TDateFormater("MONTH DAY").MaxFormattedLength(s));
}

TEST_F(TarnexDateFormatTest, FormattedTextNeverPassesTheMaximum) {
  const TDateFormater f("YYYY YY YEAR Q MONTH MON MM M RM DDD DD DAY DY DW D HH12 HH24 HH H12 H24 H NN N SS S AMPM");
  const int32_t max = f.MaxFormattedLength();
  for (int day = 0; day < 366; ++day) {
    const TDateTime v = At(2004, 1, 1) + day + (day % 24) / 24.0;
    ASSERT_LE(static_cast<int32_t>(f.FormatDate(v).size()), max) << f.FormatDate(v);
  }
}

}  // namespace
