#include "platform/db/DBFields.h"

#include <gtest/gtest.h>

#include "platform/db/TestDataSet.h"
#include "platform/rtl/FormatSettings.h"

namespace {

using dbtest::MessageOf;
using dbtest::Null;
using dbtest::TTestDataSet;

class FieldsTest : public ::testing::Test {
protected:
  void SetUp() override { FormatSettings() = TFormatSettings::EnUS(); }

  // A data set with one column "f" of `type` and one empty record, in the edit state.
  TField& Editing(TFieldType type, int32_t size = 0) {
    DataSet = std::make_unique<TTestDataSet>("items");
    DataSet->Columns = {{"f", type, size}};
    DataSet->AddRow({Null()});
    DataSet->Open();
    DataSet->Edit();
    return DataSet->FieldByName("f");
  }

  std::unique_ptr<TTestDataSet> DataSet;
};

TEST_F(FieldsTest, EachKindWritesAndReadsItsValues) {
  struct Case {
    const char* What;
    TFieldType Type;
    int32_t Size;
    std::function<void(TField&)> Write;
    std::string Text;
    TVarType VarType;
    std::function<void(TField&)> Check;
  };
  const std::vector<Case> cases = {
      {"string", TFieldType::ftString, 10, [](TField& f) { f.SetAsString("Psocid"); }, "Psocid", TVarType::varString,
       [](TField& f) { EXPECT_EQ(f.AsWideString(), u"Psocid"); }},
      {"string cut to its size", TFieldType::ftString, 5, [](TField& f) { f.SetAsString("Caterpillar"); }, "Cater",
       TVarType::varString, nullptr},
      {"string from a number", TFieldType::ftString, 10, [](TField& f) { f.SetAsInteger(42); }, "42",
       TVarType::varString, [](TField& f) { EXPECT_EQ(f.AsInteger(), 42); EXPECT_EQ(f.AsFloat(), 42.0); }},
      {"string from a boolean", TFieldType::ftString, 10, [](TField& f) { f.SetAsBoolean(true); }, "T",
       TVarType::varString, [](TField& f) { EXPECT_TRUE(f.AsBoolean()); }},
      {"string read as a boolean", TFieldType::ftString, 10, [](TField& f) { f.SetAsString("yes"); }, "yes",
       TVarType::varString, [](TField& f) { EXPECT_TRUE(f.AsBoolean()); }},
      {"string from a date", TFieldType::ftString, 20, [](TField& f) { f.SetAsDateTime(EncodeDate(2002, 4, 4)); },
       "4/4/2002", TVarType::varString, [](TField& f) { EXPECT_EQ(f.AsDateTime(), EncodeDate(2002, 4, 4)); }},
      {"fixed char", TFieldType::ftFixedChar, 4, [](TField& f) { f.SetAsString("ab"); }, "ab", TVarType::varString,
       [](TField& f) { EXPECT_TRUE(dynamic_cast<TStringField&>(f).FixedChar()); }},
      {"wide string", TFieldType::ftWideString, 3, [](TField& f) { f.SetAsWideString(u"\u20ACabcd"); }, "\x80" "ab",
       TVarType::varOleStr, [](TField& f) { EXPECT_EQ(f.AsWideString(), u"\u20ACab"); }},
      {"smallint", TFieldType::ftSmallint, 0, [](TField& f) { f.SetAsInteger(-32768); }, "-32768",
       TVarType::varInteger, [](TField& f) { EXPECT_EQ(f.AsFloat(), -32768.0); }},
      {"word from text", TFieldType::ftWord, 0, [](TField& f) { f.SetAsString("65535"); }, "65535",
       TVarType::varInteger, [](TField& f) { EXPECT_EQ(f.AsInteger(), 65535); }},
      {"integer rounds halves to even", TFieldType::ftInteger, 0, [](TField& f) { f.SetAsFloat(2.5); }, "2",
       TVarType::varInteger, [](TField& f) { f.SetAsFloat(3.5); EXPECT_EQ(f.AsInteger(), 4); }},
      {"integer from empty text", TFieldType::ftInteger, 0, [](TField& f) { f.SetAsInteger(5); f.SetAsString(""); },
       "", TVarType::varNull, [](TField& f) { EXPECT_EQ(f.AsInteger(), 0); EXPECT_TRUE(f.IsNull()); }},
      {"auto-increment", TFieldType::ftAutoInc, 0, [](TField& f) { f.SetAsInteger(7); }, "7", TVarType::varInteger,
       [](TField& f) { EXPECT_NE(dynamic_cast<TAutoIncField*>(&f), nullptr); }},
      {"largeint", TFieldType::ftLargeint, 0, [](TField& f) { f.SetAsString("-9000000000"); }, "-9000000000",
       TVarType::varInt64, [](TField& f) { EXPECT_EQ(f.AsLargeInt(), -9000000000LL); }},
      {"float", TFieldType::ftFloat, 0, [](TField& f) { f.SetAsFloat(1.5); }, "1.5", TVarType::varDouble,
       [](TField& f) { EXPECT_EQ(f.AsInteger(), 2); f.SetAsString("2.25"); EXPECT_EQ(f.AsFloat(), 2.25); }},
      {"currency", TFieldType::ftCurrency, 0, [](TField& f) { f.SetAsFloat(1234.5); }, "1234.5",
       TVarType::varCurrency, [](TField& f) { EXPECT_EQ(f.DisplayText(), "$1,234.50"); }},
      {"boolean", TFieldType::ftBoolean, 0, [](TField& f) { f.SetAsBoolean(true); }, "True", TVarType::varBoolean,
       [](TField& f) { f.SetAsString("f"); EXPECT_FALSE(f.AsBoolean()); f.SetAsString("TR"); EXPECT_TRUE(f.AsBoolean()); }},
      {"date keeps the day", TFieldType::ftDate, 0, [](TField& f) { f.SetAsDateTime(EncodeDate(2002, 4, 4) + 0.75); },
       "4/4/2002", TVarType::varDate, [](TField& f) { EXPECT_EQ(f.AsDateTime(), EncodeDate(2002, 4, 4)); }},
      {"time keeps the time", TFieldType::ftTime, 0,
       [](TField& f) { f.SetAsDateTime(EncodeDate(2002, 4, 4) + EncodeTime(13, 5, 9, 0)); }, "1:05:09 PM",
       TVarType::varDate, [](TField& f) { EXPECT_EQ(f.AsDateTime(), EncodeTime(13, 5, 9, 0)); }},
      {"date and time from text", TFieldType::ftDateTime, 0, [](TField& f) { f.SetAsString("4/4/2002 1:05:09 PM"); },
       "4/4/2002 1:05:09 PM", TVarType::varDate,
       [](TField& f) { EXPECT_EQ(f.AsFloat(), EncodeDate(2002, 4, 4) + EncodeTime(13, 5, 9, 0)); }},
      {"time stamp", TFieldType::ftTimeStamp, 0,
       [](TField& f) { f.SetAsDateTime(EncodeDate(2002, 4, 4) + EncodeTime(6, 0, 0, 250)); }, "4/4/2002 6:00:00 AM",
       TVarType::varDate, [](TField& f) {
         const TSQLTimeStamp stamp = dynamic_cast<TSQLTimeStampField&>(f).AsSQLTimeStamp();
         EXPECT_EQ(stamp.Year, 2002);
         EXPECT_EQ(stamp.Day, 4);
         EXPECT_EQ(stamp.Hour, 6);
         EXPECT_EQ(stamp.Fractions, 250u);
       }},
      {"bytes pad with zeros", TFieldType::ftBytes, 4, [](TField& f) { f.SetAsString("ab"); }, std::string("ab\0\0", 4),
       TVarType::varString, nullptr},
      {"var bytes keep their length", TFieldType::ftVarBytes, 4, [](TField& f) { f.SetAsString("abcdef"); }, "abcd",
       TVarType::varString, [](TField& f) { f.SetAsString(std::string("\0z", 2)); EXPECT_EQ(f.AsString(), std::string("\0z", 2)); }},
      {"memo", TFieldType::ftMemo, 10, [](TField& f) { f.SetAsString("longer than ten characters"); },
       "longer than ten characters", TVarType::varString, [](TField& f) {
         EXPECT_EQ(f.DisplayText(), "(MEMO)");
         EXPECT_EQ(dynamic_cast<TBlobField&>(f).BlobSize(), 26);
         f.Clear();
         EXPECT_TRUE(f.IsNull());
         EXPECT_EQ(f.DisplayText(), "(Memo)");
       }},
      {"blob", TFieldType::ftBlob, 0, [](TField& f) { f.SetAsString(std::string("\0\1\2", 3)); },
       std::string("\0\1\2", 3), TVarType::varString, [](TField& f) { EXPECT_EQ(f.DisplayText(), "(BLOB)"); }},
      {"graphic", TFieldType::ftGraphic, 0, [](TField& f) { f.SetAsString("GIF89a"); }, "GIF89a", TVarType::varString,
       [](TField& f) { EXPECT_NE(dynamic_cast<TGraphicField*>(&f), nullptr); }},
      {"formatted memo", TFieldType::ftFmtMemo, 0, [](TField& f) { f.SetAsString("{\\rtf1}"); }, "{\\rtf1}",
       TVarType::varString, [](TField& f) { EXPECT_NE(dynamic_cast<TFmtMemoField*>(&f), nullptr); }},
  };
  for (const Case& c : cases) {
    TField& field = Editing(c.Type, c.Size);
    EXPECT_EQ(field.DataType(), c.Type) << c.What;
    EXPECT_TRUE(field.IsNull()) << c.What;
    c.Write(field);
    EXPECT_EQ(field.AsString(), c.Text) << c.What;
    EXPECT_EQ(field.AsVariant().VarType(), c.VarType) << c.What;
    DataSet->Post();  // the value survives the store
    EXPECT_EQ(field.AsString(), c.Text) << c.What;
    DataSet->Edit();
    if (c.Check) c.Check(field);
  }
}

TEST_F(FieldsTest, BadValuesAndUnsupportedConversionsAreRefused) {
  struct Case {
    TFieldType Type;
    std::function<void(TField&)> Action;
    std::string Message;
  };
  const std::vector<Case> cases = {
      {TFieldType::ftInteger, [](TField& f) { f.SetAsString("abc"); }, "'abc' is not a valid integer value for field 'f'"},
      {TFieldType::ftLargeint, [](TField& f) { f.SetAsString("1.5"); }, "'1.5' is not a valid integer value for field 'f'"},
      {TFieldType::ftSmallint, [](TField& f) { f.SetAsInteger(70000); },
       "70000 is not a valid value for field 'f'. The allowed range is -32768 to 32767"},
      {TFieldType::ftWord, [](TField& f) { f.SetAsInteger(-1); },
       "-1 is not a valid value for field 'f'. The allowed range is 0 to 65535"},
      {TFieldType::ftInteger, [](TField& f) { f.SetAsString("3000000000"); },
       "3000000000 is not a valid value for field 'f'. The allowed range is -2147483648 to 2147483647"},
      {TFieldType::ftLargeint, [](TField& f) { f.SetAsLargeInt(9000000000LL); f.AsInteger(); },
       "9000000000 is not a valid value for field 'f'. The allowed range is -2147483648 to 2147483647"},
      {TFieldType::ftFloat, [](TField& f) { f.SetAsString("1,5"); }, "'1,5' is not a valid floating point value for field 'f'"},
      {TFieldType::ftBoolean, [](TField& f) { f.SetAsString("maybe"); }, "'maybe' is not a valid boolean value for field 'f'"},
      {TFieldType::ftInteger, [](TField& f) { f.AsBoolean(); }, "Cannot access field 'f' as type Boolean"},
      {TFieldType::ftDate, [](TField& f) { f.AsInteger(); }, "Cannot access field 'f' as type Integer"},
      {TFieldType::ftBoolean, [](TField& f) { f.SetAsFloat(1); }, "Cannot access field 'f' as type Float"},
      {TFieldType::ftMemo, [](TField& f) { f.SetAsDateTime(1); }, "Cannot access field 'f' as type DateTime"},
      {TFieldType::ftInteger, [](TField& f) { f.SetAsVariant(Variant::FromString("x")); },
       "'x' is not a valid integer value for field 'f'"},
      {TFieldType::ftInteger, [](TField& f) { f.SetSize(4); }, "items: Cannot perform this operation on an open dataset"},
  };
  for (const Case& c : cases) {
    TField& field = Editing(c.Type);
    EXPECT_EQ(MessageOf<EDatabaseError>([&] { c.Action(field); }), c.Message);
  }
  // the run-time's own conversions raise its own errors
  TField& date = Editing(TFieldType::ftDate);
  EXPECT_EQ(MessageOf<EConvertError>([&] { date.SetAsString("13/45/2002"); }), "'13/45/2002' is not a valid date");
  TField& text = Editing(TFieldType::ftString, 10);
  text.SetAsString("abc");
  EXPECT_EQ(MessageOf<EConvertError>([&] { text.AsInteger(); }), "'abc' is not a valid integer value");
}

TEST_F(FieldsTest, FieldsOutsideADataSetAndTheirSettings) {
  TStringField loose;
  loose.SetFieldName("x");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { loose.AsString(); }), "Field 'x' has no dataset");
  EXPECT_EQ(loose.Index(), -1);
  TIntegerField number;
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { number.SetSize(4); }), "Invalid field size");
  struct Width {
    std::unique_ptr<TField> Field;
    int32_t Expected;
  };
  std::vector<Width> widths;
  widths.push_back({std::make_unique<TStringField>(), 20});
  widths.push_back({std::make_unique<TIntegerField>(), 10});
  widths.push_back({std::make_unique<TLargeintField>(), 15});
  widths.push_back({std::make_unique<TBooleanField>(), 5});
  widths.push_back({std::make_unique<TBytesField>(), 32});
  for (const Width& w : widths) EXPECT_EQ(w.Field->DisplayWidth(), w.Expected) << FieldTypeNames[int(w.Field->DataType())];

  TTestDataSet dataSet("items");
  dataSet.Fields().Add(std::make_unique<TStringField>()).SetFieldName("a");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { dataSet.Fields().Add(std::make_unique<TStringField>()).SetFieldName("A"); }),
            "items: Duplicate field name 'A'");
  auto second = std::make_unique<TStringField>();
  second->SetFieldName("A");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { dataSet.Fields().Add(std::move(second)); }),
            "items: Duplicate field name 'A'");
  EXPECT_EQ(MessageOf<EDatabaseError>([&] { dataSet.Fields()[5]; }), "items: Field index out of range");
}

