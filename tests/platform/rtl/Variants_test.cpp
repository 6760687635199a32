#include "platform/rtl/Variants.h"

#include "platform/rtl/CodePage.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FormatSettings.h"

#include <gtest/gtest.h>

namespace {

class VariantsTest : public ::testing::Test {
protected:
  void SetUp() override { FormatSettings() = TFormatSettings::EnUS(); }
};

TEST_F(VariantsTest, ConstructorsSetTheTypeCode) {
  const std::vector<std::pair<Variant, TVarType>> cases = {
      {Variant(), TVarType::varEmpty},
      {Variant::Null(), TVarType::varNull},
      {Variant::FromSmallint(-2), TVarType::varSmallint},
      {Variant::FromInteger(3), TVarType::varInteger},
      {Variant::FromSingle(1.5f), TVarType::varSingle},
      {Variant::FromDouble(2.5), TVarType::varDouble},
      {Variant::FromCurrency(1.25), TVarType::varCurrency},
      {Variant::FromDate(40669.5), TVarType::varDate},
      {Variant::FromOleStr(u"w"), TVarType::varOleStr},
      {Variant::FromBoolean(true), TVarType::varBoolean},
      {Variant::FromShortInt(-8), TVarType::varShortInt},
      {Variant::FromByte(200), TVarType::varByte},
      {Variant::FromWord(60000), TVarType::varWord},
      {Variant::FromLongWord(4000000000u), TVarType::varLongWord},
      {Variant::FromInt64(-5000000000LL), TVarType::varInt64},
      {Variant::FromString("s"), TVarType::varString},
      {Variant::FromType(static_cast<TVarType>(0x0009)), static_cast<TVarType>(0x0009)},
  };
  for (const auto& [v, type] : cases) EXPECT_EQ(v.VarType(), type) << Variant::TypeName(type);
  EXPECT_TRUE(Variant::Null().IsNull());
  EXPECT_FALSE(Variant::Null().IsEmpty());
  EXPECT_TRUE(Variant().IsEmpty());
  EXPECT_EQ(Variant::TypeName(static_cast<TVarType>(0x0009)), "9");
}

TEST_F(VariantsTest, ReadersConvertBetweenKinds) {
  struct Case {
    Variant Value;
    int64_t Int;
    double Float;
    bool Bool;
    std::string Text;
  };
  const std::vector<Case> cases = {
      {Variant(), 0, 0, false, ""},
      {Variant::FromInteger(-7), -7, -7, true, "-7"},
      {Variant::FromLongWord(4000000000u), 4000000000LL, 4e9, true, "4000000000"},
      {Variant::FromByte(200), 200, 200, true, "200"},
      {Variant::FromDouble(2.75), 2, 2.75, true, "2.75"},
      {Variant::FromDouble(-2.75), -2, -2.75, true, "-2.75"},
      {Variant::FromSingle(0.5f), 0, 0.5, true, "0.5"},
      {Variant::FromCurrency(1.23456), 1, 1.23456, true, "1.2346"},
      {Variant::FromDate(EncodeDate(2011, 5, 6) + 0.5), 40669, 40669.5, true, "5/6/2011 12:00:00 PM"},
      {Variant::FromBoolean(true), -1, -1, true, "True"},
      {Variant::FromBoolean(false), 0, 0, false, "False"},
      {Variant::FromString("42"), 42, 42, true, "42"},
      {Variant::FromOleStr(u"0"), 0, 0, false, "0"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.Value.AsInt64(), c.Int) << c.Text;
    EXPECT_DOUBLE_EQ(c.Value.AsDouble(), c.Float) << c.Text;
    EXPECT_EQ(c.Value.AsBoolean(), c.Bool) << c.Text;
    EXPECT_EQ(c.Value.AsString(), c.Text);
    EXPECT_EQ(c.Value.AsWideString(), Cp1252ToUtf16(c.Text)) << c.Text;
  }
  EXPECT_EQ(Variant::FromOleStr(u"caf\u00E9\u0100").AsString(), "caf\xE9?");
  EXPECT_EQ(Variant::FromString("caf\xE9").AsWideString(), u"caf\u00E9");
  EXPECT_DOUBLE_EQ(Variant::FromString("2.5").AsDouble(), 2.5);
  EXPECT_TRUE(Variant::FromString("true").AsBoolean());
}

TEST_F(VariantsTest, ImpossibleReadsRaiseTypeCastErrors) {
  try {
    Variant::Null().AsInt64();
    ADD_FAILURE() << "null read as an integer";
  } catch (const EVariantTypeCastError& e) {
    EXPECT_EQ(std::string(e.what()), "Could not convert variant of type (Null) into type (Int64)");
  }
  try {
    Variant::FromString("abc").AsDouble();
    ADD_FAILURE() << "text read as a float";
  } catch (const EVariantTypeCastError& e) {
    EXPECT_EQ(std::string(e.what()), "Could not convert variant of type (String) into type (Double)");
  }
  EXPECT_THROW(Variant::Null().AsBoolean(), EVariantError);
  EXPECT_THROW(Variant::FromOleStr(u"x").AsInt64(), EVariantTypeCastError);
  EXPECT_THROW(Variant::FromDouble(1e300).AsInt64(), EVariantTypeCastError);
  EXPECT_THROW(Variant::FromType(static_cast<TVarType>(0x0009)).AsDouble(), EVariantTypeCastError);
  EXPECT_EQ(Variant::Null().AsString(), "");
}

TEST_F(VariantsTest, EqualityNeedsTypeAndValue) {
  EXPECT_EQ(Variant::FromInteger(1), Variant::FromInteger(1));
  EXPECT_FALSE(Variant::FromInteger(1) == Variant::FromInteger(2));
  EXPECT_FALSE(Variant::FromInteger(1) == Variant::FromInt64(1));
  EXPECT_FALSE(Variant::FromDouble(1) == Variant::FromCurrency(1));
  EXPECT_EQ(Variant::Null(), Variant::Null());
  EXPECT_FALSE(Variant::Null() == Variant());
  EXPECT_EQ(Variant::FromString("a"), Variant::FromString("a"));
}

}  // namespace
