#include "platform/db/DBFields.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>

#include "platform/db/Classes.h"
#include "platform/db/DB.h"
#include "platform/db/DBConsts.h"
#include "platform/rtl/CodePage.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/FormatSettings.h"

namespace {

constexpr int32_t DayNumberDelta = 693594;  // day number of 1899-12-30 (1 = 0001-01-01)
constexpr double MSecsPerDay = 86400000.0;

// A date and time as day number and milliseconds, rounded to the millisecond (halves to even).
void SplitDateTime(TDateTime value, int32_t& day, int32_t& msecs) {
  if (!(value > -693594.0 && value < 2958466.0)) throw EConvertError("Invalid argument to date encode");
  const double whole = std::trunc(value);
  double ms = std::nearbyint(std::fabs(value - whole) * MSecsPerDay);
  int64_t dayNumber = static_cast<int64_t>(whole) + DayNumberDelta;
  if (ms >= MSecsPerDay) {  // the time of day rounded up to midnight: the next day
    ms -= MSecsPerDay;
    ++dayNumber;
  }
  day = static_cast<int32_t>(dayNumber);
  msecs = static_cast<int32_t>(ms);
}

TDateTime JoinDateTime(int64_t day, int64_t msecs) {
  return ComposeDateTime(static_cast<double>(day - DayNumberDelta), static_cast<double>(msecs) / MSecsPerDay);
}

template <class T>
T LoadLE(const uint8_t* source) {
  T value;
  std::memcpy(&value, source, sizeof value);
  return value;
}

template <class T>
void StoreLE(uint8_t* target, T value) {
  std::memcpy(target, &value, sizeof value);
}

// Rounds to the nearest integer, halves to even, when the result lies in [minValue, maxValue].
bool RoundInRange(double value, int64_t minValue, int64_t maxValue, int64_t& result) {
  const double rounded = std::nearbyint(value);
  if (!(rounded >= static_cast<double>(minValue) && rounded <= static_cast<double>(maxValue))) return false;
  if (rounded >= 9223372036854775807.0) return false;  // 2^63 itself does not fit
  result = static_cast<int64_t>(rounded);
  return true;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Field-buffer forms

int32_t FieldDataSize(TFieldType type, int32_t size) {
  if (size < 0) size = 0;
  switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar: return size + 1;
    case TFieldType::ftWideString: return (size + 1) * 2;
    case TFieldType::ftSmallint:
    case TFieldType::ftWord:
    case TFieldType::ftBoolean: return 2;
    case TFieldType::ftInteger:
    case TFieldType::ftAutoInc:
    case TFieldType::ftDate:
    case TFieldType::ftTime: return 4;
    case TFieldType::ftLargeint:
    case TFieldType::ftFloat:
    case TFieldType::ftCurrency:
    case TFieldType::ftDateTime: return 8;
    case TFieldType::ftTimeStamp: return 16;
    case TFieldType::ftBytes: return size;
    case TFieldType::ftVarBytes: return size + 2;
    default: return 0;
  }
}

bool IsBlobFieldType(TFieldType type) {
  switch (type) {
    case TFieldType::ftBlob:
    case TFieldType::ftMemo:
    case TFieldType::ftGraphic:
    case TFieldType::ftFmtMemo:
    case TFieldType::ftParadoxOle:
    case TFieldType::ftDBaseOle:
    case TFieldType::ftTypedBinary:
    case TFieldType::ftOraBlob:
    case TFieldType::ftOraClob: return true;
    default: return false;
  }
}

bool FieldTypeHasSize(TFieldType type) {
  switch (type) {
    case TFieldType::ftString:
    case TFieldType::ftFixedChar:
    case TFieldType::ftWideString:
    case TFieldType::ftBytes:
    case TFieldType::ftVarBytes: return true;
    default: return IsBlobFieldType(type);
  }
}

TSQLTimeStamp DateTimeToSQLTimeStamp(TDateTime value) {
  int year, month, day, hour, minute, second, msec;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, msec);
  TSQLTimeStamp result;
  result.Year = static_cast<int16_t>(year);
  result.Month = static_cast<uint16_t>(month);
  result.Day = static_cast<uint16_t>(day);
  result.Hour = static_cast<uint16_t>(hour);
  result.Minute = static_cast<uint16_t>(minute);
  result.Second = static_cast<uint16_t>(second);
  result.Fractions = static_cast<uint32_t>(msec);
  return result;
}