TEST_F(FieldsTest, DisplaySettingsAndEvents) {
  TField& flag = Editing(TFieldType::ftBoolean);
  auto& boolean = dynamic_cast<TBooleanField&>(flag);
  boolean.SetDisplayValues("Yes;No");
  boolean.SetAsString("n");
  EXPECT_EQ(boolean.AsString(), "No");
  boolean.SetAsString("YE");
  EXPECT_TRUE(boolean.AsBoolean());
  EXPECT_EQ(boolean.DisplayWidth(), 3);
  EXPECT_EQ(boolean.DisplayLabel(), "f");
  boolean.SetDisplayLabel("FLAG");
  EXPECT_EQ(boolean.DisplayName(), "FLAG");

  TField& date = Editing(TFieldType::ftDate);
  dynamic_cast<TDateTimeField&>(date).SetDisplayFormat("yyyy-mm-dd");
  date.SetAsDateTime(EncodeDate(2002, 4, 4));
  EXPECT_EQ(date.DisplayText(), "2002-04-04");
  EXPECT_EQ(date.AsString(), "4/4/2002");
  FormatSettings().ShortDateFormat = "dd.mm.yyyy";
  EXPECT_EQ(date.AsString(), "04.04.2002");
  date.SetAsString("05.04.2002");
  EXPECT_EQ(date.AsDateTime(), EncodeDate(2002, 4, 5));

  TField& text = Editing(TFieldType::ftString, 10);
  std::vector<std::string> changes;
  text.OnChange = [&](TField& f) { changes.push_back(f.AsString()); };
  text.SetAsString("a");
  text.SetAsVariant(Variant::FromInteger(5));
  text.Clear();
  EXPECT_EQ(changes, (std::vector<std::string>{"a", "5", ""}));
}

