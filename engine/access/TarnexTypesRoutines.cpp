// The column type list, the SQL type-name table and the lookups, sizes and categories over them.
#include "engine/access/TarnexTypesRoutines.h"

#include <cmath>

#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/SysUtils.h"

using FT = TTarnexFieldType;
using DT = TTarnexDataType;
using VT = TFieldType;

const TTarnexFieldTypeDesc TarnexFieldTypes[TarnexFieldTypeCount] = {
    {"Char", FT::Char},
    {"Varchar", FT::Varchar},
    {"WideChar", FT::WideChar},
    {"WideVarchar", FT::WideVarchar},
    {"ShortInt", FT::ShortInt},
    {"SmallInt", FT::SmallInt},
    {"Integer", FT::Integer},
    {"LargeInt", FT::LargeInt},
    {"Byte", FT::Byte},
    {"Word", FT::Word},
    {"Cardinal", FT::Cardinal},
    {"AutoInc", FT::AutoInc},
    {"AutoIncShortInt", FT::AutoIncShortInt},
    {"AutoIncSmallInt", FT::AutoIncSmallInt},
    {"AutoIncInteger", FT::AutoIncInteger},
    {"AutoIncLargeInt", FT::AutoIncLargeInt},
    {"AutoIncByte", FT::AutoIncByte},
    {"AutoIncWord", FT::AutoIncWord},
    {"AutoIncCardinal", FT::AutoIncCardinal},
    {"Single", FT::Single},
    {"Double", FT::Double},
    {"Extended", FT::Extended},
    {"Boolean", FT::Boolean},
    {"Currency", FT::Currency},
    {"Date", FT::Date},
    {"Time", FT::Time},
    {"DateTime", FT::DateTime},
    {"TimeStamp", FT::TimeStamp},
    {"Bytes", FT::Bytes},
    {"VarBytes", FT::VarBytes},
    {"BLOB", FT::BLOB},
    {"Graphic", FT::Graphic},
    {"Memo", FT::Memo},
    {"FormattedMemo", FT::FormattedMemo},
    {"WideMemo", FT::WideMemo},
};