TDateTime SQLTimeStampToDateTime(const TSQLTimeStamp& value) {
  const TDateTime date = EncodeDate(value.Year, value.Month, value.Day);
  if (value.Fractions > 999) throw EConvertError("Invalid argument to time encode");
  return ComposeDateTime(date, EncodeTime(value.Hour, value.Minute, value.Second, static_cast<int>(value.Fractions)));
}

namespace {

void PackTimeStamp(const TSQLTimeStamp& value, uint8_t* target) {
  StoreLE(target + 0, value.Year);
  StoreLE(target + 2, value.Month);
  StoreLE(target + 4, value.Day);
  StoreLE(target + 6, value.Hour);
  StoreLE(target + 8, value.Minute);
  StoreLE(target + 10, value.Second);
  StoreLE(target + 12, value.Fractions);
}

TSQLTimeStamp UnpackTimeStamp(const uint8_t* source) {
  TSQLTimeStamp value;
  value.Year = LoadLE<int16_t>(source + 0);
  value.Month = LoadLE<uint16_t>(source + 2);
  value.Day = LoadLE<uint16_t>(source + 4);
  value.Hour = LoadLE<uint16_t>(source + 6);
  value.Minute = LoadLE<uint16_t>(source + 8);
  value.Second = LoadLE<uint16_t>(source + 10);
  value.Fractions = LoadLE<uint32_t>(source + 12);
  return value;
}

}  // namespace

void DateTimeToNative(TFieldType type, TDateTime value, void* buffer) {
  uint8_t* target = static_cast<uint8_t*>(buffer);
  if (type == TFieldType::ftTimeStamp) {
    PackTimeStamp(DateTimeToSQLTimeStamp(value), target);
    return;
  }
  int32_t day, msecs;
  SplitDateTime(value, day, msecs);
  switch (type) {
    case TFieldType::ftDate: StoreLE(target, day); break;
    case TFieldType::ftTime: StoreLE(target, msecs); break;
    default: StoreLE(target, static_cast<double>(day) * MSecsPerDay + msecs); break;
  }
}

TDateTime NativeToDateTime(TFieldType type, const void* buffer) {
  const uint8_t* source = static_cast<const uint8_t*>(buffer);
  switch (type) {
    case TFieldType::ftDate: return JoinDateTime(LoadLE<int32_t>(source), 0);
    case TFieldType::ftTime: return LoadLE<int32_t>(source) / MSecsPerDay;
    case TFieldType::ftTimeStamp: return SQLTimeStampToDateTime(UnpackTimeStamp(source));
    default: {
      const double total = LoadLE<double>(source);
      if (!(total >= 0 && total < 4.0e15)) throw EConvertError("Invalid argument to date encode");
      const int64_t msecs = static_cast<int64_t>(total);
      return JoinDateTime(msecs / 86400000, msecs % 86400000);
    }
  }
}

// ---------------------------------------------------------------------------------------------
// TField

TField::TField(TFieldType dataType) : DataType_(dataType) {}
TField::~TField() = default;

void TField::SetFieldName(const std::string& value) {
  if (DataSet_ != nullptr) {
    DataSet_->CheckInactive();
    const TField* other = DataSet_->Fields().FindField(value);
    if (other != nullptr && other != this) DatabaseErrorFmt(DBConsts::SDuplicateFieldName, {value}, DataSet_);
  }
  FieldName_ = value;
}

void TField::SetFieldKind(TFieldKind value) {
  if (DataSet_ != nullptr) DataSet_->CheckInactive();
  FieldKind_ = value;
}

void TField::SetSize(int32_t value) {
  if (DataSet_ != nullptr) DataSet_->CheckInactive();
  if (value < 0 || (value != 0 && !FieldTypeHasSize(DataType_))) DatabaseError(DBConsts::SInvalidFieldSize);
  Size_ = value;
}

int32_t TField::Index() const { return DataSet_ != nullptr ? DataSet_->Fields().IndexOf(this) : -1; }

TDataSet& TField::CheckDataSet() const {
  if (DataSet_ == nullptr) DatabaseErrorFmt(DBConsts::SDataSetMissing, {DisplayName()});
  return *DataSet_;
}

bool TField::GetData(void* buffer) { return CheckDataSet().ReadFieldData(*this, buffer); }
void TField::SetData(const void* buffer) { CheckDataSet().WriteFieldData(*this, buffer); }

TDataSet* TField::BlobDataSet(bool forWrite) {
  TDataSet& dataSet = CheckDataSet();
  if (!forWrite) return dataSet.State() != TDataSetState::dsInactive && dataSet.GetActiveRecordBuffer() != nullptr
                            ? &dataSet
                            : nullptr;
  const TDataSetState state = dataSet.State();
  if ((state != TDataSetState::dsEdit && state != TDataSetState::dsInsert) || dataSet.ReadOverride_ != nullptr)
    DatabaseError(DBConsts::SNotEditing, &dataSet);
  if (ReadOnly_) DatabaseErrorFmt(DBConsts::SFieldReadOnly, {DisplayName()});
  return &dataSet;
}