TEST_F(FieldsTest, VariantsWriteThroughTheKindsOwnSetters) {
  struct Case {
    TFieldType Type;
    Variant Value;
    std::string Text;
  };
  const std::vector<Case> cases = {
      {TFieldType::ftInteger, Variant::FromString("12"), "12"},
      {TFieldType::ftInteger, Variant::FromDouble(2.6), "3"},
      {TFieldType::ftString, Variant::FromInteger(5), "5"},
      {TFieldType::ftString, Variant::FromOleStr(u"w\u00E9"), "w\xE9"},
      {TFieldType::ftFloat, Variant::FromInt64(-3), "-3"},
      {TFieldType::ftBoolean, Variant::FromBoolean(true), "True"},
      {TFieldType::ftBoolean, Variant::FromString("false"), "False"},
      {TFieldType::ftDate, Variant::FromDate(EncodeDate(2002, 4, 4)), "4/4/2002"},
      {TFieldType::ftDate, Variant::FromString("4/5/2002"), "4/5/2002"},
      {TFieldType::ftMemo, Variant::FromString("note"), "note"},
      {TFieldType::ftInteger, Variant::Null(), ""},
      {TFieldType::ftString, Variant(), ""},
  };
  for (const Case& c : cases) {
    TField& field = Editing(c.Type, 10);
    if (c.Value.IsNull() || c.Value.IsEmpty()) field.SetAsString("1");
    field.SetAsVariant(c.Value);
    EXPECT_EQ(field.AsString(), c.Text) << FieldTypeNames[int(c.Type)] << " " << c.Value.AsString();
    EXPECT_EQ(field.IsNull(), c.Text.empty());
  }
}

