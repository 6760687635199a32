#include "platform/rtl/SysUtils.h"

#include "platform/rtl/FormatSettings.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>

namespace {

class SysUtilsTest : public ::testing::Test {
protected:
  void SetUp() override { FormatSettings() = TFormatSettings::EnUS(); }
};

template <typename E>
std::string MessageOf() {
  return E().what();
}

TEST_F(SysUtilsTest, RunTimeErrorsCarryTheirMessagesAndBases) {
  EXPECT_EQ(MessageOf<ERangeError>(), "Range check error");
  EXPECT_EQ(MessageOf<EIntOverflow>(), "Integer overflow");
  EXPECT_EQ(MessageOf<EDivByZero>(), "Division by zero");
  EXPECT_EQ(MessageOf<EZeroDivide>(), "Floating point division by zero");
  EXPECT_EQ(MessageOf<EInvalidOp>(), "Invalid floating point operation");
  EXPECT_EQ(MessageOf<EOverflow>(), "Floating point overflow");
  EXPECT_EQ(MessageOf<EOutOfMemory>(), "Out of memory");
  EXPECT_THROW(throw ERangeError(), EIntError);
  EXPECT_THROW(throw EZeroDivide(), EMathError);
  EConvertError e("first");
  e.SetMessage("second");
  EXPECT_EQ(std::string(e.what()), "second");
  EXPECT_EQ(e.Message(), "second");
}

struct FormatCase {
  std::string Format;
  std::vector<TVarRec> Args;
  std::string Expected;
};

TEST_F(SysUtilsTest, FormatFollowsTheDirectiveRules) {
  const void* pointer = reinterpret_cast<const void*>(uintptr_t{0x1A2B});
  const std::vector<FormatCase> cases = {
      {"%d", {42}, "42"},
      {"%D items", {3}, "3 items"},
      {"%5d", {2011}, " 2011"},
      {"%-5d|", {7}, "7    |"},
      {"%.5d", {1}, "00001"},
      {"%.5d", {-1}, "-00001"},
      {"%8.5d", {12}, "   00012"},
      {"%2d", {12345}, "12345"},
      {"%*d", {6, 42}, "    42"},
      {"%-*d|", {4, 1}, "1   |"},
      {"%.*d", {3, 7}, "007"},
      {"%d", {9000000000LL}, "9000000000"},
      {"%d", {std::numeric_limits<int64_t>::min()}, "-9223372036854775808"},
      {"%u", {-1}, "4294967295"},
      {"%u", {7u}, "7"},
      {"%x", {255}, "FF"},
      {"%.4x", {255}, "00FF"},
      {"%x", {-1}, "FFFFFFFF"},
      {"%x", {int64_t{-1}}, "FFFFFFFFFFFFFFFF"},
      {"%1:s %0:s", {"a", "b"}, "b a"},
      {"%1:s %s", {"a", "b", "c"}, "b c"},
      {"%s", {std::string("abc")}, "abc"},
      {"%.2s", {"abc"}, "ab"},
      {"%5s", {"ab"}, "   ab"},
      {"%-5s|", {"ab"}, "ab   |"},
      {"%s", {'x'}, "x"},
      {"%s", {std::u16string(u"caf\u00e9 \u20ac")}, "caf\xE9 \x80"},
      {"%f", {1.5}, "1.50"},
      {"%.3f", {2.0 / 3.0}, "0.667"},
      {"%.0f", {2.5}, "3"},
      {"%.2f", {0.125}, "0.13"},
      {"%.2f", {-1.005}, "-1.00"},
      {"%.1f", {-0.04}, "0.0"},
      {"%8.2f|", {3.14159}, "    3.14|"},
      {"%e", {1234.5}, "1.23450000000000E+003"},
      {"%.3e", {-0.00012345}, "-1.23E-004"},
      {"%g", {0.000001}, "1E-6"},
      {"%g", {123.456}, "123.456"},
      {"%n", {1234567.891}, "1,234,567.89"},
      {"%.0n", {999.5}, "1,000"},
      {"%m", {1234.5}, "$1,234.50"},
      {"%m", {-3.0}, "($3.00)"},
      {"%p", {pointer}, "00001A2B"},
      {"100%%", {}, "100%"},
      {"%s=%d (%5.1f%%)", {"n", 5, 12.25}, "n=5 ( 12.3%)"},
  };
  for (const auto& c : cases) EXPECT_EQ(Format(c.Format, c.Args), c.Expected) << c.Format;
}

TEST_F(SysUtilsTest, FormatUsesTheGivenSettings) {
  TFormatSettings german = TFormatSettings::EnUS();
  german.DecimalSeparator = ',';
  german.ThousandSeparator = '.';
  german.CurrencyString = "EUR";
  german.CurrencyFormat = 3;
  german.NegCurrFormat = 8;
  EXPECT_EQ(Format("%.2f", {1.5}, german), "1,50");
  EXPECT_EQ(Format("%n", {1234.5}, german), "1.234,50");
  EXPECT_EQ(Format("%m", {1234.5}, german), "1.234,50 EUR");
  EXPECT_EQ(Format("%m", {-2.0}, german), "-2,00 EUR");
  FormatSettings() = german;
  EXPECT_EQ(Format("%.1f", {2.25}), "2,3");
}

TEST_F(SysUtilsTest, FormatRejectsMissingOrIncompatibleArguments) {
  const std::vector<FormatCase> cases = {
      {"%d", {}, ""},           {"%d and %d", {1}, ""}, {"%d", {"x"}, ""},   {"%d", {1.5}, ""},
      {"%d", {true}, ""},       {"%s", {1}, ""},        {"%f", {1}, ""},     {"%p", {1}, ""},
      {"%z", {1}, ""},          {"abc %", {1}, ""},     {"%5:d", {1}, ""},   {"%*d", {"w", 1}, ""},
  };
  for (const auto& c : cases) {
    try {
      Format(c.Format, c.Args);
      ADD_FAILURE() << c.Format << " was accepted";
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "Format '" + c.Format + "' invalid or incompatible with argument");
    }
  }
}