void TField::AccessError(const char* typeName) const {
  DatabaseErrorFmt(DBConsts::SFieldAccessError, {DisplayName(), typeName});
}

void TField::RangeError(double value, double minValue, double maxValue) const {
  DatabaseErrorFmt(DBConsts::SFieldRangeError, {value, DisplayName(), minValue, maxValue});
}

bool TField::IsNull() { return !GetData(nullptr); }
void TField::Clear() { SetData(nullptr); }

std::string TField::AsString() { AccessError("String"); }
void TField::SetAsString(const std::string&) { AccessError("String"); }
std::u16string TField::AsWideString() { return Cp1252ToUtf16(AsString()); }
void TField::SetAsWideString(const std::u16string& value) { SetAsString(Utf16ToCp1252(value)); }
int32_t TField::AsInteger() { AccessError("Integer"); }
void TField::SetAsInteger(int32_t) { AccessError("Integer"); }
int64_t TField::AsLargeInt() { AccessError("LargeInt"); }
void TField::SetAsLargeInt(int64_t) { AccessError("LargeInt"); }
double TField::AsFloat() { AccessError("Float"); }
void TField::SetAsFloat(double) { AccessError("Float"); }
double TField::AsCurrency() { return AsFloat(); }
void TField::SetAsCurrency(double value) { SetAsFloat(value); }
TDateTime TField::AsDateTime() { AccessError("DateTime"); }
void TField::SetAsDateTime(TDateTime) { AccessError("DateTime"); }
bool TField::AsBoolean() { AccessError("Boolean"); }
void TField::SetAsBoolean(bool) { AccessError("Boolean"); }
Variant TField::AsVariant() { AccessError("Variant"); }

void TField::SetAsVariant(const Variant& value) {
  if (value.IsNull() || value.IsEmpty()) {
    Clear();
    return;
  }
  switch (value.VarType()) {
    case TVarType::varString: SetAsString(value.AsString()); return;
    case TVarType::varOleStr: SetAsWideString(value.AsWideString()); return;
    case TVarType::varBoolean: SetAsBoolean(value.AsBoolean()); return;
    case TVarType::varDate: SetAsDateTime(value.AsDouble()); return;
    case TVarType::varSingle:
    case TVarType::varDouble:
    case TVarType::varCurrency: SetAsFloat(value.AsDouble()); return;
    case TVarType::varSmallint:
    case TVarType::varInteger:
    case TVarType::varShortInt:
    case TVarType::varByte:
    case TVarType::varWord:
    case TVarType::varLongWord:
    case TVarType::varInt64: SetAsLargeInt(value.AsInt64()); return;
    default: AccessError("Variant");
  }
}

// ---------------------------------------------------------------------------------------------
// Text

TStringField::TStringField() : TStringField(TFieldType::ftString) {}
TStringField::TStringField(TFieldType dataType) : TField(dataType) { SetSize(20); }

void TStringField::SetFixedChar(bool value) {
  SetDataType(value ? TFieldType::ftFixedChar : TFieldType::ftString);
}

std::string TStringField::AsString() {
  std::vector<char> buffer(static_cast<size_t>(DataBufferSize()) + 1, '\0');
  if (!GetData(buffer.data())) return {};
  std::string text(buffer.data(), strnlen(buffer.data(), buffer.size()));
  if (text.size() > static_cast<size_t>(Size())) text.resize(static_cast<size_t>(Size()));
  return text;
}

void TStringField::SetAsString(const std::string& value) {
  std::vector<char> buffer(static_cast<size_t>(Size()) + 1, '\0');
  std::memcpy(buffer.data(), value.data(), std::min(value.size(), static_cast<size_t>(Size())));
  SetData(buffer.data());
}

int32_t TStringField::AsInteger() { return StrToInt(AsString()); }
void TStringField::SetAsInteger(int32_t value) { SetAsString(IntToStr(value)); }
int64_t TStringField::AsLargeInt() { return StrToInt64(AsString()); }
void TStringField::SetAsLargeInt(int64_t value) { SetAsString(IntToStr(value)); }
double TStringField::AsFloat() { return StrToFloat(AsString()); }
void TStringField::SetAsFloat(double value) { SetAsString(FloatToStr(value)); }
TDateTime TStringField::AsDateTime() { return StrToDateTime(AsString()); }
void TStringField::SetAsDateTime(TDateTime value) { SetAsString(DateTimeToStr(value)); }

