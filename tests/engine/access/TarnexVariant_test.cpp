#include "engine/access/TarnexVariant.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <string>
#include <vector>

#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"
#include "TarnexTestSupport.h"

namespace {

using DT = TTarnexDataType;
using VarPtr = std::unique_ptr<TTarnexVariant>;
using Make = std::function<VarPtr()>;

VarPtr Null(DT t) { return std::make_unique<TTarnexVariant>(t); }
VarPtr Str(const std::string& s, DT t = DT::Varchar) {
  auto v = Null(t);
  v->SetAs(&s, t);
  return v;
}
VarPtr WStr(const std::u16string& s, DT t = DT::WideVarchar) {
  auto v = Null(t);
  v->SetAs(&s, t);
  return v;
}
// Integer, Date and Time values of their own type.
VarPtr Num(DT t, int64_t value) {
  auto v = Null(t);
  uint8_t bytes[8];
  std::memcpy(bytes, &value, 8);  // little-endian: the low bytes are the narrower value
  v->SetBuffer(bytes, t == DT::LargeInt ? 8 : (t == DT::ShortInt || t == DT::Byte) ? 1
                                            : (t == DT::SmallInt || t == DT::Word) ? 2 : 4, true, t);
  return v;
}
VarPtr Int(int32_t value) { return Num(DT::Integer, value); }
VarPtr Dbl(double value, DT t = DT::Double) {
  auto v = Null(t);
  if (t == DT::Single) { float f = static_cast<float>(value); v->SetAs(&f, t); }
  else if (t == DT::Extended) v->SetAsExtended(value);
  else v->SetAs(&value, t);  // Double, Currency: 8-byte doubles
  return v;
}
VarPtr Cur(double value) { return Dbl(value, DT::Currency); }
VarPtr Bool(bool b) {
  auto v = Null(DT::Boolean);
  v->SetAsBoolean(b);
  return v;
}
VarPtr Stamp(int32_t day, int32_t ms) {
  auto v = Null(DT::DateTime);
  v->SetAsDateTimeRaw(TTarnexDateTime{day, ms});
  return v;
}
int32_t DayOf(int y, int m, int d) { return DateTimeToDayNumber(EncodeDate(y, m, d)); }

std::string Describe(const TTarnexVariant& v) {
  if (v.IsNull()) return DataTypeName(v.DataType()) + " null";
  std::string bytes;
  for (int32_t i = 0; i < v.Size(); ++i) bytes += IntToHex(static_cast<const uint8_t*>(v.Data())[i], 2);
  return DataTypeName(v.DataType()) + " " + bytes;
}

// Same data type, same null state, same value bytes.
void ExpectSameValue(const TTarnexVariant& got, const TTarnexVariant& want) {
  EXPECT_EQ(Describe(got), Describe(want));
}

class TarnexVariantTest : public ::testing::Test {
protected:
  void SetUp() override {
    FormatSettings() = TFormatSettings::EnUS();
    SetCollationLocale("en_US");
  }
  void TearDown() override { FormatSettings() = TFormatSettings::EnUS(); }
};

// ---------------------------------------------------------------------------------------------
// Holder state

TEST_F(TarnexVariantTest, FreshVariantIsNullOfItsTypeAndGettersRefuseNull) {
  TTarnexVariant v(DT::Integer);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), DT::Integer);
  EXPECT_EQ(v.NullFlag(), 255);
  EXPECT_EQ(v.Data(), nullptr);
  EXPECT_EQ(CodeOf([&] { v.CheckNotNull(); }), 30016);
  EXPECT_EQ(CodeOf([&] { (void)v.AsInteger(); }), 30016);
  EXPECT_EQ(CodeOf([&] { (void)v.AsString(); }), 30016);

  v.SetAsInteger(42);
  EXPECT_FALSE(v.IsNull());
  EXPECT_EQ(v.AsInteger(), 42);
  v.SetNull();  // keeps the buffer, reads as null
  EXPECT_TRUE(v.IsNull());
  EXPECT_NE(v.Data(), nullptr);
  v.Clear(DT::Double);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.Data(), nullptr);
  EXPECT_EQ(v.Size(), 0);
  EXPECT_EQ(v.DataType(), DT::Double);
}