struct IntCase {
  std::string Text;
  std::optional<int32_t> As32;  // nullopt: StrToInt refuses it
  std::optional<int64_t> As64;  // nullopt: StrToInt64 refuses it
};

TEST_F(SysUtilsTest, IntegersReadDecimalAndHexadecimal) {
  const std::vector<IntCase> cases = {
      {"0", 0, 0},
      {"123", 123, 123},
      {"-123", -123, -123},
      {"+5", 5, 5},
      {"  42", 42, 42},
      {"42 ", std::nullopt, std::nullopt},
      {"", std::nullopt, std::nullopt},
      {"  ", std::nullopt, std::nullopt},
      {"-", std::nullopt, std::nullopt},
      {"12a", std::nullopt, std::nullopt},
      {"1.0", std::nullopt, std::nullopt},
      {"$FF", 255, 255},
      {"0x1f", 31, 31},
      {"0X1F", 31, 31},
      {"-$10", -16, -16},
      {"$", std::nullopt, std::nullopt},
      {"0x", std::nullopt, std::nullopt},
      {"$G", std::nullopt, std::nullopt},
      {"$FFFFFFFF", -1, 4294967295LL},
      {"$100000000", std::nullopt, 4294967296LL},
      {"$FFFFFFFFFFFFFFFF", std::nullopt, -1},
      {"$10000000000000000", std::nullopt, std::nullopt},
      {"2147483647", 2147483647, 2147483647LL},
      {"2147483648", std::nullopt, 2147483648LL},
      {"-2147483648", std::numeric_limits<int32_t>::min(), -2147483648LL},
      {"-2147483649", std::nullopt, -2147483649LL},
      {"9223372036854775807", std::nullopt, std::numeric_limits<int64_t>::max()},
      {"9223372036854775808", std::nullopt, std::nullopt},
      {"-9223372036854775808", std::nullopt, std::numeric_limits<int64_t>::min()},
      {"99999999999999999999", std::nullopt, std::nullopt},
  };
  for (const auto& c : cases) {
    int32_t v32 = 77;
    EXPECT_EQ(TryStrToInt(c.Text, v32), c.As32.has_value()) << c.Text;
    if (c.As32) {
      EXPECT_EQ(v32, *c.As32) << c.Text;
      EXPECT_EQ(StrToInt(c.Text), *c.As32) << c.Text;
    } else {
      try {
        StrToInt(c.Text);
        ADD_FAILURE() << c.Text << " was read as Integer";
      } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'" + c.Text + "' is not a valid integer value");
      }
    }
    int64_t v64 = 77;
    EXPECT_EQ(TryStrToInt64(c.Text, v64), c.As64.has_value()) << c.Text;
    if (c.As64) {
      EXPECT_EQ(v64, *c.As64) << c.Text;
      EXPECT_EQ(StrToInt64(c.Text), *c.As64) << c.Text;
    } else {
      EXPECT_THROW(StrToInt64(c.Text), EConvertError) << c.Text;
    }
  }
}