const TSQLFieldType SQLFieldTypes[SQLFieldTypeCount] = {
    {"CHAR", FT::Char, DT::Char, VT::ftFixedChar},
    {"FIXEDCHAR", FT::Char, DT::Char, VT::ftFixedChar},
    {"STRING", FT::Varchar, DT::Varchar, VT::ftString},
    {"VARCHAR", FT::Varchar, DT::Varchar, VT::ftString},
    {"VARCHAR2", FT::Varchar, DT::Varchar, VT::ftString},
    {"WIDECHAR", FT::WideChar, DT::WideChar, VT::ftWideString},
    {"FIXEDWIDECHAR", FT::WideChar, DT::WideChar, VT::ftWideString},
    {"WIDESTRING", FT::WideVarchar, DT::WideVarchar, VT::ftWideString},
    {"WIDEVARCHAR", FT::WideVarchar, DT::WideVarchar, VT::ftWideString},
    {"SIGNEDINT16", FT::SmallInt, DT::SmallInt, VT::ftSmallint},
    {"SMALLINT", FT::SmallInt, DT::SmallInt, VT::ftSmallint},
    {"SIGNEDINT8", FT::ShortInt, DT::ShortInt, VT::ftSmallint},
    {"SHORTINT", FT::ShortInt, DT::ShortInt, VT::ftSmallint},
    {"SIGNEDINT32", FT::Integer, DT::Integer, VT::ftInteger},
    {"INTEGER", FT::Integer, DT::Integer, VT::ftInteger},
    {"SIGNEDINT64", FT::LargeInt, DT::LargeInt, VT::ftLargeint},
    {"LARGEINT", FT::LargeInt, DT::LargeInt, VT::ftLargeint},
    {"INT64", FT::LargeInt, DT::LargeInt, VT::ftLargeint},
    {"UNSIGNEDINT16", FT::Word, DT::Word, VT::ftWord},
    {"WORD", FT::Word, DT::Word, VT::ftWord},
    {"UNSIGNEDINT8", FT::Byte, DT::Byte, VT::ftWord},
    {"BYTE", FT::Byte, DT::Byte, VT::ftWord},
    {"UNSIGNEDINT32", FT::Cardinal, DT::Cardinal, VT::ftLargeint},
    {"CARDINAL", FT::Cardinal, DT::Cardinal, VT::ftLargeint},
    {"AUTOINC", FT::AutoInc, DT::Integer, VT::ftAutoInc},
    {"AUTOINCSHORTINT", FT::AutoIncShortInt, DT::ShortInt, VT::ftAutoInc},
    {"AUTOINCSMALLINT", FT::AutoIncSmallInt, DT::SmallInt, VT::ftAutoInc},
    {"AUTOINCINTEGER", FT::AutoIncInteger, DT::Integer, VT::ftAutoInc},
    {"AUTOINCLARGEINT", FT::AutoIncLargeInt, DT::LargeInt, VT::ftLargeint},
    {"AUTOINCBYTE", FT::AutoIncByte, DT::Byte, VT::ftAutoInc},
    {"AUTOINCWORD", FT::AutoIncWord, DT::Word, VT::ftAutoInc},
    {"AUTOINCCARDINAL", FT::AutoIncCardinal, DT::Cardinal, VT::ftAutoInc},
    {"FLOAT", FT::Double, DT::Double, VT::ftFloat},
    {"SINGLE", FT::Single, DT::Single, VT::ftFloat},
    {"DOUBLE", FT::Double, DT::Double, VT::ftFloat},
    {"EXTENDED", FT::Extended, DT::Extended, VT::ftFloat},
    {"LOGICAL", FT::Boolean, DT::Boolean, VT::ftBoolean},
    {"BOOLEAN", FT::Boolean, DT::Boolean, VT::ftBoolean},
    {"BOOL", FT::Boolean, DT::Boolean, VT::ftBoolean},
    {"BIT", FT::Boolean, DT::Boolean, VT::ftBoolean},
    {"CURRENCY", FT::Currency, DT::Currency, VT::ftCurrency},
    {"MONEY", FT::Currency, DT::Currency, VT::ftCurrency},
    {"DATE", FT::Date, DT::Date, VT::ftDate},
    {"TIME", FT::Time, DT::Time, VT::ftTime},
    {"DATETIME", FT::DateTime, DT::DateTime, VT::ftDateTime},
    {"TIMESTAMP", FT::TimeStamp, DT::DateTime, VT::ftTimeStamp},
    {"BYTES", FT::Bytes, DT::Bytes, VT::ftBytes},
    {"VARBYTES", FT::VarBytes, DT::VarBytes, VT::ftVarBytes},
    {"BLOB", FT::BLOB, DT::BLOB, VT::ftBlob},
    {"BLOB", FT::BLOB, DT::BLOB, VT::ftParadoxOle},
    {"BLOB", FT::BLOB, DT::BLOB, VT::ftTypedBinary},
    {"BLOB", FT::BLOB, DT::BLOB, VT::ftDBaseOle},
    {"GRAPHIC", FT::Graphic, DT::BLOB, VT::ftGraphic},
    {"MEMO", FT::Memo, DT::Memo, VT::ftMemo},
    {"CLOB", FT::Memo, DT::Memo, VT::ftMemo},
    {"FORMATTEDMEMO", FT::FormattedMemo, DT::Memo, VT::ftFmtMemo},
    {"WIDEMEMO", FT::WideMemo, DT::WideMemo, VT::ftMemo},
    {"WIDECLOB", FT::WideMemo, DT::WideMemo, VT::ftMemo},
};

namespace {

// The first row of the SQL type-name table that `match` accepts, or nullptr.
template <class Pred>
const TSQLFieldType* FirstRow(Pred match) {
  for (const TSQLFieldType& row : SQLFieldTypes)
    if (match(row)) return &row;
  return nullptr;
}

bool InRange(TTarnexDataType t, TTarnexDataType first, TTarnexDataType last) {
  return static_cast<uint8_t>(t) >= static_cast<uint8_t>(first) &&
         static_cast<uint8_t>(t) <= static_cast<uint8_t>(last);
}

}  // namespace

TTarnexDataType FieldTypeToDataType(TTarnexFieldType fieldType) {
  const TSQLFieldType* row = FirstRow([&](const TSQLFieldType& r) { return r.FieldType == fieldType; });
  return row ? row->DataType : DT::Unknown;
}

TTarnexFieldType DataTypeToFieldType(TTarnexDataType dataType) {
  const TSQLFieldType* row = FirstRow([&](const TSQLFieldType& r) { return r.DataType == dataType; });
  return row ? row->FieldType : FT::Unknown;
}

TTarnexFieldType VCLFieldTypeToFieldType(TFieldType vclType) {
  const TSQLFieldType* row = FirstRow([&](const TSQLFieldType& r) { return r.VCLFieldType == vclType; });
  if (row == nullptr)
    throw ETarnexException::CreateFmt(30289, "Unknown DataType: '%s'",
                                      {IntToStr(static_cast<int>(vclType))});
  return row->FieldType;
}

TFieldType FieldTypeToVCLFieldType(TTarnexFieldType fieldType) {
  const TSQLFieldType* row = FirstRow([&](const TSQLFieldType& r) { return r.FieldType == fieldType; });
  return row ? row->VCLFieldType : VT::ftUnknown;
}