TEST_F(FieldsTest, BlobStreamsCarryTheWholeValue) {
  TField& notes = Editing(TFieldType::ftMemo);
  auto& blob = dynamic_cast<TBlobField&>(notes);
  TMemoryStream source("from a stream");
  source.SetPosition(5);
  blob.LoadFromStream(source);
  EXPECT_EQ(blob.AsString(), "from a stream");
  TMemoryStream target("> ");
  target.Seek(0, TSeekOrigin::soEnd);
  blob.SaveToStream(target);
  EXPECT_EQ(target.Bytes(), "> from a stream");
  DataSet->Cancel();
  EXPECT_TRUE(blob.IsNull());
  EXPECT_EQ(blob.BlobSize(), 0);
}

TEST(FieldBufferFormsTest, DatesAndTimesMapToDayNumbersAndMilliseconds) {
  struct Case {
    TFieldType Type;
    TDateTime Value;
    int64_t Native;       // ftDate, ftTime: the int32; ftDateTime: the double's whole value
    TDateTime ReadBack;
  };
  const double msPerDay = 86400000.0;
  const std::vector<Case> cases = {
      {TFieldType::ftDate, EncodeDate(1, 1, 1), 1, EncodeDate(1, 1, 1)},
      {TFieldType::ftDate, 0.0, 693594, 0.0},
      {TFieldType::ftDate, EncodeDate(2002, 4, 4) + 0.9, 730944, EncodeDate(2002, 4, 4)},
      {TFieldType::ftDate, -1.25, 693593, -1.0},
      {TFieldType::ftTime, 0.5, 43200000, 0.5},
      {TFieldType::ftTime, EncodeTime(23, 59, 59, 999), 86399999, EncodeTime(23, 59, 59, 999)},
      {TFieldType::ftDateTime, -1.25, static_cast<int64_t>(693593 * msPerDay) + 21600000, -1.25},
      {TFieldType::ftDateTime, EncodeDate(2002, 4, 4) + 0.5, static_cast<int64_t>(730944 * msPerDay) + 43200000,
       EncodeDate(2002, 4, 4) + 0.5},
      {TFieldType::ftDateTime, 1.0 - 0.4 / msPerDay, static_cast<int64_t>(693595 * msPerDay), 1.0},
  };
  for (const Case& c : cases) {
    uint8_t buffer[8] = {};
    DateTimeToNative(c.Type, c.Value, buffer);
    int64_t native;
    if (c.Type == TFieldType::ftDateTime) {
      double value;
      std::memcpy(&value, buffer, 8);
      native = static_cast<int64_t>(value);
    } else {
      int32_t value;
      std::memcpy(&value, buffer, 4);
      native = value;
    }
    EXPECT_EQ(native, c.Native) << FieldTypeNames[int(c.Type)] << " " << c.Value;
    EXPECT_DOUBLE_EQ(NativeToDateTime(c.Type, buffer), c.ReadBack) << FieldTypeNames[int(c.Type)] << " " << c.Value;
  }
  uint8_t stamp[16];
  DateTimeToNative(TFieldType::ftTimeStamp, EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 7), stamp);
  EXPECT_DOUBLE_EQ(NativeToDateTime(TFieldType::ftTimeStamp, stamp), EncodeDate(1999, 12, 31) + EncodeTime(23, 59, 58, 7));
  EXPECT_THROW(SQLTimeStampToDateTime(TSQLTimeStamp{}), EConvertError);
}

