// The engine's storage data types and declared column types, their byte sizes and names, the
// SQL type-name table that ties them to the data-set field kinds, and the type categories.
#pragma once

#include <cstdint>
#include <string>

#include "platform/db/FieldTypes.h"

// Storage data type: how one value is laid out in bytes (codes are stored, keep them).
enum class TTarnexDataType : uint8_t {
  Unknown = 0, Char = 1, WideChar = 2, Varchar = 3, WideVarchar = 4, ShortInt = 5, SmallInt = 6,
  Integer = 7, LargeInt = 8, Byte = 9, Word = 10, Cardinal = 11, Single = 12, Double = 13,
  Extended = 14, Date = 15, Time = 16, DateTime = 17, BLOB = 18, Memo = 19, WideMemo = 20,
  Boolean = 21, Currency = 22, Bytes = 23, VarBytes = 24,
};
constexpr int TarnexDataTypeCount = 24;  // highest valid code

// Declared column type (codes are stored, keep them).
enum class TTarnexFieldType : uint8_t {
  Unknown = 0, Char = 1, Varchar = 2, WideChar = 3, WideVarchar = 4, ShortInt = 5, SmallInt = 6,
  Integer = 7, LargeInt = 8, Byte = 9, Word = 10, Cardinal = 11, AutoInc = 12,
  AutoIncShortInt = 13, AutoIncSmallInt = 14, AutoIncInteger = 15, AutoIncLargeInt = 16,
  AutoIncByte = 17, AutoIncWord = 18, AutoIncCardinal = 19, Single = 20, Double = 21,
  Extended = 22, Boolean = 23, Currency = 24, Date = 25, Time = 26, DateTime = 27,
  TimeStamp = 28, Bytes = 29, VarBytes = 30, BLOB = 31, Graphic = 32, Memo = 33,
  FormattedMemo = 34, WideMemo = 35,
};
constexpr int TarnexFieldTypeCount = 35;

// One row of the engine's list of column types (35 rows, in code order).
struct TTarnexFieldTypeDesc {
  const char* Name;
  TTarnexFieldType FieldType;
};
extern const TTarnexFieldTypeDesc TarnexFieldTypes[TarnexFieldTypeCount];

// One row of the SQL type-name table (58 rows, searched top to bottom, first match wins).
struct TSQLFieldType {
  const char* Name;
  TTarnexFieldType FieldType;
  TTarnexDataType DataType;
  TFieldType VCLFieldType;
};
constexpr int SQLFieldTypeCount = 58;
extern const TSQLFieldType SQLFieldTypes[SQLFieldTypeCount];

// Lookups over the SQL type-name table.
TTarnexDataType FieldTypeToDataType(TTarnexFieldType fieldType);      // Unknown when none
TTarnexFieldType DataTypeToFieldType(TTarnexDataType dataType);       // Unknown when none
TTarnexFieldType VCLFieldTypeToFieldType(TFieldType vclType);         // 30289 when none
TFieldType FieldTypeToVCLFieldType(TTarnexFieldType fieldType);       // ftUnknown when none
TTarnexFieldType SQLTypeNameToFieldType(const std::string& name);     // case-insensitive; Unknown when none
std::string FieldTypeName(TTarnexFieldType fieldType);                // "Unknown" when none
std::string DataTypeName(TTarnexDataType dataType);                   // display name; "Unknown" when none

// Bytes of one value of dataType with declared length `length` (characters for text, bytes
// for Bytes/VarBytes); 8 for large objects. 30050 "Unknown DataType: '%s'" for 0 or > 24.
int32_t DataTypeSize(TTarnexDataType dataType, int32_t length);

// Type categories.
bool IsTextDataType(TTarnexDataType t);             // Char WideChar Varchar WideVarchar Memo WideMemo
bool IsPlainTextDataType(TTarnexDataType t);        // Char WideChar Varchar WideVarchar
bool IsWideTextDataType(TTarnexDataType t, bool includeWideMemo = true);  // WideChar WideVarchar [WideMemo]
bool IsVarTextDataType(TTarnexDataType t);          // Varchar WideVarchar
bool IsNumericDataType(TTarnexDataType t);          // ShortInt..Extended, Currency
bool IsIntegerDataType(TTarnexDataType t);          // ShortInt..Cardinal
bool IsFloatDataType(TTarnexDataType t);            // Single Double Extended
bool IsDateTimeDataType(TTarnexDataType t);         // Date Time DateTime
bool IsBLOBDataType(TTarnexDataType t);             // BLOB Memo WideMemo
bool IsBLOBFieldType(TTarnexFieldType t);           // BLOB Graphic Memo FormattedMemo WideMemo
bool IsAutoIncFieldType(TTarnexFieldType t);        // AutoInc..AutoIncCardinal
bool IsBytesFieldType(TTarnexFieldType t);          // Bytes VarBytes
bool IsWideTextFieldType(TTarnexFieldType t);       // WideChar WideVarchar WideMemo

// Day numbers (1 = 0001-01-01) and milliseconds from and to platform date values.
constexpr int32_t DateDelta = 693594;
int32_t DateTimeToDayNumber(double value);           // trunc(value) + 693594; EIntOverflow when it does not fit
int32_t DateTimeToMilliseconds(double value);        // round(frac(value) * 86400000), ties to even;
                                                     // negative for negative values; EIntOverflow for NaN
double DayNumberToDateTime(int32_t day, int32_t milliseconds = 0);  // (day - 693594) + frac(ms / 86400000)