bool TStringField::AsBoolean() {
  const std::string text = AsString();
  return !text.empty() && (text[0] == 'T' || text[0] == 't' || text[0] == 'Y' || text[0] == 'y');
}

void TStringField::SetAsBoolean(bool value) { SetAsString(value ? "T" : "F"); }

Variant TStringField::AsVariant() { return IsNull() ? Variant::Null() : Variant::FromString(AsString()); }

TWideStringField::TWideStringField() : TStringField(TFieldType::ftWideString) {}

std::u16string TWideStringField::AsWideString() {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataBufferSize()) + 2, 0);
  if (!GetData(buffer.data())) return {};
  std::u16string text;
  for (size_t i = 0; i + 1 < buffer.size(); i += 2) {
    const char16_t unit = static_cast<char16_t>(buffer[i] | (buffer[i + 1] << 8));
    if (unit == 0) break;
    text.push_back(unit);
  }
  if (text.size() > static_cast<size_t>(Size())) text.resize(static_cast<size_t>(Size()));
  return text;
}

void TWideStringField::SetAsWideString(const std::u16string& value) {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
  const size_t count = std::min(value.size(), static_cast<size_t>(Size()));
  for (size_t i = 0; i < count; ++i) {
    buffer[2 * i] = static_cast<uint8_t>(value[i] & 0xFF);
    buffer[2 * i + 1] = static_cast<uint8_t>(value[i] >> 8);
  }
  SetData(buffer.data());
}

std::string TWideStringField::AsString() { return Utf16ToCp1252(AsWideString()); }
void TWideStringField::SetAsString(const std::string& value) { SetAsWideString(Cp1252ToUtf16(value)); }
Variant TWideStringField::AsVariant() { return IsNull() ? Variant::Null() : Variant::FromOleStr(AsWideString()); }

// ---------------------------------------------------------------------------------------------
// Integers

TIntegerField::TIntegerField()
    : TIntegerField(TFieldType::ftInteger, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()) {}
TIntegerField::TIntegerField(TFieldType dataType, int64_t minRange, int64_t maxRange)
    : TNumericField(dataType), MinRange_(minRange), MaxRange_(maxRange) {}
TSmallintField::TSmallintField() : TIntegerField(TFieldType::ftSmallint, -32768, 32767) {}
TWordField::TWordField() : TIntegerField(TFieldType::ftWord, 0, 65535) {}
TAutoIncField::TAutoIncField()
    : TIntegerField(TFieldType::ftAutoInc, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()) {}

namespace {

// The value of an integer field's buffer by its kind; false when null.
bool ReadIntegerData(TFieldType type, const uint8_t* buffer, bool present, int64_t& value) {
  if (!present) return false;
  switch (type) {
    case TFieldType::ftSmallint: value = LoadLE<int16_t>(buffer); break;
    case TFieldType::ftWord: value = LoadLE<uint16_t>(buffer); break;
    default: value = LoadLE<int32_t>(buffer); break;
  }
  return true;
}

}  // namespace

void TIntegerField::CheckRange(int64_t value) const {
  if (value < MinRange_ || value > MaxRange_)
    RangeError(static_cast<double>(value), static_cast<double>(MinRange_), static_cast<double>(MaxRange_));
}

int64_t TIntegerField::AsLargeInt() {
  uint8_t buffer[8] = {};
  int64_t value = 0;
  return ReadIntegerData(DataType(), buffer, GetData(buffer), value) ? value : 0;
}

void TIntegerField::SetAsLargeInt(int64_t value) {
  CheckRange(value);
  uint8_t buffer[8] = {};
  switch (DataType()) {
    case TFieldType::ftSmallint: StoreLE(buffer, static_cast<int16_t>(value)); break;
    case TFieldType::ftWord: StoreLE(buffer, static_cast<uint16_t>(value)); break;
    default: StoreLE(buffer, static_cast<int32_t>(value)); break;
  }
  SetData(buffer);
}

int32_t TIntegerField::AsInteger() { return static_cast<int32_t>(AsLargeInt()); }
void TIntegerField::SetAsInteger(int32_t value) { SetAsLargeInt(value); }
double TIntegerField::AsFloat() { return static_cast<double>(AsLargeInt()); }

void TIntegerField::SetAsFloat(double value) {
  int64_t rounded;
  if (!RoundInRange(value, MinRange_, MaxRange_, rounded))
    RangeError(value, static_cast<double>(MinRange_), static_cast<double>(MaxRange_));
  SetAsLargeInt(rounded);
}

