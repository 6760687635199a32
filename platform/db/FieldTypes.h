// The data-set machinery's field kinds, numbered as the platform numbers them (the ordinal
// appears in messages such as "Unknown DataType: '15'").
#pragma once

#include <cstdint>

enum class TFieldType : uint8_t {
  ftUnknown = 0, ftString, ftSmallint, ftInteger, ftWord, ftBoolean, ftFloat, ftCurrency, ftBCD,
  ftDate, ftTime, ftDateTime, ftBytes, ftVarBytes, ftAutoInc, ftBlob, ftMemo, ftGraphic,
  ftFmtMemo, ftParadoxOle, ftDBaseOle, ftTypedBinary, ftCursor, ftFixedChar, ftWideString,
  ftLargeint, ftADT, ftArray, ftReference, ftDataSet, ftOraBlob, ftOraClob, ftVariant,
  ftInterface, ftIDispatch, ftGuid, ftTimeStamp, ftFMTBcd,
};

// The platform's name of each field kind, in TFieldType order (used in type-mismatch messages).
inline constexpr const char* FieldTypeNames[] = {
    "Unknown", "String", "SmallInt", "Integer", "Word", "Boolean", "Float", "Currency", "BCD",
    "Date", "Time", "DateTime", "Bytes", "VarBytes", "AutoInc", "Blob", "Memo", "Graphic",
    "FmtMemo", "ParadoxOle", "dBaseOle", "TypedBinary", "Cursor", "FixedChar", "WideString",
    "Largeint", "ADT", "Array", "Reference", "DataSet", "OraBlob", "OraClob", "Variant",
    "Interface", "IDispatch", "Guid", "TimeStamp", "FMTBcd",
};
static_assert(sizeof(FieldTypeNames) / sizeof(FieldTypeNames[0]) ==
              static_cast<int>(TFieldType::ftFMTBcd) + 1);