TEST_F(SysUtilsTest, IntegersWriteDecimalAndHexadecimal) {
  EXPECT_EQ(IntToStr(0), "0");
  EXPECT_EQ(IntToStr(-17), "-17");
  EXPECT_EQ(IntToStr(std::numeric_limits<int64_t>::min()), "-9223372036854775808");
  EXPECT_EQ(IntToHex(255, 4), "00FF");
  EXPECT_EQ(IntToHex(0xABCDEF, 2), "ABCDEF");
  EXPECT_EQ(IntToHex(0, 0), "0");
  EXPECT_EQ(IntToHex(-1, 2), "FFFFFFFFFFFFFFFF");
  for (int64_t v : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{123456789012}, std::numeric_limits<int64_t>::min()})
    EXPECT_EQ(StrToInt64(IntToStr(v)), v);
}

TEST_F(SysUtilsTest, FloatToStrWritesTheShortestGeneralText) {
  const std::vector<std::pair<double, std::string>> cases = {
      {1.5, "1.5"},
      {3.0, "3"},
      {100.0, "100"},
      {-2.5, "-2.5"},
      {0.1, "0.1"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 3.0, "0.333333333333333"},
      {1e20, "1E20"},
      {1e15, "1E15"},
      {123456789012345.0, "123456789012345"},
      {999999999999999.9, "1E15"},
      {123456789012345680000.0, "1.23456789012346E20"},
      {0.0001, "0.0001"},
      {0.00001, "1E-5"},
      {-1.25e-10, "-1.25E-10"},
      {0.0, "0"},
      {-0.0, "0"},
      {std::numeric_limits<double>::quiet_NaN(), "NAN"},
      {std::numeric_limits<double>::infinity(), "INF"},
      {-std::numeric_limits<double>::infinity(), "-INF"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(FloatToStr(value), text) << text;
  TFormatSettings comma = TFormatSettings::EnUS();
  comma.DecimalSeparator = ',';
  EXPECT_EQ(FloatToStr(1.5, comma), "1,5");
  EXPECT_EQ(FloatToStr(-2.5e-7, comma), "-2,5E-7");
}

struct FloatReadCase {
  std::string Text;
  std::optional<double> Value;  // nullopt: refused
};

TEST_F(SysUtilsTest, StrToFloatReadsOnlyTheSettingsSeparator) {
  const std::vector<FloatReadCase> cases = {
      {"1.5", 1.5},       {" 1.5 ", 1.5},     {"-2.5E3", -2500.0}, {"1e-2", 0.01},     {"+.5", 0.5},
      {"5.", 5.0},        {"007", 7.0},       {"1E400", std::nullopt}, {"1e-400", 0.0},
      {"1,5", std::nullopt}, {".", std::nullopt}, {"1E", std::nullopt}, {"1E+", std::nullopt},
      {"abc", std::nullopt}, {"", std::nullopt}, {"1.2.3", std::nullopt}, {"1 000", std::nullopt},
      {"1.5x", std::nullopt}, {"--1", std::nullopt}, {"$10", std::nullopt},
  };
  for (const auto& c : cases) {
    double v = -99;
    EXPECT_EQ(TryStrToFloat(c.Text, v, FormatSettings()), c.Value.has_value()) << c.Text;
    if (c.Value) {
      EXPECT_DOUBLE_EQ(v, *c.Value) << c.Text;
      EXPECT_DOUBLE_EQ(StrToFloat(c.Text), *c.Value) << c.Text;
    } else {
      try {
        StrToFloat(c.Text);
        ADD_FAILURE() << c.Text << " was read";
      } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'" + c.Text + "' is not a valid floating point value");
      }
    }
  }
  TFormatSettings comma = TFormatSettings::EnUS();
  comma.DecimalSeparator = ',';
  EXPECT_DOUBLE_EQ(StrToFloat("1,5", comma), 1.5);
  EXPECT_THROW(StrToFloat("1.5", comma), EConvertError);
  EXPECT_TRUE(std::isnan(StrToFloat("NAN")));
  EXPECT_EQ(StrToFloat("-INF"), -std::numeric_limits<double>::infinity());
  for (double v : {0.1, -123.456, 1e20, 2.5e-9, 98765.4321})
    EXPECT_DOUBLE_EQ(StrToFloat(FloatToStr(v)), v);
}

TEST_F(SysUtilsTest, CurrencyKeepsFourDecimals) {
  const std::vector<std::pair<double, std::string>> written = {
      {2.5, "2.5"},           {3.0, "3"},   {1.23456, "1.2346"},   {-0.00004, "0"},   {-0.0001, "-0.0001"},
      {1234567890.1234, "1234567890.1234"}, {922337203685477.0, "922337203685477"}, {-7.10, "-7.1"},
  };
  for (const auto& [value, text] : written) EXPECT_EQ(CurrToStr(value), text) << text;
  EXPECT_DOUBLE_EQ(StrToCurr("2.34567"), 2.3457);
  EXPECT_DOUBLE_EQ(StrToCurr(" -12.5 "), -12.5);
  for (const std::string bad : {"1,5", "1E20", "x", ""}) EXPECT_THROW(StrToCurr(bad), EConvertError) << bad;
  TFormatSettings comma = TFormatSettings::EnUS();
  comma.DecimalSeparator = ',';
  EXPECT_EQ(CurrToStr(2.5, comma), "2,5");
  EXPECT_DOUBLE_EQ(StrToCurr("2,5", comma), 2.5);
}

TEST_F(SysUtilsTest, BooleansAsWordsOrNumbers) {
  EXPECT_EQ(BoolToStr(true), "True");
  EXPECT_EQ(BoolToStr(false), "False");
  EXPECT_EQ(BoolToStr(true, false), "-1");
  EXPECT_EQ(BoolToStr(false, false), "0");
  const std::vector<std::pair<std::string, std::optional<bool>>> cases = {
      {"True", true}, {"true", true}, {"FALSE", false}, {"-1", true}, {"0", false}, {"1", true},
      {"2.5", true},  {"0.0", false}, {"yes", std::nullopt}, {"", std::nullopt}, {"Tru", std::nullopt},
  };
  for (const auto& [text, value] : cases) {
    bool b = false;
    EXPECT_EQ(TryStrToBool(text, b), value.has_value()) << text;
    if (value) {
      EXPECT_EQ(b, *value) << text;
      EXPECT_EQ(StrToBool(text), *value) << text;
    } else {
      try {
        StrToBool(text);
        ADD_FAILURE() << text << " was read";
      } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'" + text + "' is not a valid boolean value");
      }
    }
  }
}

TEST_F(SysUtilsTest, AsciiCaseAndTrimming) {
  EXPECT_EQ(UpperCase("ab\xE4z09-"), "AB\xE4Z09-");
  EXPECT_EQ(LowerCase("AB\xC4Z09-"), "ab\xC4z09-");
  EXPECT_TRUE(SameText("Hello", "hELLO"));
  EXPECT_FALSE(SameText("Hello", "Hell"));
  EXPECT_FALSE(SameText("\xE4", "\xC4"));
  EXPECT_FALSE(SameText("[", "{"));
  EXPECT_EQ(Trim(" \t x y \r\n"), "x y");
  EXPECT_EQ(TrimLeft(" \t x y \r\n"), "x y \r\n");
  EXPECT_EQ(TrimRight(" \t x y \r\n"), " \t x y");
  EXPECT_EQ(Trim("   "), "");
  EXPECT_EQ(Trim("\xA0x\xA0"), "\xA0x\xA0");
}

}  // namespace
