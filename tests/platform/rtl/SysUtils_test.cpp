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

}  // namespace