std::string TIntegerField::AsString() { return IsNull() ? std::string() : IntToStr(AsLargeInt()); }

void TIntegerField::SetAsString(const std::string& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  int64_t number;
  if (!TryStrToInt64(value, number)) DatabaseErrorFmt(DBConsts::SInvalidIntegerValue, {value, DisplayName()});
  SetAsLargeInt(number);
}

Variant TIntegerField::AsVariant() {
  return IsNull() ? Variant::Null() : Variant::FromInteger(static_cast<int32_t>(AsLargeInt()));
}

TLargeintField::TLargeintField() : TNumericField(TFieldType::ftLargeint) {}

int64_t TLargeintField::AsLargeInt() {
  uint8_t buffer[8] = {};
  return GetData(buffer) ? LoadLE<int64_t>(buffer) : 0;
}

void TLargeintField::SetAsLargeInt(int64_t value) {
  uint8_t buffer[8];
  StoreLE(buffer, value);
  SetData(buffer);
}

int32_t TLargeintField::AsInteger() {
  const int64_t value = AsLargeInt();
  if (value < std::numeric_limits<int32_t>::min() || value > std::numeric_limits<int32_t>::max())
    RangeError(static_cast<double>(value), std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(value);
}

void TLargeintField::SetAsInteger(int32_t value) { SetAsLargeInt(value); }
double TLargeintField::AsFloat() { return static_cast<double>(AsLargeInt()); }

void TLargeintField::SetAsFloat(double value) {
  constexpr int64_t lowest = std::numeric_limits<int64_t>::min();
  constexpr int64_t highest = std::numeric_limits<int64_t>::max();
  int64_t rounded;
  if (!RoundInRange(value, lowest, highest, rounded))
    RangeError(value, static_cast<double>(lowest), static_cast<double>(highest));
  SetAsLargeInt(rounded);
}

std::string TLargeintField::AsString() { return IsNull() ? std::string() : IntToStr(AsLargeInt()); }

void TLargeintField::SetAsString(const std::string& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  int64_t number;
  if (!TryStrToInt64(value, number)) DatabaseErrorFmt(DBConsts::SInvalidIntegerValue, {value, DisplayName()});
  SetAsLargeInt(number);
}

Variant TLargeintField::AsVariant() { return IsNull() ? Variant::Null() : Variant::FromInt64(AsLargeInt()); }

// ---------------------------------------------------------------------------------------------
// Floating point

TFloatField::TFloatField() : TFloatField(TFieldType::ftFloat) {}
TFloatField::TFloatField(TFieldType dataType) : TNumericField(dataType) {}
TCurrencyField::TCurrencyField() : TFloatField(TFieldType::ftCurrency) { SetCurrency(true); }

double TFloatField::AsFloat() {
  uint8_t buffer[8] = {};
  return GetData(buffer) ? LoadLE<double>(buffer) : 0.0;
}

void TFloatField::SetAsFloat(double value) {
  uint8_t buffer[8];
  StoreLE(buffer, value);
  SetData(buffer);
}

int32_t TFloatField::AsInteger() {
  const double value = AsFloat();
  int64_t rounded;
  if (!RoundInRange(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max(), rounded))
    RangeError(value, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max());
  return static_cast<int32_t>(rounded);
}

void TFloatField::SetAsInteger(int32_t value) { SetAsFloat(value); }

int64_t TFloatField::AsLargeInt() {
  const double value = AsFloat();
  int64_t rounded;
  if (!RoundInRange(value, std::numeric_limits<int64_t>::min(), std::numeric_limits<int64_t>::max(), rounded))
    RangeError(value, static_cast<double>(std::numeric_limits<int64_t>::min()),
               static_cast<double>(std::numeric_limits<int64_t>::max()));
  return rounded;
}

void TFloatField::SetAsLargeInt(int64_t value) { SetAsFloat(static_cast<double>(value)); }

std::string TFloatField::AsString() {
  return IsNull() ? std::string() : FloatToStrF(AsFloat(), TFloatFormat::ffGeneral, Precision_, 0);
}

void TFloatField::SetAsString(const std::string& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  double number;
  if (!TryStrToFloat(value, number, FormatSettings()))
    DatabaseErrorFmt(DBConsts::SInvalidFloatValue, {value, DisplayName()});
  SetAsFloat(number);
}

std::string TFloatField::GetText(bool displayText) {
  if (!displayText || !Currency_ || IsNull()) return AsString();
  return FloatToStrF(AsFloat(), TFloatFormat::ffCurrency, Precision_, FormatSettings().CurrencyDecimals);
}

Variant TFloatField::AsVariant() {
  if (IsNull()) return Variant::Null();
  return Currency_ ? Variant::FromCurrency(AsFloat()) : Variant::FromDouble(AsFloat());
}

// ---------------------------------------------------------------------------------------------
// Booleans

TBooleanField::TBooleanField() : TField(TFieldType::ftBoolean) {}

bool TBooleanField::AsBoolean() {
  uint8_t buffer[2] = {};
  return GetData(buffer) && LoadLE<int16_t>(buffer) != 0;
}

void TBooleanField::SetAsBoolean(bool value) {
  uint8_t buffer[2];
  StoreLE(buffer, static_cast<int16_t>(value ? -1 : 0));
  SetData(buffer);
}

std::string TBooleanField::AsString() {
  if (IsNull()) return {};
  return AsBoolean() ? TrueText_ : FalseText_;
}

void TBooleanField::SetAsString(const std::string& value) {
  if (value.empty()) {
    if (FalseText_.empty()) SetAsBoolean(false);
    else if (TrueText_.empty()) SetAsBoolean(true);
    else Clear();
    return;
  }
  if (AnsiCompareText(value, FalseText_.substr(0, value.size())) == 0) SetAsBoolean(false);
  else if (AnsiCompareText(value, TrueText_.substr(0, value.size())) == 0) SetAsBoolean(true);
  else DatabaseErrorFmt(DBConsts::SInvalidBoolValue, {value, DisplayName()});
}

Variant TBooleanField::AsVariant() { return IsNull() ? Variant::Null() : Variant::FromBoolean(AsBoolean()); }

void TBooleanField::SetDisplayValues(const std::string& value) {
  const size_t separator = value.find(';');
  TrueText_ = value.substr(0, separator);
  FalseText_ = separator == std::string::npos ? std::string() : value.substr(separator + 1);
}

int32_t TBooleanField::DefaultWidth() const {
  return static_cast<int32_t>(std::max(TrueText_.size(), FalseText_.size()));
}

// ---------------------------------------------------------------------------------------------
// Dates and times

TDateTimeField::TDateTimeField() : TDateTimeField(TFieldType::ftDateTime) {}
TDateTimeField::TDateTimeField(TFieldType dataType) : TField(dataType) {}
TDateField::TDateField() : TDateTimeField(TFieldType::ftDate) {}
TTimeField::TTimeField() : TDateTimeField(TFieldType::ftTime) {}

TDateTime TDateTimeField::AsDateTime() {
  uint8_t buffer[8] = {};
  return GetData(buffer) ? NativeToDateTime(DataType(), buffer) : 0.0;
}

void TDateTimeField::SetAsDateTime(TDateTime value) {
  uint8_t buffer[8] = {};
  DateTimeToNative(DataType(), value, buffer);
  SetData(buffer);
}

double TDateTimeField::AsFloat() { return AsDateTime(); }
void TDateTimeField::SetAsFloat(double value) { SetAsDateTime(value); }
std::string TDateTimeField::AsString() { return GetText(false); }

std::string TDateTimeField::GetText(bool displayText) {
  if (IsNull()) return {};
  const TDateTime value = AsDateTime();
  if (displayText && !DisplayFormat_.empty()) return FormatDateTime(DisplayFormat_, value);
  switch (DataType()) {
    case TFieldType::ftDate: return DateToStr(value);
    case TFieldType::ftTime: return TimeToStr(value);
    default: return DateTimeToStr(value);
  }
}

void TDateTimeField::SetAsString(const std::string& value) {
  if (value.empty()) {
    Clear();
    return;
  }
  switch (DataType()) {
    case TFieldType::ftDate: SetAsDateTime(StrToDate(value)); break;
    case TFieldType::ftTime: SetAsDateTime(StrToTime(value)); break;
    default: SetAsDateTime(StrToDateTime(value)); break;
  }
}

Variant TDateTimeField::AsVariant() { return IsNull() ? Variant::Null() : Variant::FromDate(AsDateTime()); }

TSQLTimeStampField::TSQLTimeStampField() : TField(TFieldType::ftTimeStamp) {}

TSQLTimeStamp TSQLTimeStampField::AsSQLTimeStamp() {
  uint8_t buffer[16] = {};
  return GetData(buffer) ? UnpackTimeStamp(buffer) : TSQLTimeStamp{};
}

void TSQLTimeStampField::SetAsSQLTimeStamp(const TSQLTimeStamp& value) {
  uint8_t buffer[16];
  PackTimeStamp(value, buffer);
  SetData(buffer);
}

TDateTime TSQLTimeStampField::AsDateTime() {
  uint8_t buffer[16] = {};
  return GetData(buffer) ? SQLTimeStampToDateTime(UnpackTimeStamp(buffer)) : 0.0;
}

void TSQLTimeStampField::SetAsDateTime(TDateTime value) { SetAsSQLTimeStamp(DateTimeToSQLTimeStamp(value)); }
std::string TSQLTimeStampField::AsString() { return IsNull() ? std::string() : DateTimeToStr(AsDateTime()); }

void TSQLTimeStampField::SetAsString(const std::string& value) {
  if (value.empty()) Clear(); else SetAsDateTime(StrToDateTime(value));
}

Variant TSQLTimeStampField::AsVariant() { return IsNull() ? Variant::Null() : Variant::FromDate(AsDateTime()); }

// ---------------------------------------------------------------------------------------------
// Bytes

TBinaryField::TBinaryField(TFieldType dataType) : TField(dataType) { SetSize(16); }
TBytesField::TBytesField() : TBinaryField(TFieldType::ftBytes) {}
TVarBytesField::TVarBytesField() : TBinaryField(TFieldType::ftVarBytes) {}

std::string TBinaryField::AsString() {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataBufferSize()), 0);
  if (!GetData(buffer.data())) return {};
  size_t offset = 0;
  size_t length = buffer.size();
  if (DataType() == TFieldType::ftVarBytes) {
    if (buffer.size() < 2) return {};
    offset = 2;
    length = std::min<size_t>(LoadLE<uint16_t>(buffer.data()), buffer.size() - 2);
  }
  length = std::min(length, static_cast<size_t>(Size()));
  return std::string(reinterpret_cast<const char*>(buffer.data() + offset), length);
}