TTarnexFieldType SQLTypeNameToFieldType(const std::string& name) {
  const TSQLFieldType* row = FirstRow([&](const TSQLFieldType& r) { return SameText(r.Name, name); });
  return row ? row->FieldType : FT::Unknown;
}

std::string FieldTypeName(TTarnexFieldType fieldType) {
  const TSQLFieldType* row = FirstRow([&](const TSQLFieldType& r) { return r.FieldType == fieldType; });
  return row ? row->Name : "Unknown";
}

std::string DataTypeName(TTarnexDataType dataType) {
  const TSQLFieldType* row = FirstRow([&](const TSQLFieldType& r) { return r.DataType == dataType; });
  return row ? row->Name : "Unknown";
}

int32_t DataTypeSize(TTarnexDataType dataType, int32_t length) {
  switch (dataType) {
    case DT::Char:
    case DT::Varchar: return length + 1;
    case DT::WideChar:
    case DT::WideVarchar: return (length + 1) * 2;
    case DT::ShortInt:
    case DT::Byte: return 1;
    case DT::SmallInt:
    case DT::Word:
    case DT::Boolean: return 2;
    case DT::Integer:
    case DT::Cardinal:
    case DT::Single:
    case DT::Date:
    case DT::Time: return 4;
    case DT::LargeInt:
    case DT::Double:
    case DT::DateTime:
    case DT::Currency:
    case DT::BLOB:
    case DT::Memo:
    case DT::WideMemo: return 8;
    case DT::Extended: return 10;
    case DT::Bytes:
    case DT::VarBytes: return length;
    case DT::Unknown: break;
  }
  throw ETarnexException::CreateFmt(30050, "Unknown DataType: '%s'", {DataTypeName(dataType)});
}

bool IsTextDataType(TTarnexDataType t) { return IsPlainTextDataType(t) || t == DT::Memo || t == DT::WideMemo; }

bool IsPlainTextDataType(TTarnexDataType t) {
  return t == DT::Char || t == DT::WideChar || t == DT::Varchar || t == DT::WideVarchar;
}

bool IsWideTextDataType(TTarnexDataType t, bool includeWideMemo) {
  return t == DT::WideChar || t == DT::WideVarchar || (includeWideMemo && t == DT::WideMemo);
}

bool IsVarTextDataType(TTarnexDataType t) { return t == DT::Varchar || t == DT::WideVarchar; }

bool IsNumericDataType(TTarnexDataType t) { return InRange(t, DT::ShortInt, DT::Extended) || t == DT::Currency; }

bool IsIntegerDataType(TTarnexDataType t) { return InRange(t, DT::ShortInt, DT::Cardinal); }

bool IsFloatDataType(TTarnexDataType t) { return InRange(t, DT::Single, DT::Extended); }

bool IsDateTimeDataType(TTarnexDataType t) { return InRange(t, DT::Date, DT::DateTime); }

bool IsBLOBDataType(TTarnexDataType t) { return InRange(t, DT::BLOB, DT::WideMemo); }

bool IsBLOBFieldType(TTarnexFieldType t) {
  return t == FT::BLOB || t == FT::Graphic || t == FT::Memo || t == FT::FormattedMemo || t == FT::WideMemo;
}

bool IsAutoIncFieldType(TTarnexFieldType t) {
  return static_cast<uint8_t>(t) >= static_cast<uint8_t>(FT::AutoInc) &&
         static_cast<uint8_t>(t) <= static_cast<uint8_t>(FT::AutoIncCardinal);
}

bool IsBytesFieldType(TTarnexFieldType t) { return t == FT::Bytes || t == FT::VarBytes; }

bool IsWideTextFieldType(TTarnexFieldType t) {
  return t == FT::WideChar || t == FT::WideVarchar || t == FT::WideMemo;
}

int32_t DateTimeToDayNumber(double value) {
  const double day = std::trunc(value) + DateDelta;
  if (!(day >= -2147483648.0 && day <= 2147483647.0)) throw EIntOverflow();  // NaN fails too
  return static_cast<int32_t>(day);
}

int32_t DateTimeToMilliseconds(double value) {
  // Round to nearest, ties to even, as the run-time's Round does.
  const double ms = std::nearbyint((value - std::trunc(value)) * 86400000.0);
  if (!(ms >= -2147483648.0 && ms <= 2147483647.0)) throw EIntOverflow();
  return static_cast<int32_t>(ms);
}

double DayNumberToDateTime(int32_t day, int32_t milliseconds) {
  const double f = milliseconds / 86400000.0;
  return static_cast<double>(static_cast<int64_t>(day) - DateDelta) + (f - std::trunc(f));
}
