#include "engine/access/TarnexTypesRoutines.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <set>
#include <string>

#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/DateUtils.h"

namespace {

using FT = TTarnexFieldType;
using DT = TTarnexDataType;
using VT = TFieldType;

DT Dt(int code) { return static_cast<DT>(code); }
FT Ft(int code) { return static_cast<FT>(code); }

TEST(TarnexTypesRoutinesTest, ColumnTypeListIsInCodeOrder) {
  for (int i = 0; i < TarnexFieldTypeCount; ++i) EXPECT_EQ(Ft(i + 1), TarnexFieldTypes[i].FieldType) << i;
  const struct { int row; const char* name; } names[] = {
      {0, "Char"}, {1, "Varchar"}, {11, "AutoInc"}, {18, "AutoIncCardinal"}, {27, "TimeStamp"},
      {31, "Graphic"}, {33, "FormattedMemo"}, {34, "WideMemo"}};
  for (const auto& n : names) EXPECT_STREQ(n.name, TarnexFieldTypes[n.row].Name) << n.row;
}

TEST(TarnexTypesRoutinesTest, SQLTypeNamesMapIgnoringCase) {
  const struct { const char* name; FT ft; DT dt; VT vcl; } cases[] = {
      {"CHAR", FT::Char, DT::Char, VT::ftFixedChar},
      {"fixedchar", FT::Char, DT::Char, VT::ftFixedChar},
      {"VarChar2", FT::Varchar, DT::Varchar, VT::ftString},
      {"widestring", FT::WideVarchar, DT::WideVarchar, VT::ftWideString},
      {"FIXEDWIDECHAR", FT::WideChar, DT::WideChar, VT::ftWideString},
      {"shortint", FT::ShortInt, DT::ShortInt, VT::ftSmallint},
      {"Int64", FT::LargeInt, DT::LargeInt, VT::ftLargeint},
      {"BYTE", FT::Byte, DT::Byte, VT::ftWord},
      {"cardinal", FT::Cardinal, DT::Cardinal, VT::ftLargeint},
      {"AutoIncLargeInt", FT::AutoIncLargeInt, DT::LargeInt, VT::ftLargeint},
      {"AUTOINCBYTE", FT::AutoIncByte, DT::Byte, VT::ftAutoInc},
      {"float", FT::Double, DT::Double, VT::ftFloat},
      {"EXTENDED", FT::Extended, DT::Extended, VT::ftFloat},
      {"bit", FT::Boolean, DT::Boolean, VT::ftBoolean},
      {"Money", FT::Currency, DT::Currency, VT::ftCurrency},
      {"TimeStamp", FT::TimeStamp, DT::DateTime, VT::ftTimeStamp},
      {"varbytes", FT::VarBytes, DT::VarBytes, VT::ftVarBytes},
      {"blob", FT::BLOB, DT::BLOB, VT::ftBlob},
      {"Graphic", FT::Graphic, DT::BLOB, VT::ftGraphic},
      {"clob", FT::Memo, DT::Memo, VT::ftMemo},
      {"FormattedMemo", FT::FormattedMemo, DT::Memo, VT::ftFmtMemo},
      {"WIDECLOB", FT::WideMemo, DT::WideMemo, VT::ftMemo},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const FT ft = SQLTypeNameToFieldType(c.name);
    EXPECT_EQ(c.ft, ft);
    EXPECT_EQ(c.dt, FieldTypeToDataType(ft));
    EXPECT_EQ(c.vcl, FieldTypeToVCLFieldType(ft));
  }
  for (const char* unknown : {"", "TEXT", "VARCHAR3", "CHA", "BLOBS", " CHAR"})
    EXPECT_EQ(FT::Unknown, SQLTypeNameToFieldType(unknown)) << unknown;
}

TEST(TarnexTypesRoutinesTest, TableRowsAgreeWithTheFirstMatchLookups) {
  std::set<FT> fieldTypes;
  std::set<DT> dataTypes;
  for (const TSQLFieldType& row : SQLFieldTypes) {
    SCOPED_TRACE(row.Name);
    fieldTypes.insert(row.FieldType);
    dataTypes.insert(row.DataType);
    // A column type is stored as one data type whichever of its rows is looked at.
    EXPECT_EQ(row.DataType, FieldTypeToDataType(row.FieldType));
    EXPECT_EQ(row.FieldType, SQLTypeNameToFieldType(row.Name));
  }
  EXPECT_EQ(static_cast<size_t>(TarnexFieldTypeCount), fieldTypes.size());
  EXPECT_EQ(static_cast<size_t>(TarnexDataTypeCount), dataTypes.size());
  EXPECT_EQ(std::string("WIDECLOB"), SQLFieldTypes[SQLFieldTypeCount - 1].Name);
  EXPECT_EQ(FT::Unknown, DataTypeToFieldType(DT::Unknown));
  EXPECT_EQ(DT::Unknown, FieldTypeToDataType(FT::Unknown));
  EXPECT_EQ(VT::ftUnknown, FieldTypeToVCLFieldType(Ft(36)));
}

TEST(TarnexTypesRoutinesTest, DataTypesAndTheirNamesAndColumnTypes) {
  const struct { int code; const char* name; FT ft; } cases[] = {
      {0, "Unknown", FT::Unknown}, {1, "CHAR", FT::Char}, {2, "WIDECHAR", FT::WideChar},
      {3, "STRING", FT::Varchar}, {4, "WIDESTRING", FT::WideVarchar}, {5, "SIGNEDINT8", FT::ShortInt},
      {6, "SIGNEDINT16", FT::SmallInt}, {7, "SIGNEDINT32", FT::Integer}, {8, "SIGNEDINT64", FT::LargeInt},
      {9, "UNSIGNEDINT8", FT::Byte}, {10, "UNSIGNEDINT16", FT::Word}, {11, "UNSIGNEDINT32", FT::Cardinal},
      {12, "SINGLE", FT::Single}, {13, "FLOAT", FT::Double}, {14, "EXTENDED", FT::Extended},
      {15, "DATE", FT::Date}, {16, "TIME", FT::Time}, {17, "DATETIME", FT::DateTime},
      {18, "BLOB", FT::BLOB}, {19, "MEMO", FT::Memo}, {20, "WIDEMEMO", FT::WideMemo},
      {21, "LOGICAL", FT::Boolean}, {22, "CURRENCY", FT::Currency}, {23, "BYTES", FT::Bytes},
      {24, "VARBYTES", FT::VarBytes}, {25, "Unknown", FT::Unknown}, {255, "Unknown", FT::Unknown},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.code);
    EXPECT_EQ(c.name, DataTypeName(Dt(c.code)));
    EXPECT_EQ(c.ft, DataTypeToFieldType(Dt(c.code)));
  }
  const struct { FT ft; const char* name; } fieldNames[] = {
      {FT::Double, "FLOAT"}, {FT::Varchar, "STRING"}, {FT::AutoInc, "AUTOINC"}, {FT::TimeStamp, "TIMESTAMP"},
      {FT::FormattedMemo, "FORMATTEDMEMO"}, {FT::Unknown, "Unknown"}, {Ft(36), "Unknown"}};
  for (const auto& c : fieldNames) EXPECT_EQ(c.name, FieldTypeName(c.ft));
}