TEST_F(TarnexVariantTest, EmptyTextIsNullAndTextLengthCountsCharacters) {
  struct Case { const char* name; Make value; int32_t length; bool null; };
  const std::vector<Case> cases = {
      {"empty Varchar", [] { return Str(""); }, -1, true},
      {"empty WideVarchar", [] { return WStr(u""); }, -1, true},
      {"Varchar abc", [] { return Str("abc"); }, 3, false},
      {"WideVarchar abc", [] { return WStr(u"abc"); }, 3, false},
      {"Memo text", [] { return Str("memo", DT::Memo); }, 4, false},
      {"WideMemo text", [] { return WStr(u"wm", DT::WideMemo); }, 2, false},
      {"Integer is no text", [] { return Int(7); }, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VarPtr v = c.value();
    EXPECT_EQ(v->IsNull(), c.null);
    EXPECT_EQ(v->TextLength(), c.length);
  }
  // Assigning an empty text to a variant holding a value makes it null as well.
  auto v = Str("x");
  v->SetAsString("");
  EXPECT_TRUE(v->IsNull());
  auto n = Int(5);
  n->SetAsString("");
  EXPECT_TRUE(n->IsNull());
  EXPECT_EQ(n->DataType(), DT::Integer);
}

TEST_F(TarnexVariantTest, UntypedVariantAdoptsTheAccessorType) {
  struct Case { const char* name; std::function<void(TTarnexVariant&)> set; DT type;
                std::function<bool(const TTarnexVariant&)> check; };
  const std::vector<Case> cases = {
      {"ShortInt", [](auto& v) { v.SetAsShortInt(-5); }, DT::ShortInt, [](auto& v) { return v.AsShortInt() == -5; }},
      {"SmallInt", [](auto& v) { v.SetAsSmallInt(-300); }, DT::SmallInt, [](auto& v) { return v.AsSmallInt() == -300; }},
      {"Integer", [](auto& v) { v.SetAsInteger(-70000); }, DT::Integer, [](auto& v) { return v.AsInteger() == -70000; }},
      {"LargeInt", [](auto& v) { v.SetAsLargeInt(-5000000000LL); }, DT::LargeInt,
       [](auto& v) { return v.AsLargeInt() == -5000000000LL; }},
      {"Byte", [](auto& v) { v.SetAsByte(200); }, DT::Byte, [](auto& v) { return v.AsByte() == 200; }},
      {"Word", [](auto& v) { v.SetAsWord(60000); }, DT::Word, [](auto& v) { return v.AsWord() == 60000; }},
      {"Cardinal", [](auto& v) { v.SetAsCardinal(4000000000u); }, DT::Cardinal,
       [](auto& v) { return v.AsCardinal() == 4000000000u; }},
      {"Single", [](auto& v) { v.SetAsSingle(1.25f); }, DT::Single, [](auto& v) { return v.AsSingle() == 1.25f; }},
      {"Double", [](auto& v) { v.SetAsDouble(0.1); }, DT::Double, [](auto& v) { return v.AsDouble() == 0.1; }},
      {"Extended keeps 64 bits of mantissa", [](auto& v) { v.SetAsExtended(1.0L + 0x1p-60L); }, DT::Extended,
       [](auto& v) { return v.AsExtended() == 1.0L + 0x1p-60L && v.Size() == 10; }},
      {"Boolean stored as -1", [](auto& v) { v.SetAsBoolean(true); }, DT::Boolean,
       [](auto& v) { int16_t raw; std::memcpy(&raw, v.Data(), 2); return v.AsBoolean() && raw == -1; }},
      {"Currency", [](auto& v) { v.SetAsCurrency(2.5); }, DT::Currency, [](auto& v) { return v.AsCurrency() == 2.5; }},
      {"String with terminator", [](auto& v) { v.SetAsString("abc"); }, DT::Varchar,
       [](auto& v) { return v.AsString() == "abc" && v.Size() == 4; }},
      {"WideString", [](auto& v) { v.SetAsWideString(u"\u20ACx"); }, DT::WideVarchar,
       [](auto& v) { return v.AsWideString() == u"\u20ACx" && v.Size() == 6; }},
      {"DateTimeRaw", [](auto& v) { v.SetAsDateTimeRaw({738000, 1234}); }, DT::DateTime,
       [](auto& v) { auto r = v.AsDateTimeRaw(); return r.Date == 738000 && r.Time == 1234; }},
      {"Date from a platform date", [](auto& v) { v.SetAsDate(EncodeDate(2024, 3, 5) + 0.75); }, DT::Date,
       [](auto& v) { return v.AsDate() == EncodeDate(2024, 3, 5) && v.AsInteger() == DayOf(2024, 3, 5); }},
      {"Time from a platform time", [](auto& v) { v.SetAsTime(EncodeTime(10, 0, 0, 0)); }, DT::Time,
       [](auto& v) { return v.AsInteger() == 36000000 && std::fabs(v.AsTime() - 10.0 / 24) < 1e-12; }},
      {"DateTime from a platform value", [](auto& v) { v.SetAsDateTime(EncodeDate(2000, 1, 1) + 0.5); },
       DT::DateTime, [](auto& v) {
         auto r = v.AsDateTimeRaw();
         return r.Date == DayOf(2000, 1, 1) && r.Time == 43200000 && v.AsDateTime() == EncodeDate(2000, 1, 1) + 0.5;
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TTarnexVariant v;
    c.set(v);
    EXPECT_EQ(v.DataType(), c.type);
    EXPECT_TRUE(c.check(v)) << Describe(v);
  }
  EXPECT_EQ(DayOf(1, 1, 1), 1);  // day numbers count from 0001-01-01
}

TEST_F(TarnexVariantTest, TypedSetterOverwritesOwnedBufferInPlaceAndKeepsTheType) {
  TTarnexVariant v(DT::Integer);
  v.SetAsInteger(1);
  const void* buffer = v.Data();
  v.SetAsInteger(2);
  EXPECT_EQ(v.Data(), buffer);
  EXPECT_EQ(v.AsInteger(), 2);
  v.SetAsDouble(3.9);  // another type converts into Integer
  EXPECT_EQ(v.DataType(), DT::Integer);
  EXPECT_EQ(v.AsInteger(), 3);
  // A failed assignment leaves the variant null of its type.
  EXPECT_EQ(CodeOf([&] { v.SetAsString("abc"); }), 30051);
  EXPECT_TRUE(v.IsNull());
  EXPECT_EQ(v.DataType(), DT::Integer);
}

TEST_F(TarnexVariantTest, BorrowedBuffersAreNeverWrittenOrFreed) {
  auto owner = Int(10);
  TTarnexVariant borrower;
  borrower.Assign(*owner, false);
  EXPECT_TRUE(borrower.IsBorrowed());
  EXPECT_EQ(borrower.Data(), owner->Data());
  EXPECT_EQ(borrower.AsInteger(), 10);

  borrower.SetAsInteger(11);  // drops the borrow
  EXPECT_FALSE(borrower.IsBorrowed());
  EXPECT_NE(borrower.Data(), owner->Data());
  EXPECT_EQ(owner->AsInteger(), 10);

  borrower.Assign(*owner, false);
  borrower.Add(*Int(5));
  EXPECT_EQ(borrower.AsInteger(), 15);
  EXPECT_EQ(owner->AsInteger(), 10);

  borrower.Assign(*owner, true);  // a copy is owned
  EXPECT_FALSE(borrower.IsBorrowed());
  EXPECT_NE(borrower.Data(), owner->Data());
  EXPECT_EQ(borrower.AsInteger(), 10);

  borrower.Assign(TTarnexVariant(DT::Word), true);
  EXPECT_TRUE(borrower.IsNull());
  EXPECT_EQ(borrower.DataType(), DT::Word);

  int32_t record[2] = {77, 88};
  borrower.SetBuffer(&record[1], 4, false, DT::Integer);
  EXPECT_TRUE(borrower.IsBorrowed());
  EXPECT_EQ(borrower.AsInteger(), 88);
  borrower.Negate();
  EXPECT_EQ(borrower.AsInteger(), -88);
  EXPECT_EQ(record[1], 88);
  borrower.SetBuffer(&record[0], 4, true, DT::Integer);
  EXPECT_FALSE(borrower.IsBorrowed());
  EXPECT_EQ(borrower.AsInteger(), 77);

  // An operand that reads the left operand's own buffer.
  auto text = Str("ab");
  text->Add(*text);
  EXPECT_EQ(text->AsString(), "abab");
  auto amount = Cur(2.5);
  TTarnexVariant view;
  view.SetBuffer(amount->Data(), 8, false, DT::Double);  // the same bytes read as a Double
  amount->Add(view);  // converts the left operand to Double, replacing the viewed buffer
  EXPECT_EQ(amount->DataType(), DT::Double);
  EXPECT_EQ(amount->AsDouble(), 5.0);
}

TEST_F(TarnexVariantTest, GetBufferAndResize) {
  auto v = Str("abc");
  char out[8] = {};
  EXPECT_EQ(CodeOf([&] { v->GetBuffer(out, 3); }), 20056);
  EXPECT_TRUE(v->GetBuffer(out, 4));
  EXPECT_STREQ(out, "abc");
  EXPECT_TRUE(v->GetBuffer(out, -1));
  EXPECT_FALSE(TTarnexVariant(DT::Varchar).GetBuffer(out, 8));

  TTarnexVariant r(DT::Bytes);
  r.Resize(2);
  EXPECT_FALSE(r.IsNull());
  EXPECT_EQ(r.Size(), 2);
  static_cast<uint8_t*>(r.Data())[0] = 0xAB;
  r.Resize(5);
  EXPECT_EQ(static_cast<uint8_t*>(r.Data())[0], 0xAB);
  EXPECT_EQ(static_cast<uint8_t*>(r.Data())[4], 0);
  r.Resize(0);
  EXPECT_TRUE(r.IsNull());
}

// ---------------------------------------------------------------------------------------------
// Value functions

TEST_F(TarnexVariantTest, MakeValueBufferCopiesTextWithTerminatorAndFixedValues) {
  struct Case { const char* name; DT type; const void* source; int32_t size; };
  std::string empty, ab = "ab";
  std::u16string wempty, wab = u"ab";
  std::string raw("\x00\x01\x02", 3);
  int32_t i = 0x01020304;
  const std::vector<Case> cases = {
      {"empty 8-bit text", DT::Varchar, &empty, 0},
      {"empty 16-bit text", DT::WideChar, &wempty, 0},
      {"8-bit text", DT::Char, &ab, 3},
      {"Memo text", DT::Memo, &ab, 3},
      {"16-bit text", DT::WideVarchar, &wab, 6},
      {"bytes as given", DT::VarBytes, &raw, 3},
      {"Integer", DT::Integer, &i, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    void* buffer = nullptr;
    int32_t size = -1;
    MakeValueBuffer(c.type, c.source, buffer, size);
    EXPECT_EQ(size, c.size);
    EXPECT_EQ(buffer == nullptr, c.size == 0);
    if (buffer != nullptr) {
      EXPECT_EQ(MemoryManager().GetBlockSize(buffer), c.size);
      if (IsTextDataType(c.type)) {
        EXPECT_EQ(static_cast<uint8_t*>(buffer)[c.size - 1], 0);
      }
      MemoryManager().FreeAndNillMem(buffer);
    }
  }
  void* buffer = nullptr;
  int32_t size = 0;
  EXPECT_EQ(CodeOf([&] { MakeValueBuffer(DT::Unknown, &i, buffer, size); }), 30050);
}

struct ConvertCase {
  const char* name;
  Make source;
  DT target;
  Make want;      // expected value of the target type (unused when code != 0)
  int32_t code;   // expected engine error, 0 = none
};

void RunConvertCases(const std::vector<ConvertCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VarPtr v = c.source();
    int32_t code = CodeOf([&] { v->ConvertTo(c.target); });
    EXPECT_EQ(code, c.code);
    if (c.code == 0 && code == 0) ExpectSameValue(*v, *c.want());
  }
}

TEST_F(TarnexVariantTest, ConversionsFromText) {
  const int32_t day = DayOf(2024, 3, 5);
  RunConvertCases({
      {"1.5 to Double", [] { return Str("1.5"); }, DT::Double, [] { return Dbl(1.5); }, 0},
      {"1,5 to Double fails", [] { return Str("1,5"); }, DT::Double, nullptr, 30051},
      {"1.5 to Single", [] { return Str("1.5"); }, DT::Single, [] { return Dbl(1.5, DT::Single); }, 0},
      {"-2.25 to Extended", [] { return Str("-2.25"); }, DT::Extended, [] { return Dbl(-2.25, DT::Extended); }, 0},
      {"true to Boolean", [] { return Str("true"); }, DT::Boolean, [] { return Bool(true); }, 0},
      {"TRUE to Boolean", [] { return Str("TRUE"); }, DT::Boolean, [] { return Bool(true); }, 0},
      {"1 to Boolean", [] { return Str("1"); }, DT::Boolean, [] { return Bool(true); }, 0},
      {"yes to Boolean", [] { return Str("yes"); }, DT::Boolean, [] { return Bool(false); }, 0},
      {"0 to Boolean", [] { return Str("0"); }, DT::Boolean, [] { return Bool(false); }, 0},
      {"300 to ShortInt fails", [] { return Str("300"); }, DT::ShortInt, nullptr, 30051},
      {"-128 to ShortInt", [] { return Str("-128"); }, DT::ShortInt, [] { return Num(DT::ShortInt, -128); }, 0},
      {"-1 to Cardinal fails", [] { return Str("-1"); }, DT::Cardinal, nullptr, 30051},
      {"2147483647 to Cardinal", [] { return Str("2147483647"); }, DT::Cardinal,
       [] { return Num(DT::Cardinal, 2147483647); }, 0},
      {"2147483648 to Cardinal fails", [] { return Str("2147483648"); }, DT::Cardinal, nullptr, 30051},
      {"$10 to Integer", [] { return Str("$10"); }, DT::Integer, [] { return Int(16); }, 0},
      {"abc to Integer fails", [] { return Str("abc"); }, DT::Integer, nullptr, 30051},
      {"65536 to Word fails", [] { return Str("65536"); }, DT::Word, nullptr, 30051},
      {"9000000000 to LargeInt", [] { return Str("9000000000"); }, DT::LargeInt,
       [] { return Num(DT::LargeInt, 9000000000LL); }, 0},
      {"2.5 to Currency", [] { return Str("2.5"); }, DT::Currency, [] { return Cur(2.5); }, 0},
      {"short date to Date", [] { return Str("3/5/2024"); }, DT::Date, [=] { return Num(DT::Date, day); }, 0},
      {"no date to Date fails", [] { return Str("hello"); }, DT::Date, nullptr, 30051},
      {"time to Time", [] { return Str("10:00:30 AM"); }, DT::Time, [] { return Num(DT::Time, 36030000); }, 0},
      {"date and time to DateTime", [] { return Str("3/5/2024 12:00:00 PM"); }, DT::DateTime,
       [=] { return Stamp(day, 43200000); }, 0},
      {"8-bit widened", [] { return Str("caf\xE9 \x80"); }, DT::WideVarchar, [] { return WStr(u"caf\u00E9 \u20AC"); }, 0},
      {"16-bit narrowed", [] { return WStr(u"\u20AC1"); }, DT::Varchar, [] { return Str("\x80" "1"); }, 0},
      {"16-bit outside the code page", [] { return WStr(u"\u4E2D"); }, DT::Char, [] { return Str("?", DT::Char); }, 0},
      {"Varchar to Memo", [] { return Str("m"); }, DT::Memo, [] { return Str("m", DT::Memo); }, 0},
      {"Memo to Char", [] { return Str("m", DT::Memo); }, DT::Char, [] { return Str("m", DT::Char); }, 0},
      {"Memo parsed as a number", [] { return Str("12", DT::Memo); }, DT::Integer, [] { return Int(12); }, 0},
      {"WideMemo read as 16-bit text", [] { return WStr(u"abc", DT::WideMemo); }, DT::Varchar,
       [] { return Str("abc"); }, 0},
      {"Varchar to WideMemo held as 16-bit", [] { return Str("abc"); }, DT::WideMemo,
       [] { return WStr(u"abc", DT::WideMemo); }, 0},
      {"WideVarchar to WideChar", [] { return WStr(u"w"); }, DT::WideChar, [] { return WStr(u"w", DT::WideChar); }, 0},
      {"16-bit text to Integer", [] { return WStr(u"-7"); }, DT::Integer, [] { return Int(-7); }, 0},
      {"text to Bytes: no rule", [] { return Str("ab"); }, DT::VarBytes, nullptr, 30052},
  });
}

TEST_F(TarnexVariantTest, ConversionsFromNumbersDatesAndBooleans) {
  const int32_t day = DayOf(2024, 3, 5);
  RunConvertCases({
      {"Integer to text", [] { return Int(-42); }, DT::Varchar, [] { return Str("-42"); }, 0},
      {"Integer to 16-bit text", [] { return Int(42); }, DT::WideChar, [] { return WStr(u"42", DT::WideChar); }, 0},
      {"Integer 300 to ShortInt fails", [] { return Int(300); }, DT::ShortInt, nullptr, 30051},
      {"Integer 65535 to Word", [] { return Int(65535); }, DT::Word, [] { return Num(DT::Word, 65535); }, 0},
      {"Integer -1 to Byte fails", [] { return Int(-1); }, DT::Byte, nullptr, 30051},
      {"Cardinal max to Integer fails", [] { return Num(DT::Cardinal, 4294967295LL); }, DT::Integer, nullptr, 30051},
      {"Cardinal max to LargeInt", [] { return Num(DT::Cardinal, 4294967295LL); }, DT::LargeInt,
       [] { return Num(DT::LargeInt, 4294967295LL); }, 0},
      {"Integer to Double", [] { return Int(5); }, DT::Double, [] { return Dbl(5); }, 0},
      {"Integer to Date", [] { return Int(5); }, DT::Date, [] { return Num(DT::Date, 5); }, 0},
      {"Integer to DateTime", [] { return Int(5); }, DT::DateTime, [] { return Stamp(5, 0); }, 0},
      {"Integer to Boolean", [] { return Int(-3); }, DT::Boolean, [] { return Bool(true); }, 0},
      {"Integer 0 to Boolean", [] { return Int(0); }, DT::Boolean, [] { return Bool(false); }, 0},
      {"Integer to Memo: no rule", [] { return Int(1); }, DT::Memo, nullptr, 30052},
      {"Integer to Bytes: no rule", [] { return Int(1); }, DT::Bytes, nullptr, 30052},
      {"Double 1.5 to text", [] { return Dbl(1.5); }, DT::Varchar, [] { return Str("1.5"); }, 0},
      {"Double 2.9 to Integer truncates", [] { return Dbl(2.9); }, DT::Integer, [] { return Int(2); }, 0},
      {"Double -2.9 to Integer truncates", [] { return Dbl(-2.9); }, DT::Integer, [] { return Int(-2); }, 0},
      {"Double 1e20 to Integer fails", [] { return Dbl(1e20); }, DT::Integer, nullptr, 30051},
      {"Double NaN to Integer fails", [] { return Dbl(std::nan("")); }, DT::Integer, nullptr, 30051},
      {"Double 5.75 to Date", [] { return Dbl(5.75); }, DT::Date, [] { return Num(DT::Date, 5); }, 0},
      {"Double to Time modulo a day", [] { return Dbl(86400001.5); }, DT::Time, [] { return Num(DT::Time, 1); }, 0},
      {"Double 1.5 to DateTime", [] { return Dbl(1.5); }, DT::DateTime, [] { return Stamp(1, 43200000); }, 0},
      {"Double to Currency", [] { return Dbl(0.25); }, DT::Currency, [] { return Cur(0.25); }, 0},
      {"Double 0 to Boolean", [] { return Dbl(0); }, DT::Boolean, [] { return Bool(false); }, 0},
      {"Currency to text rounds to 4 decimals", [] { return Cur(2.50004); }, DT::Varchar, [] { return Str("2.5"); }, 0},
      {"Currency 2.5 to Integer", [] { return Cur(2.5); }, DT::Integer, [] { return Int(2); }, 0},
      {"Currency to Date: no rule", [] { return Cur(2.5); }, DT::Date, nullptr, 30052},
      {"Currency to DateTime: no rule", [] { return Cur(2.5); }, DT::DateTime, nullptr, 30052},
      {"Date to text", [=] { return Num(DT::Date, day); }, DT::Varchar, [] { return Str("3/5/2024"); }, 0},
      {"Date to Integer", [=] { return Num(DT::Date, day); }, DT::Integer, [=] { return Int(day); }, 0},
      {"Date to SmallInt fails", [=] { return Num(DT::Date, day); }, DT::SmallInt, nullptr, 30051},
      {"Date to DateTime", [=] { return Num(DT::Date, day); }, DT::DateTime, [=] { return Stamp(day, 0); }, 0},
      {"Date to Time", [] { return Num(DT::Date, 86400005); }, DT::Time, [] { return Num(DT::Time, 5); }, 0},
      {"Date -1 to Boolean", [] { return Num(DT::Date, -1); }, DT::Boolean, [] { return Bool(false); }, 0},
      {"Date 0 to Boolean", [] { return Num(DT::Date, 0); }, DT::Boolean, [] { return Bool(true); }, 0},
      {"Time 0 to text gives nothing", [] { return Num(DT::Time, 0); }, DT::Varchar, nullptr, 30052},
      {"Time to text", [] { return Num(DT::Time, 36000000); }, DT::Varchar, [] { return Str("10:00:00 AM"); }, 0},
      {"Time to Integer", [] { return Num(DT::Time, 1234); }, DT::Integer, [] { return Int(1234); }, 0},
      {"Time to Date", [] { return Num(DT::Time, 1234); }, DT::Date, [] { return Num(DT::Date, 1234); }, 0},
      {"Time to DateTime lands on day zero", [] { return Num(DT::Time, 1234); }, DT::DateTime,
       [] { return Stamp(DateDelta, 1234); }, 0},
      {"DateTime to text", [=] { return Stamp(day, 43200000); }, DT::Varchar,
       [] { return Str("3/5/2024 12:00:00 PM"); }, 0},
      {"DateTime to Double", [] { return Stamp(10, 43200000); }, DT::Double, [] { return Dbl(10.5); }, 0},
      {"DateTime to Integer", [] { return Stamp(10, 5); }, DT::Integer, [] { return Int(10); }, 0},
      {"DateTime to Date", [] { return Stamp(10, 5); }, DT::Date, [] { return Num(DT::Date, 10); }, 0},
      {"DateTime to Time", [] { return Stamp(10, 5); }, DT::Time, [] { return Num(DT::Time, 5); }, 0},
      {"DateTime to Boolean: no rule", [] { return Stamp(10, 5); }, DT::Boolean, nullptr, 30052},
      {"Boolean true to text", [] { return Bool(true); }, DT::Varchar, [] { return Str("True"); }, 0},
      {"Boolean false to text", [] { return Bool(false); }, DT::Char, [] { return Str("False", DT::Char); }, 0},
      {"Boolean to Integer", [] { return Bool(true); }, DT::Integer, [] { return Int(1); }, 0},
      {"Boolean to Double", [] { return Bool(true); }, DT::Double, [] { return Dbl(1); }, 0},
      {"Boolean to Date: no rule", [] { return Bool(true); }, DT::Date, nullptr, 30052},
      {"Boolean to Currency: no rule", [] { return Bool(true); }, DT::Currency, nullptr, 30052},
      {"Boolean to Memo: no rule", [] { return Bool(true); }, DT::Memo, nullptr, 30052},
  });
}

TEST_F(TarnexVariantTest, FloatTextUsesDotToReadAndTheLocaleToWrite) {
  FormatSettings().DecimalSeparator = ',';
  auto parsed = Str("1.5");
  parsed->ConvertTo(DT::Double);
  EXPECT_EQ(parsed->AsDouble(), 1.5);
  EXPECT_EQ(CodeOf([] { Str("1,5")->ConvertTo(DT::Double); }), 30051);
  EXPECT_EQ(FormatSettings().DecimalSeparator, ',');  // the process-wide setting is left alone
  auto written = Dbl(1.5);
  written->ConvertTo(DT::Varchar);
  EXPECT_EQ(written->AsString(), "1,5");
}

TEST_F(TarnexVariantTest, CastErrorsNameBothTypes) {
  try {
    Str("300")->ConvertTo(DT::ShortInt);
    ADD_FAILURE() << "no error";
  } catch (const ETarnexException& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot cast from 'STRING' to 'SIGNEDINT8' - Native error: 30051");
  }
  int32_t size = 0;
  int32_t v = 1;
  try {
    ConvertValue(&v, DT::Integer, DT::BLOB, size);
    ADD_FAILURE() << "no error";
  } catch (const ETarnexException& e) {
    EXPECT_EQ(std::string(e.what()), "Cannot cast from 'SIGNEDINT32' to 'BLOB' - Native error: 30052");
  }
}

TEST_F(TarnexVariantTest, ChangeDataTypeSwallowsFailures) {
  auto v = Str("abc");
  v->ChangeDataType(DT::Integer);
  EXPECT_TRUE(v->IsNull());
  EXPECT_EQ(v->DataType(), DT::Integer);
  auto w = Str("12");
  w->ChangeDataType(DT::Integer);
  EXPECT_EQ(w->AsInteger(), 12);
  auto n = Null(DT::Varchar);
  n->ConvertTo(DT::Date);
  EXPECT_TRUE(n->IsNull());
  EXPECT_EQ(n->DataType(), DT::Date);
}

TEST_F(TarnexVariantTest, CommonDataTypeTable) {
  struct Case { DT left, right, common; };
  const std::vector<Case> cases = {
      // the cells that differ from their mirror
      {DT::Currency, DT::Integer, DT::Integer}, {DT::Integer, DT::Currency, DT::Currency},
      {DT::Currency, DT::Double, DT::Double}, {DT::Single, DT::Currency, DT::Currency},
      {DT::ShortInt, DT::Word, DT::Word}, {DT::Word, DT::ShortInt, DT::Integer},
      {DT::SmallInt, DT::Cardinal, DT::Cardinal}, {DT::Cardinal, DT::SmallInt, DT::LargeInt},
      {DT::ShortInt, DT::Byte, DT::SmallInt}, {DT::Byte, DT::ShortInt, DT::SmallInt},
      {DT::Integer, DT::Cardinal, DT::LargeInt}, {DT::Cardinal, DT::Integer, DT::LargeInt},
      {DT::Varchar, DT::WideMemo, DT::WideChar}, {DT::WideMemo, DT::Varchar, DT::WideVarchar},
      {DT::Varchar, DT::Memo, DT::Char}, {DT::Memo, DT::Varchar, DT::Varchar},
      {DT::WideChar, DT::Memo, DT::Char}, {DT::Memo, DT::WideChar, DT::WideChar},
      {DT::Varchar, DT::WideChar, DT::WideChar}, {DT::WideChar, DT::Varchar, DT::WideChar},
      {DT::Date, DT::Time, DT::DateTime}, {DT::Time, DT::Date, DT::DateTime},
      {DT::Varchar, DT::Date, DT::Date}, {DT::Date, DT::Varchar, DT::Date},
      {DT::Boolean, DT::Integer, DT::Integer}, {DT::Integer, DT::Boolean, DT::Integer},
      {DT::Varchar, DT::Boolean, DT::Varchar}, {DT::Boolean, DT::Varchar, DT::Varchar},
      {DT::Memo, DT::Memo, DT::Memo}, {DT::Memo, DT::WideMemo, DT::WideMemo},
      // incompatible pairs
      {DT::Boolean, DT::Currency, DT::Unknown}, {DT::Currency, DT::Boolean, DT::Unknown},
      {DT::Boolean, DT::Date, DT::Unknown}, {DT::DateTime, DT::Currency, DT::Unknown},
      {DT::BLOB, DT::BLOB, DT::Unknown}, {DT::Varchar, DT::BLOB, DT::Unknown},
      {DT::Bytes, DT::Bytes, DT::Unknown}, {DT::Integer, DT::Memo, DT::Unknown},
      {DT::Unknown, DT::Integer, DT::Unknown}, {DT::Integer, DT::Unknown, DT::Unknown},
      {static_cast<DT>(25), DT::Integer, DT::Unknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(DataTypeName(c.left) + " with " + DataTypeName(c.right));
    EXPECT_EQ(CommonDataType(c.left, c.right), c.common);
  }
  // Whole rows: every integer and float type meets Integer in the wider of the two, Date and
  // Time go to their own column, large objects and bytes have no common type with Integer.
  const DT integerRow[24] = {DT::Char, DT::WideChar, DT::Varchar, DT::WideVarchar, DT::Integer, DT::Integer,
                             DT::Integer, DT::LargeInt, DT::Integer, DT::Integer, DT::LargeInt, DT::Single,
                             DT::Double, DT::Extended, DT::Date, DT::Time, DT::DateTime, DT::Unknown,
                             DT::Unknown, DT::Unknown, DT::Integer, DT::Currency, DT::Unknown, DT::Unknown};
  for (int r = 1; r <= 24; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(CommonDataType(DT::Integer, static_cast<DT>(r)), integerRow[r - 1]);
    EXPECT_EQ(CommonDataType(DT::DateTime, static_cast<DT>(r)), r <= 17 ? DT::DateTime : DT::Unknown);
    EXPECT_EQ(CommonDataType(DT::BLOB, static_cast<DT>(r)), DT::Unknown);
  }
}

TEST_F(TarnexVariantTest, CommonFieldTypePrefersTheOperandsOwnColumnType) {
  using FT = TTarnexFieldType;
  struct Case { FT a, b, common; };
  const std::vector<Case> cases = {
      {FT::AutoInc, FT::Integer, FT::AutoInc}, {FT::Integer, FT::AutoInc, FT::Integer},
      {FT::SmallInt, FT::AutoInc, FT::AutoInc}, {FT::ShortInt, FT::Word, FT::Word},
      {FT::Word, FT::ShortInt, FT::Integer}, {FT::TimeStamp, FT::Date, FT::TimeStamp},
      {FT::Date, FT::Time, FT::DateTime}, {FT::Memo, FT::BLOB, FT::Unknown},
      {FT::FormattedMemo, FT::Memo, FT::FormattedMemo}, {FT::Varchar, FT::WideMemo, FT::WideChar},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(FieldTypeName(c.a) + " with " + FieldTypeName(c.b));
    EXPECT_EQ(CommonFieldType(c.a, c.b), c.common);
  }
}

// ---------------------------------------------------------------------------------------------
// Comparison

TEST_F(TarnexVariantTest, CompareCodes) {
  const int32_t day = DayOf(2024, 3, 5);
  struct Case { const char* name; Make a, b; bool raw, prefix, ignoreCase; int32_t result; };
  const std::vector<Case> cases = {
      {"null and value, raw", [] { return Null(DT::Integer); }, [] { return Int(5); }, true, false, false, 3},
      {"value and null, raw", [] { return Int(5); }, [] { return Null(DT::Integer); }, true, false, false, 4},
      {"both null, raw", [] { return Null(DT::Integer); }, [] { return Null(DT::Varchar); }, true, false, false, 5},
      {"null is less", [] { return Null(DT::Integer); }, [] { return Int(-5); }, false, false, false, 1},
      {"value is greater than null", [] { return Int(5); }, [] { return Null(DT::Integer); }, false, false, false, 2},
      {"two nulls are equal", [] { return Null(DT::Integer); }, [] { return Null(DT::Integer); }, false, false, false, 0},
      {"ab before abc", [] { return Str("ab"); }, [] { return Str("abc"); }, false, false, false, 1},
      {"ab is a prefix of abc", [] { return Str("ab"); }, [] { return Str("abc"); }, false, true, false, 0},
      {"abc against prefix ab", [] { return Str("abc"); }, [] { return Str("ab"); }, false, true, false, 0},
      {"abc and ABC ignoring case", [] { return Str("abc"); }, [] { return Str("ABC"); }, false, false, true, 0},
      {"abc and ABC with case", [] { return Str("abc"); }, [] { return Str("ABC"); }, false, false, false, 1},
      {"a before B: collation, not bytes", [] { return Str("a"); }, [] { return Str("B"); }, false, false, false, 1},
      {"accent counts ignoring case", [] { return Str("e"); }, [] { return Str("\xE9"); }, false, false, true, 1},
      {"wide prefix", [] { return WStr(u"ab"); }, [] { return WStr(u"abc"); }, false, true, false, 0},
      {"wide ignoring case", [] { return WStr(u"\u00C9t\u00E9"); }, [] { return WStr(u"\u00E9T\u00C9"); },
       false, false, true, 0},
      {"Varchar and WideVarchar", [] { return Str("b"); }, [] { return WStr(u"a"); }, false, false, false, 2},
      {"Integer and Double", [] { return Int(5); }, [] { return Dbl(5.0); }, false, false, false, 0},
      {"Integer below Double", [] { return Int(5); }, [] { return Dbl(5.5); }, false, false, false, 1},
      {"Cardinal above negative Integer", [] { return Num(DT::Cardinal, 4000000000LL); }, [] { return Int(-1); },
       false, false, false, 2},
      {"ShortInt -1 below Byte 255", [] { return Num(DT::ShortInt, -1); }, [] { return Num(DT::Byte, 255); },
       false, false, false, 1},
      {"LargeInt extremes", [] { return Num(DT::LargeInt, std::numeric_limits<int64_t>::min()); },
       [] { return Num(DT::LargeInt, std::numeric_limits<int64_t>::max()); }, false, false, false, 1},
      {"NaN equals a number", [] { return Dbl(std::nan("")); }, [] { return Dbl(1); }, false, false, false, 0},
      {"NaN equals NaN", [] { return Dbl(std::nan("")); }, [] { return Dbl(std::nan("")); }, false, false, false, 0},
      {"Currency below Currency", [] { return Cur(1.25); }, [] { return Cur(1.5); }, false, false, false, 1},
      {"false below true", [] { return Bool(false); }, [] { return Bool(true); }, false, false, false, 1},
      {"every non-zero is true", [] { return Bool(true); },
       [] { int16_t one = 1; auto v = Null(DT::Boolean); v->SetBuffer(&one, 2, true, DT::Boolean); return v; },
       false, false, false, 0},
      {"DateTime by milliseconds", [] { return Stamp(5, 10); }, [] { return Stamp(5, 20); }, false, false, false, 1},
      {"DateTime by days first", [] { return Stamp(6, 0); }, [] { return Stamp(5, 99); }, false, false, false, 2},
      {"Date with its short date text", [=] { return Num(DT::Date, day); }, [] { return Str("3/5/2024"); },
       false, false, false, 0},
      {"Date before a later date text", [=] { return Num(DT::Date, day); }, [] { return Str("3/6/2024"); },
       false, false, false, 1},
      {"Date text after the Date", [] { return Str("3/6/2024"); }, [=] { return Num(DT::Date, day); },
       false, false, false, 2},
      {"Date and Time meet in DateTime", [] { return Num(DT::Date, DateDelta); }, [] { return Num(DT::Time, 1); },
       false, false, false, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.a()->Compare(*c.b(), c.raw, c.prefix, c.ignoreCase), c.result);
  }
}

TEST_F(TarnexVariantTest, CompareErrors) {
  struct Case { const char* name; Make a, b; int32_t code; };
  const std::vector<Case> cases = {
      {"two Memo values", [] { return Str("a", DT::Memo); }, [] { return Str("a", DT::Memo); }, 30047},
      {"two Bytes values", [] { auto v = Null(DT::Bytes); v->Resize(2); return v; },
       [] { auto v = Null(DT::Bytes); v->Resize(2); return v; }, 30047},
      {"BLOB and Integer", [] { return Str("a", DT::BLOB); }, [] { return Int(1); }, 30044},
      {"Boolean and Currency", [] { return Bool(true); }, [] { return Cur(1); }, 30044},
      {"Date and a text that is no date", [] { return Num(DT::Date, 5); }, [] { return Str("hello"); }, 30051},
      {"Time and a text that is no time", [] { return Num(DT::Time, 5); }, [] { return Str("x"); }, 30051},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CodeOf([&] { c.a()->Compare(*c.b(), false, false, false); }), c.code);
  }
  try {
    Str("a", DT::BLOB)->Compare(*Int(1), false, false, false);
  } catch (const ETarnexException& e) {
    EXPECT_EQ(std::string(e.what()),
              "Cannot compare Incompatible DataTypes: 'BLOB' and 'SIGNEDINT32' - Native error: 30044");
  }
}

TEST_F(TarnexVariantTest, CompareValuesWorksOnKeyBytesInPlace) {
  // A key column as an index holds it: the value bytes, compared with the null markers.
  int32_t a = 7, b = 9;
  char t1[8] = "abc", t2[8] = "ABD";
  struct Case { const char* name; const void* b1; const void* b2; DT type; bool ignoreCase; bool null2, null1;
                int32_t code, folded; };
  const std::vector<Case> cases = {
      {"less", &a, &b, DT::Integer, false, false, false, 1, -1},
      {"greater", &b, &a, DT::Integer, false, false, false, 2, 1},
      {"equal", &a, &a, DT::Integer, false, false, false, 0, 0},
      {"second null", &a, &b, DT::Integer, false, true, false, 4, 1},
      {"first null", &a, &b, DT::Integer, false, false, true, 3, -1},
      {"both null", &a, &b, DT::Integer, false, true, true, 5, 0},
      {"text ignoring case", t1, t2, DT::Char, true, false, false, 1, -1},
  };
  const int64_t before = MemoryManager().AllocatedTotal();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CompareValues(c.b1, c.b2, c.type, 0x0400, c.ignoreCase, -1, c.null2, c.null1, c.type), c.code);
    EXPECT_EQ(CompareValuesSigned(c.b1, c.b2, c.type, 0x0400, c.ignoreCase, -1, c.null2, c.null1, c.type), c.folded);
  }
  EXPECT_EQ(CompareValues(t1, t2, DT::Char, 0x0400, true, 2), 0);  // only two characters
  EXPECT_EQ(MemoryManager().AllocatedTotal(), before);
}

// ---------------------------------------------------------------------------------------------
// Arithmetic

enum class Op { Add, Multiply, Divide };

void Apply(TTarnexVariant& a, const TTarnexVariant& b, Op op) {
  switch (op) {
    case Op::Add: a.Add(b); break;
    case Op::Multiply: a.Multiply(b); break;
    case Op::Divide: a.Divide(b); break;
  }
}

TEST_F(TarnexVariantTest, ArithmeticResults) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  constexpr int64_t kMax64 = std::numeric_limits<int64_t>::max();
  struct Case { const char* name; Make a, b; Op op; Make want; };
  const std::vector<Case> cases = {
      {"Integer wraps around", [] { return Int(2147483647); }, [] { return Int(1); }, Op::Add, [] { return Int(kMin); }},
      {"LargeInt wraps around", [] { return Num(DT::LargeInt, kMax64); }, [] { return Num(DT::LargeInt, 1); }, Op::Add,
       [] { return Num(DT::LargeInt, std::numeric_limits<int64_t>::min()); }},
      {"Cardinal wraps around", [] { return Num(DT::Cardinal, 4294967295LL); }, [] { return Num(DT::Cardinal, 1); },
       Op::Add, [] { return Num(DT::Cardinal, 0); }},
      {"Integer product wraps", [] { return Int(65536); }, [] { return Int(65536); }, Op::Multiply, [] { return Int(0); }},
      {"Currency left takes the Integer type", [] { return Cur(2.5); }, [] { return Int(1); }, Op::Add,
       [] { return Int(3); }},
      {"Currency right wins", [] { return Int(1); }, [] { return Cur(2.5); }, Op::Add, [] { return Cur(3.5); }},
      {"null plus 5 is 5", [] { return Null(DT::Integer); }, [] { return Int(5); }, Op::Add, [] { return Int(5); }},
      {"5 plus null is null", [] { return Int(5); }, [] { return Null(DT::Integer); }, Op::Add,
       [] { return Null(DT::Integer); }},
      {"null times 5 is null", [] { return Null(DT::Integer); }, [] { return Int(5); }, Op::Multiply,
       [] { return Null(DT::Integer); }},
      {"5 divided by null is null", [] { return Int(5); }, [] { return Null(DT::Integer); }, Op::Divide,
       [] { return Null(DT::Integer); }},
      {"7 / 2 truncates", [] { return Int(7); }, [] { return Int(2); }, Op::Divide, [] { return Int(3); }},
      {"-7 / 2 truncates toward zero", [] { return Int(-7); }, [] { return Int(2); }, Op::Divide, [] { return Int(-3); }},
      {"Double division", [] { return Dbl(1); }, [] { return Dbl(4); }, Op::Divide, [] { return Dbl(0.25); }},
      {"ShortInt in range", [] { return Num(DT::ShortInt, 100); }, [] { return Num(DT::ShortInt, 27); }, Op::Add,
       [] { return Num(DT::ShortInt, 127); }},
      {"ShortInt with Word meets in Word", [] { return Num(DT::ShortInt, 1); }, [] { return Num(DT::Word, 2); },
       Op::Add, [] { return Num(DT::Word, 3); }},
      {"text concatenates", [] { return Str("ab"); }, [] { return Str("cd"); }, Op::Add, [] { return Str("abcd"); }},
      {"wide text concatenates", [] { return WStr(u"\u20AC"); }, [] { return Str("1"); }, Op::Add,
       [] { return WStr(u"\u20AC1"); }},
      {"number plus text is text", [] { return Int(1); }, [] { return Str("2"); }, Op::Add, [] { return Str("12"); }},
      {"Date plus days", [] { return Num(DT::Date, 10); }, [] { return Int(5); }, Op::Add,
       [] { return Num(DT::Date, 15); }},
      {"DateTime carries a whole day", [] { return Stamp(1, 86399999); }, [] { return Stamp(0, 1); }, Op::Add,
       [] { return Stamp(2, 0); }},
      {"DateTime keeps the last millisecond", [] { return Stamp(1, 86399998); }, [] { return Stamp(0, 1); }, Op::Add,
       [] { return Stamp(1, 86399999); }},
      {"DateTime product carries", [] { return Stamp(2, 86400000 / 4); }, [] { return Stamp(3, 8); }, Op::Multiply,
       [] { return Stamp(8, 0); }},
      {"Boolean addition is OR", [] { return Bool(false); }, [] { return Bool(true); }, Op::Add,
       [] { return Bool(true); }},
      {"Boolean product is OR", [] { return Bool(true); }, [] { return Bool(false); }, Op::Multiply,
       [] { return Bool(true); }},
      {"Boolean quotient is OR", [] { return Bool(false); }, [] { return Bool(false); }, Op::Divide,
       [] { return Bool(false); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VarPtr a = c.a();
    Apply(*a, *c.b(), c.op);
    ExpectSameValue(*a, *c.want());
  }
}

TEST_F(TarnexVariantTest, ArithmeticErrors) {
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  struct Case { const char* name; Make a, b; Op op; int32_t code; std::string message; };
  const std::vector<Case> cases = {
      {"Integer by zero", [] { return Int(7); }, [] { return Int(0); }, Op::Divide, 30128,
       "Division error: Division by zero - Native error: 30128"},
      {"Integer minimum by -1", [] { return Int(kMin); }, [] { return Int(-1); }, Op::Divide, 30128,
       "Division error: Integer overflow - Native error: 30128"},
      {"ShortInt -128 by -1", [] { return Num(DT::ShortInt, -128); }, [] { return Num(DT::ShortInt, -1); }, Op::Divide,
       30128, "Division error: Range check error - Native error: 30128"},
      {"Double by zero", [] { return Dbl(1); }, [] { return Dbl(0); }, Op::Divide, 30128,
       "Division error: Floating point division by zero - Native error: 30128"},
      {"DateTime with no milliseconds", [] { return Stamp(4, 0); }, [] { return Stamp(2, 0); }, Op::Divide, 30128,
       "Division error: Division by zero - Native error: 30128"},
      {"text product", [] { return Str("a"); }, [] { return Int(2); }, Op::Multiply, 30126,
       "Not numeric argument in numeric operator '*' - Native error: 30126"},
      {"text quotient", [] { return Str("a"); }, [] { return Str("b"); }, Op::Divide, 30127,
       "Not numeric argument in numeric operator '/' - Native error: 30127"},
      {"BLOB sum", [] { return Str("a", DT::BLOB); }, [] { return Str("b", DT::BLOB); }, Op::Add, 30124,
       "Not numeric argument in numeric operator '+' - Native error: 30124"},
      {"incompatible sum", [] { return Bool(true); }, [] { return Cur(1); }, Op::Add, 30124,
       "Not numeric argument in numeric operator '+' - Native error: 30124"},
      {"text that is no number", [] { return Int(1); }, [] { return Str("x"); }, Op::Multiply, 30126,
       "Not numeric argument in numeric operator '*' - Native error: 30126"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VarPtr a = c.a();
    try {
      Apply(*a, *c.b(), c.op);
      ADD_FAILURE() << "no error";
    } catch (const ETarnexException& e) {
      EXPECT_EQ(e.NativeErrorCode(), c.code);
      EXPECT_EQ(std::string(e.what()), c.message);
    }
  }
  // 8- and 16-bit overflow surfaces as the run-time range error.
  struct RangeCase { const char* name; Make a, b; Op op; };
  const std::vector<RangeCase> ranges = {
      {"ShortInt 100 + 100", [] { return Num(DT::ShortInt, 100); }, [] { return Num(DT::ShortInt, 100); }, Op::Add},
      {"Byte 200 + 100", [] { return Num(DT::Byte, 200); }, [] { return Num(DT::Byte, 100); }, Op::Add},
      {"Word 65535 + 1", [] { return Num(DT::Word, 65535); }, [] { return Num(DT::Word, 1); }, Op::Add},
      {"SmallInt 200 * 200", [] { return Num(DT::SmallInt, 200); }, [] { return Num(DT::SmallInt, 200); }, Op::Multiply},
  };
  for (const auto& c : ranges) {
    SCOPED_TRACE(c.name);
    VarPtr a = c.a();
    EXPECT_THROW(Apply(*a, *c.b(), c.op), ERangeError);
  }
}

TEST_F(TarnexVariantTest, Negate) {
  struct Case { const char* name; Make value; Make want; };
  const std::vector<Case> cases = {
      {"ShortInt", [] { return Num(DT::ShortInt, 5); }, [] { return Num(DT::ShortInt, -5); }},
      {"SmallInt", [] { return Num(DT::SmallInt, -32767); }, [] { return Num(DT::SmallInt, 32767); }},
      {"Integer", [] { return Int(-7); }, [] { return Int(7); }},
      {"LargeInt", [] { return Num(DT::LargeInt, 5000000000LL); }, [] { return Num(DT::LargeInt, -5000000000LL); }},
      {"Date", [] { return Num(DT::Date, 3); }, [] { return Num(DT::Date, -3); }},
      {"Byte zero", [] { return Num(DT::Byte, 0); }, [] { return Num(DT::Byte, 0); }},
      {"Cardinal zero", [] { return Num(DT::Cardinal, 0); }, [] { return Num(DT::Cardinal, 0); }},
      {"Double", [] { return Dbl(1.5); }, [] { return Dbl(-1.5); }},
      {"Extended", [] { return Dbl(2, DT::Extended); }, [] { return Dbl(-2, DT::Extended); }},
      {"Currency", [] { return Cur(-2.5); }, [] { return Cur(2.5); }},
      {"Boolean is NOT", [] { return Bool(true); }, [] { return Bool(false); }},
      {"null stays null", [] { return Null(DT::Integer); }, [] { return Null(DT::Integer); }},
      {"null text stays null", [] { return Null(DT::Varchar); }, [] { return Null(DT::Varchar); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    VarPtr v = c.value();
    v->Negate();
    ExpectSameValue(*v, *c.want());
  }
  struct ErrorCase { const char* name; Make value; int32_t code; };
  const std::vector<ErrorCase> errors = {
      {"text", [] { return Str("a"); }, 30123},
      {"Memo", [] { return Str("a", DT::Memo); }, 30123},
      {"DateTime", [] { return Stamp(1, 1); }, 30123},
      {"Time", [] { return Num(DT::Time, 1); }, 30123},
      {"Byte stored back as a Byte", [] { return Num(DT::Byte, 5); }, 30051},
      {"Word stored back as a Word", [] { return Num(DT::Word, 5); }, 30051},
  };
  for (const auto& c : errors) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(CodeOf([&] { c.value()->Negate(); }), c.code);
  }
  EXPECT_THROW(Num(DT::ShortInt, -128)->Negate(), ERangeError);
  EXPECT_THROW(Int(std::numeric_limits<int32_t>::min())->Negate(), EIntOverflow);
  EXPECT_THROW(Num(DT::LargeInt, std::numeric_limits<int64_t>::min())->Negate(), EIntOverflow);
  EXPECT_THROW(Num(DT::Cardinal, 1)->Negate(), EIntOverflow);
}

// ---------------------------------------------------------------------------------------------
// Platform variants

TEST_F(TarnexVariantTest, PlatformVariantsInAndOut) {
  struct InCase { const char* name; Variant in; DT type; Make want; Variant out = Variant(); };
  const std::vector<InCase> in = {
      {"smallint", Variant::FromSmallint(-3), DT::SmallInt, [] { return Num(DT::SmallInt, -3); }},
      {"integer", Variant::FromInteger(70000), DT::Integer, [] { return Int(70000); }},
      {"int64", Variant::FromInt64(-5000000000LL), DT::LargeInt, [] { return Num(DT::LargeInt, -5000000000LL); }},
      {"longword", Variant::FromLongWord(4000000000u), DT::Cardinal, [] { return Num(DT::Cardinal, 4000000000LL); }},
      {"byte", Variant::FromByte(200), DT::Byte, [] { return Num(DT::Byte, 200); }},
      {"double", Variant::FromDouble(0.5), DT::Double, [] { return Dbl(0.5); }},
      {"currency comes back as a double", Variant::FromCurrency(2.5), DT::Currency, [] { return Cur(2.5); },
       Variant::FromDouble(2.5)},
      {"date", Variant::FromDate(EncodeDate(2000, 1, 1) + 0.5), DT::DateTime,
       [] { return Stamp(DayOf(2000, 1, 1), 43200000); }},
      {"OLE string", Variant::FromOleStr(u"w"), DT::WideVarchar, [] { return WStr(u"w"); }},
      {"8-bit string", Variant::FromString("s"), DT::Varchar, [] { return Str("s"); }},
      {"boolean", Variant::FromBoolean(true), DT::Boolean, [] { return Bool(true); }},
  };
  for (const auto& c : in) {
    SCOPED_TRACE(c.name);
    TTarnexVariant v;
    v.SetAsVariant(c.in);
    EXPECT_EQ(v.DataType(), c.type);
    ExpectSameValue(v, *c.want());
    EXPECT_EQ(v.AsVariant(), c.out.IsEmpty() ? c.in : c.out) << "back to a platform variant";
  }
  auto typed = Int(5);
  typed->SetAsVariant(Variant::Null());
  EXPECT_TRUE(typed->IsNull());
  EXPECT_EQ(typed->DataType(), DT::Integer);
  typed->SetAsVariant(Variant::FromString("12"));  // converted into the variant's type
  EXPECT_EQ(typed->AsInteger(), 12);
  try {
    typed->SetAsVariant(Variant::FromType(static_cast<TVarType>(0x000D)));
    ADD_FAILURE() << "no error";
  } catch (const ETarnexException& e) {
    EXPECT_EQ(std::string(e.what()), "Unsupported Variant Type 13 - Native error: 30113");
  }

  EXPECT_EQ(Num(DT::Date, DayOf(2000, 1, 1))->AsVariant(), Variant::FromDouble(EncodeDate(2000, 1, 1)));
  EXPECT_EQ(Num(DT::Time, 43200000)->AsVariant(), Variant::FromDouble(0.5));
  EXPECT_EQ(Dbl(1.5, DT::Single)->AsVariant(), Variant::FromDouble(1.5));
  EXPECT_EQ(Str("b", DT::BLOB)->AsVariant(), Variant::FromString("b"));
  EXPECT_TRUE(Null(DT::Memo)->AsVariant().IsNull());
  EXPECT_EQ(CodeOf([] { (void)Str("m", DT::Memo)->AsVariant(); }), 30114);
}

// ---------------------------------------------------------------------------------------------
// LIKE

TEST_F(TarnexVariantTest, LikeMatching) {
  struct Case { const char* text; const char* pattern; bool ignoreCase; bool match; };
  const std::vector<Case> cases = {
      {"a", "a%", false, true}, {"abc", "a%", false, true}, {"abc", "a_c", false, true},
      {"ac", "a_c", false, false}, {"abcd", "abc", false, false}, {"abc", "ab", false, false},
      {"abc", "abc%", false, true}, {"abc", "%c", false, true}, {"abc", "%b%", false, true},
      {"abc", "%d%", false, false}, {"", "%", false, true}, {"", "", false, true},
      {"a", "", false, false}, {"", "_", false, false}, {"", "a%", false, false},
      {"ABC", "a%", false, false}, {"ABC", "a%", true, true}, {"caf\xC9", "CAF\xE9", true, true},
      {"cafe", "caf\xE9", true, false}, {"a.b", "a_b", false, true}, {"a+b", "a+b", false, true},
      {"xay", "%a%a%", false, false},
      {"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa",
       "%a%a%a%a%a%a%a%a%a%a%b", false, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " LIKE " + c.pattern);
    EXPECT_EQ(LikeMatch(c.text, c.pattern, c.ignoreCase), c.match);
  }
  struct WideCase { std::u16string text, pattern; bool ignoreCase, match; };
  const std::vector<WideCase> wide = {
      {u"\u20ACuro", u"\u20AC%", false, true}, {u"\u4E2D\u6587", u"_\u6587", false, true},
      {u"\u00C9T\u00C9", u"\u00E9t\u00E9", true, true}, {u"\u00C9T\u00C9", u"\u00E9t\u00E9", false, false},
      {u"ab", u"a", false, false},
  };
  for (const auto& c : wide) {
    EXPECT_EQ(LikeMatchW(c.text, c.pattern, c.ignoreCase), c.match);
  }
}

// ---------------------------------------------------------------------------------------------
// Memory

TEST_F(TarnexVariantTest, NoBufferLeaksOnSuccessOrFailure) {
  const int64_t before = MemoryManager().AllocatedTotal();
  {
    auto a = Str("abc");
    auto b = Int(3);
    a->Add(*b);
    CodeOf([&] { Str("x")->ConvertTo(DT::Integer); });
    CodeOf([&] { Num(DT::Date, 5)->Compare(*Str("hello"), false, false, false); });
    CodeOf([&] { Int(1)->Divide(*Int(0)); });
    CodeOf([&] { Int(1)->Multiply(*Str("x")); });
    CodeOf([&] { Num(DT::Byte, 5)->Negate(); });
    EXPECT_EQ(Num(DT::Date, 5)->Compare(*Str("1/1/2000"), false, false, false), 1);
    int32_t size = 0;
    int32_t v = 5;
    CodeOf([&] { ConvertValue(&v, DT::Integer, DT::Memo, size); });
    void* converted = ConvertValue(&v, DT::Integer, DT::Varchar, size);
    EXPECT_EQ(size, 2);
    MemoryManager().FreeAndNillMem(converted);
    TTarnexVariant borrower;
    borrower.Assign(*a, false);
  }
  EXPECT_EQ(MemoryManager().AllocatedTotal(), before);
}

}  // namespace