void TBinaryField::SetAsString(const std::string& value) {
  std::vector<uint8_t> buffer(static_cast<size_t>(DataSize()), 0);
  const size_t length = std::min(value.size(), static_cast<size_t>(Size()));
  size_t offset = 0;
  if (DataType() == TFieldType::ftVarBytes) {
    StoreLE(buffer.data(), static_cast<uint16_t>(length));
    offset = 2;
  }
  std::memcpy(buffer.data() + offset, value.data(), length);
  SetData(buffer.data());
}

Variant TBinaryField::AsVariant() { return IsNull() ? Variant::Null() : Variant::FromString(AsString()); }

// ---------------------------------------------------------------------------------------------
// BLOBs

TBlobField::TBlobField(TFieldType blobType) : TField(blobType) {}
TMemoField::TMemoField() : TBlobField(TFieldType::ftMemo) {}
TGraphicField::TGraphicField() : TBlobField(TFieldType::ftGraphic) {}
TFmtMemoField::TFmtMemoField() : TMemoField(TFieldType::ftFmtMemo) {}

std::string TBlobField::AsString() {
  TDataSet* dataSet = BlobDataSet(false);
  if (dataSet == nullptr) return {};
  std::unique_ptr<TStream> stream = dataSet->CreateBlobStream(*this, TBlobStreamMode::bmRead);
  if (!stream) return {};
  stream->SetPosition(0);
  return stream->ReadRest();
}