TEST(TarnexTypesRoutinesTest, DataTypeSizes) {
  const struct { DT dt; int32_t length; int32_t size; } cases[] = {
      {DT::Char, 10, 11}, {DT::Varchar, 10, 11}, {DT::Varchar, 0, 1}, {DT::WideChar, 10, 22},
      {DT::WideVarchar, 10, 22}, {DT::ShortInt, 99, 1}, {DT::SmallInt, 0, 2}, {DT::Integer, 0, 4},
      {DT::LargeInt, 0, 8}, {DT::Byte, 0, 1}, {DT::Word, 0, 2}, {DT::Cardinal, 0, 4}, {DT::Single, 0, 4},
      {DT::Double, 0, 8}, {DT::Extended, 0, 10}, {DT::Date, 0, 4}, {DT::Time, 0, 4}, {DT::DateTime, 0, 8},
      {DT::BLOB, 1000, 8}, {DT::Memo, 1000, 8}, {DT::WideMemo, 1000, 8}, {DT::Boolean, 0, 2},
      {DT::Currency, 0, 8}, {DT::Bytes, 16, 16}, {DT::VarBytes, 300, 300},
  };
  for (const auto& c : cases)
    EXPECT_EQ(c.size, DataTypeSize(c.dt, c.length)) << DataTypeName(c.dt) << " " << c.length;
  for (int code : {0, 25, 200}) {
    SCOPED_TRACE(code);
    try {
      DataTypeSize(Dt(code), 4);
      ADD_FAILURE() << "no error";
    } catch (const ETarnexException& e) {
      EXPECT_EQ(30050, e.NativeErrorCode());
      EXPECT_EQ("Unknown DataType: 'Unknown' - Native error: 30050", e.Message());
    }
  }
}