TEST(FieldBufferFormsTest, SizesFollowTheKind) {
  struct Case {
    TFieldType Type;
    int32_t Size;
    int32_t Bytes;
  };
  const std::vector<Case> cases = {
      {TFieldType::ftString, 30, 31},   {TFieldType::ftFixedChar, 4, 5}, {TFieldType::ftWideString, 10, 22},
      {TFieldType::ftSmallint, 0, 2},   {TFieldType::ftWord, 0, 2},      {TFieldType::ftBoolean, 0, 2},
      {TFieldType::ftInteger, 0, 4},    {TFieldType::ftAutoInc, 0, 4},   {TFieldType::ftDate, 0, 4},
      {TFieldType::ftTime, 0, 4},       {TFieldType::ftLargeint, 0, 8},  {TFieldType::ftFloat, 0, 8},
      {TFieldType::ftCurrency, 0, 8},   {TFieldType::ftDateTime, 0, 8},  {TFieldType::ftTimeStamp, 0, 16},
      {TFieldType::ftBytes, 6, 6},      {TFieldType::ftVarBytes, 6, 8},  {TFieldType::ftMemo, 10, 0},
      {TFieldType::ftBlob, 0, 0},       {TFieldType::ftBCD, 0, 0},
  };
  for (const Case& c : cases) EXPECT_EQ(FieldDataSize(c.Type, c.Size), c.Bytes) << FieldTypeNames[int(c.Type)];
  EXPECT_EQ(CreateDefaultField(TFieldType::ftBCD), nullptr);
  EXPECT_EQ(CreateDefaultField(TFieldType::ftTypedBinary)->DataType(), TFieldType::ftTypedBinary);
}

}  // namespace