void TBlobField::SetAsString(const std::string& value) {
  TDataSet* dataSet = BlobDataSet(true);
  std::unique_ptr<TStream> stream = dataSet->CreateBlobStream(*this, TBlobStreamMode::bmWrite);
  if (!stream) return;
  stream->SetSize(0);
  stream->WriteBuffer(value.data(), static_cast<int32_t>(value.size()));
}

void TBlobField::Clear() { SetAsString(std::string()); }

Variant TBlobField::AsVariant() { return IsNull() ? Variant::Null() : Variant::FromString(AsString()); }

int64_t TBlobField::BlobSize() {
  TDataSet* dataSet = BlobDataSet(false);
  if (dataSet == nullptr) return 0;
  std::unique_ptr<TStream> stream = dataSet->CreateBlobStream(*this, TBlobStreamMode::bmRead);
  return stream ? stream->Size() : 0;
}

void TBlobField::LoadFromStream(TStream& stream) {
  stream.SetPosition(0);
  SetAsString(stream.ReadRest());
}

void TBlobField::SaveToStream(TStream& stream) {
  const std::string value = AsString();
  stream.WriteBuffer(value.data(), static_cast<int32_t>(value.size()));
}

std::string TBlobField::GetText(bool displayText) {
  if (!displayText) return AsString();
  std::string description = "Blob";
  if (DataType() == TFieldType::ftMemo) description = "Memo";
  else if (DataType() == TFieldType::ftGraphic) description = "Graphic";
  else if (DataType() == TFieldType::ftFmtMemo) description = "FmtMemo";
  if (!IsNull()) description = UpperCase(description);
  return "(" + description + ")";
}