TEST(TarnexTypesRoutinesTest, VCLFieldTypes) {
  const struct { VT vcl; FT ft; } mapped[] = {
      {VT::ftString, FT::Varchar}, {VT::ftFixedChar, FT::Char}, {VT::ftWideString, FT::WideChar},
      {VT::ftSmallint, FT::SmallInt}, {VT::ftInteger, FT::Integer}, {VT::ftWord, FT::Word},
      {VT::ftLargeint, FT::LargeInt}, {VT::ftAutoInc, FT::AutoInc}, {VT::ftBoolean, FT::Boolean},
      {VT::ftFloat, FT::Double}, {VT::ftCurrency, FT::Currency}, {VT::ftDate, FT::Date},
      {VT::ftTime, FT::Time}, {VT::ftDateTime, FT::DateTime}, {VT::ftTimeStamp, FT::TimeStamp},
      {VT::ftBytes, FT::Bytes}, {VT::ftVarBytes, FT::VarBytes}, {VT::ftBlob, FT::BLOB},
      {VT::ftParadoxOle, FT::BLOB}, {VT::ftDBaseOle, FT::BLOB}, {VT::ftTypedBinary, FT::BLOB},
      {VT::ftGraphic, FT::Graphic}, {VT::ftMemo, FT::Memo}, {VT::ftFmtMemo, FT::FormattedMemo},
  };
  for (const auto& c : mapped) EXPECT_EQ(c.ft, VCLFieldTypeToFieldType(c.vcl)) << static_cast<int>(c.vcl);
  for (VT vcl : {VT::ftUnknown, VT::ftBCD, VT::ftCursor, VT::ftADT, VT::ftDataSet, VT::ftVariant, VT::ftGuid,
                 VT::ftFMTBcd}) {
    const std::string ordinal = std::to_string(static_cast<int>(vcl));
    SCOPED_TRACE(ordinal);
    try {
      VCLFieldTypeToFieldType(vcl);
      ADD_FAILURE() << "no error";
    } catch (const ETarnexException& e) {
      EXPECT_EQ(30289, e.NativeErrorCode());
      EXPECT_EQ("Unknown DataType: '" + ordinal + "' - Native error: 30289", e.Message());
    }
  }
}

TEST(TarnexTypesRoutinesTest, DataTypeCategories) {
  using Pred = bool (*)(DT);
  const struct { const char* label; Pred pred; std::set<int> members; } categories[] = {
      {"text", IsTextDataType, {1, 2, 3, 4, 19, 20}},
      {"plain text", IsPlainTextDataType, {1, 2, 3, 4}},
      {"wide text", [](DT t) { return IsWideTextDataType(t); }, {2, 4, 20}},
      {"wide text without memo", [](DT t) { return IsWideTextDataType(t, false); }, {2, 4}},
      {"variable text", IsVarTextDataType, {3, 4}},
      {"numeric", IsNumericDataType, {5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 22}},
      {"integer", IsIntegerDataType, {5, 6, 7, 8, 9, 10, 11}},
      {"float", IsFloatDataType, {12, 13, 14}},
      {"date/time", IsDateTimeDataType, {15, 16, 17}},
      {"large object", IsBLOBDataType, {18, 19, 20}},
  };
  for (const auto& c : categories)
    for (int code = 0; code <= 26; ++code)
      EXPECT_EQ(c.members.count(code) == 1, c.pred(Dt(code))) << c.label << " " << code;
}

TEST(TarnexTypesRoutinesTest, FieldTypeCategories) {
  using Pred = bool (*)(FT);
  const struct { const char* label; Pred pred; std::set<int> members; } categories[] = {
      {"large object", IsBLOBFieldType, {31, 32, 33, 34, 35}},
      {"auto-increment", IsAutoIncFieldType, {12, 13, 14, 15, 16, 17, 18, 19}},
      {"bytes", IsBytesFieldType, {29, 30}},
      {"wide text", IsWideTextFieldType, {3, 4, 35}},
  };
  for (const auto& c : categories)
    for (int code = 0; code <= 37; ++code)
      EXPECT_EQ(c.members.count(code) == 1, c.pred(Ft(code))) << c.label << " " << code;
}

TEST(TarnexTypesRoutinesTest, DayNumbersAndMilliseconds) {
  const struct { double value; int32_t day; int32_t ms; } cases[] = {
      {0.0, 693594, 0},
      {EncodeDate(1, 1, 1), 1, 0},
      {EncodeDate(2004, 3, 15) + EncodeTime(14, 30, 0, 0), 693594 + 38061, 52200000},
      {1.5, 693595, 43200000},
      {EncodeTime(23, 59, 59, 999), 693594, 86399999},
      {-0.25, 693594, -21600000},  // the fraction keeps the sign of the value
      {2147483647.0 - 693594.0, 2147483647, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.value);
    EXPECT_EQ(c.day, DateTimeToDayNumber(c.value));
    EXPECT_EQ(c.ms, DateTimeToMilliseconds(c.value));
  }
  const struct { int32_t day; int32_t ms; double value; } back[] = {
      {693594, 0, 0.0}, {1, 0, EncodeDate(1, 1, 1)}, {693595, 43200000, 1.5},
      {693594 + 38061, 52200000, EncodeDate(2004, 3, 15) + EncodeTime(14, 30, 0, 0)},
      {693600, 86400000, 6.0},  // a whole day of milliseconds adds no fraction
  };
  for (const auto& c : back) EXPECT_DOUBLE_EQ(c.value, DayNumberToDateTime(c.day, c.ms)) << c.day << " " << c.ms;
  EXPECT_DOUBLE_EQ(10.0, DayNumberToDateTime(693604));
}

TEST(TarnexTypesRoutinesTest, DayNumbersThatDoNotFitOverflow) {
  for (double v : {2147483648.0 - 693594.0, 3e9, -2147483649.0 - 693594.0, -1e12,
                   std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity()}) {
    SCOPED_TRACE(v);
    EXPECT_THROW(DateTimeToDayNumber(v), EIntOverflow);
  }
}

}  // namespace