// ---------------------------------------------------------------------------------------------
// Field classes and the field list

std::unique_ptr<TField> CreateDefaultField(TFieldType type) {
  switch (type) {
    case TFieldType::ftString: return std::make_unique<TStringField>();
    case TFieldType::ftFixedChar: {
      auto field = std::make_unique<TStringField>();
      field->SetFixedChar(true);
      return field;
    }
    case TFieldType::ftWideString: return std::make_unique<TWideStringField>();
    case TFieldType::ftSmallint: return std::make_unique<TSmallintField>();
    case TFieldType::ftInteger: return std::make_unique<TIntegerField>();
    case TFieldType::ftWord: return std::make_unique<TWordField>();
    case TFieldType::ftAutoInc: return std::make_unique<TAutoIncField>();
    case TFieldType::ftLargeint: return std::make_unique<TLargeintField>();
    case TFieldType::ftFloat: return std::make_unique<TFloatField>();
    case TFieldType::ftCurrency: return std::make_unique<TCurrencyField>();
    case TFieldType::ftBoolean: return std::make_unique<TBooleanField>();
    case TFieldType::ftDate: return std::make_unique<TDateField>();
    case TFieldType::ftTime: return std::make_unique<TTimeField>();
    case TFieldType::ftDateTime: return std::make_unique<TDateTimeField>();
    case TFieldType::ftTimeStamp: return std::make_unique<TSQLTimeStampField>();
    case TFieldType::ftBytes: return std::make_unique<TBytesField>();
    case TFieldType::ftVarBytes: return std::make_unique<TVarBytesField>();
    case TFieldType::ftMemo:
    case TFieldType::ftOraClob: return std::make_unique<TMemoField>();
    case TFieldType::ftGraphic: return std::make_unique<TGraphicField>();
    case TFieldType::ftFmtMemo: return std::make_unique<TFmtMemoField>();
    default:
      if (IsBlobFieldType(type)) return std::make_unique<TBlobField>(type);
      return nullptr;
  }
}

TFields::~TFields() = default;

TField& TFields::operator[](int32_t index) const {
  if (index < 0 || index >= Count()) DatabaseError(DBConsts::SFieldIndexError, DataSet_);
  return *Items_[static_cast<size_t>(index)];
}

TField& TFields::Add(std::unique_ptr<TField> field) {
  if (DataSet_ != nullptr) DataSet_->CheckInactive();
  if (!field->FieldName().empty() && FindField(field->FieldName()) != nullptr)
    DatabaseErrorFmt(DBConsts::SDuplicateFieldName, {field->FieldName()}, DataSet_);
  field->DataSet_ = DataSet_;
  Items_.push_back(std::move(field));
  return *Items_.back();
}

std::unique_ptr<TField> TFields::Remove(TField& field) {
  if (DataSet_ != nullptr) DataSet_->CheckInactive();
  for (auto it = Items_.begin(); it != Items_.end(); ++it) {
    if (it->get() != &field) continue;
    std::unique_ptr<TField> result = std::move(*it);
    Items_.erase(it);
    result->DataSet_ = nullptr;
    result->FieldNo_ = 0;
    result->DataBufferSize_ = 0;
    result->CalcOffset_ = -1;
    return result;
  }
  return nullptr;
}

void TFields::Clear() {
  if (DataSet_ != nullptr) DataSet_->CheckInactive();
  Items_.clear();
}

TField* TFields::FindField(const std::string& fieldName) const {
  // ASCII names compare by their letters; only names with other characters need the locale
  for (const auto& field : Items_)
    if (SameText(field->FieldName(), fieldName)) return field.get();
  const auto ascii = [](const std::string& s) {
    for (const char c : s)
      if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
  };
  if (ascii(fieldName)) return nullptr;
  for (const auto& field : Items_)
    if (AnsiSameText(field->FieldName(), fieldName)) return field.get();
  return nullptr;
}

TField* TFields::FieldByNumber(int32_t fieldNo) const {
  if (fieldNo <= 0) return nullptr;
  for (const auto& field : Items_)
    if (field->FieldNo() == fieldNo) return field.get();
  return nullptr;
}

int32_t TFields::IndexOf(const TField* field) const {
  for (size_t i = 0; i < Items_.size(); ++i)
    if (Items_[i].get() == field) return static_cast<int32_t>(i);
  return -1;
}
