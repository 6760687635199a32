// Value buffers, conversion between data types, the common-type table, comparison, LIKE and
// the value holder. The holder's stream form is in TarnexVariantStream.cpp.
#include "engine/access/TarnexVariant.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "engine/storage/TarnexExcept.h"
#include "engine/storage/TarnexMemory.h"
#include "platform/rtl/CodePage.h"
#include "platform/rtl/Collation.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"

namespace {

// A value buffer of the memory manager owned for the length of one operation.
struct TValueBuffer {
  void* Ptr = nullptr;
  TValueBuffer() = default;
  explicit TValueBuffer(void* p) : Ptr(p) {}
  TValueBuffer(const TValueBuffer&) = delete;
  TValueBuffer& operator=(const TValueBuffer&) = delete;
  ~TValueBuffer() { Reset(); }
  void* Release() { void* p = Ptr; Ptr = nullptr; return p; }
  void Reset() noexcept {
    if (Ptr != nullptr) {
      try {
        MemoryManager().FreeAndNillMem(Ptr);
      } catch (...) {
        Ptr = nullptr;  // an overrun report cannot leave a destructor; the block is released
      }
    }
  }
};

int32_t FixedSize(TTarnexDataType t) {
  switch (t) {
    case TTarnexDataType::ShortInt: case TTarnexDataType::Byte: return 1;
    case TTarnexDataType::SmallInt: case TTarnexDataType::Word: case TTarnexDataType::Boolean: return 2;
    case TTarnexDataType::Integer: case TTarnexDataType::Cardinal: case TTarnexDataType::Single:
    case TTarnexDataType::Date: case TTarnexDataType::Time: return 4;
    case TTarnexDataType::LargeInt: case TTarnexDataType::Double: case TTarnexDataType::DateTime:
    case TTarnexDataType::Currency: return 8;
    case TTarnexDataType::Extended: return 10;
    default: return 0;
  }
}

bool IsNarrowText(TTarnexDataType t) {
  return t == TTarnexDataType::Char || t == TTarnexDataType::Varchar || t == TTarnexDataType::BLOB ||
         t == TTarnexDataType::Memo;
}

bool IsWideTextType(TTarnexDataType t) {
  return t == TTarnexDataType::WideChar || t == TTarnexDataType::WideVarchar || t == TTarnexDataType::WideMemo;
}

bool IsBytes(TTarnexDataType t) { return t == TTarnexDataType::Bytes || t == TTarnexDataType::VarBytes; }

std::string ReadNarrow(const void* p, int32_t size) {
  const char* s = static_cast<const char*>(p);
  if (size < 0) return std::string(s);
  size_t n = 0;
  while (n < static_cast<size_t>(size) && s[n] != '\0') ++n;
  return std::string(s, n);
}

std::u16string ReadWide(const void* p, int32_t size) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  std::u16string out;
  size_t limit = size < 0 ? std::numeric_limits<size_t>::max() : static_cast<size_t>(size) / 2;
  for (size_t i = 0; i < limit; ++i) {
    char16_t c;
    std::memcpy(&c, b + 2 * i, 2);
    if (c == 0) break;
    out.push_back(c);
  }
  return out;
}

long double ReadExtended(const void* p) {
  static_assert(std::numeric_limits<long double>::digits == 64, "Extended needs the x87 80-bit format");
  long double x = 0;
  std::memcpy(&x, p, 10);
  return x;
}

void WriteExtended(void* p, long double x) { std::memcpy(p, &x, 10); }

TTarnexDateTime ReadDateTime(const void* p) {
  TTarnexDateTime v;
  std::memcpy(&v.Date, p, 4);
  std::memcpy(&v.Time, static_cast<const uint8_t*>(p) + 4, 4);
  return v;
}

void WriteDateTime(void* p, const TTarnexDateTime& v) {
  std::memcpy(p, &v.Date, 4);
  std::memcpy(static_cast<uint8_t*>(p) + 4, &v.Time, 4);
}

int64_t ReadInt(const void* p, TTarnexDataType t) {
  switch (t) {
    case TTarnexDataType::ShortInt: { int8_t v; std::memcpy(&v, p, 1); return v; }
    case TTarnexDataType::SmallInt: { int16_t v; std::memcpy(&v, p, 2); return v; }
    case TTarnexDataType::Integer: case TTarnexDataType::Date: case TTarnexDataType::Time:
      { int32_t v; std::memcpy(&v, p, 4); return v; }
    case TTarnexDataType::LargeInt: { int64_t v; std::memcpy(&v, p, 8); return v; }
    case TTarnexDataType::Byte: { uint8_t v; std::memcpy(&v, p, 1); return v; }
    case TTarnexDataType::Word: { uint16_t v; std::memcpy(&v, p, 2); return v; }
    case TTarnexDataType::Cardinal: { uint32_t v; std::memcpy(&v, p, 4); return v; }
    case TTarnexDataType::Boolean: { int16_t v; std::memcpy(&v, p, 2); return v; }
    default: return 0;
  }
}

long double ReadFloat(const void* p, TTarnexDataType t) {
  switch (t) {
    case TTarnexDataType::Single: { float v; std::memcpy(&v, p, 4); return v; }
    case TTarnexDataType::Double: case TTarnexDataType::Currency: { double v; std::memcpy(&v, p, 8); return v; }
    case TTarnexDataType::Extended: return ReadExtended(p);
    default: return 0;
  }
}

bool IntInRange(int64_t v, TTarnexDataType t) {
  switch (t) {
    case TTarnexDataType::ShortInt: return v >= -128 && v <= 127;
    case TTarnexDataType::SmallInt: return v >= -32768 && v <= 32767;
    case TTarnexDataType::Integer: case TTarnexDataType::Date: case TTarnexDataType::Time:
      return v >= std::numeric_limits<int32_t>::min() && v <= std::numeric_limits<int32_t>::max();
    case TTarnexDataType::LargeInt: return true;
    case TTarnexDataType::Byte: return v >= 0 && v <= 255;
    case TTarnexDataType::Word: return v >= 0 && v <= 65535;
    case TTarnexDataType::Cardinal: return v >= 0 && v <= 4294967295LL;
    default: return false;
  }
}

void WriteInt(void* p, TTarnexDataType t, int64_t v) {
  switch (t) {
    case TTarnexDataType::ShortInt: case TTarnexDataType::Byte: { uint8_t b = static_cast<uint8_t>(v); std::memcpy(p, &b, 1); break; }
    case TTarnexDataType::SmallInt: case TTarnexDataType::Word: case TTarnexDataType::Boolean:
      { uint16_t w = static_cast<uint16_t>(v); std::memcpy(p, &w, 2); break; }
    case TTarnexDataType::Integer: case TTarnexDataType::Cardinal: case TTarnexDataType::Date: case TTarnexDataType::Time:
      { uint32_t d = static_cast<uint32_t>(v); std::memcpy(p, &d, 4); break; }
    case TTarnexDataType::LargeInt: { uint64_t q = static_cast<uint64_t>(v); std::memcpy(p, &q, 8); break; }
    default: break;
  }
}

void WriteFloat(void* p, TTarnexDataType t, long double v) {
  switch (t) {
    case TTarnexDataType::Single: { float f = static_cast<float>(v); std::memcpy(p, &f, 4); break; }
    case TTarnexDataType::Double: case TTarnexDataType::Currency: { double d = static_cast<double>(v); std::memcpy(p, &d, 8); break; }
    case TTarnexDataType::Extended: WriteExtended(p, v); break;
    default: break;
  }
}

bool IsIntType(TTarnexDataType t) { return t >= TTarnexDataType::ShortInt && t <= TTarnexDataType::Cardinal; }
bool IsFloatType(TTarnexDataType t) {
  return t == TTarnexDataType::Single || t == TTarnexDataType::Double || t == TTarnexDataType::Extended;
}

void* NewBuffer(int32_t size) {
  try {
    return MemoryManager().GetMem(size);
  } catch (...) {
    throw ETarnexException(30054, "Cannot copy data into new memory");
  }
}

void* MakeFixed(TTarnexDataType t, const void* bytes, int32_t& size) {
  size = FixedSize(t);
  void* p = NewBuffer(size);
  std::memcpy(p, bytes, static_cast<size_t>(size));
  return p;
}

void* MakeNarrow(const std::string& s, int32_t& size) {
  size = 0;
  if (s.empty()) return nullptr;
  if (s.size() >= static_cast<size_t>(TTarnexMemoryManager::MaxBlockSize))
    throw ETarnexException(30054, "Cannot copy data into new memory");
  int32_t n = static_cast<int32_t>(s.size()) + 1;
  void* p = NewBuffer(n);
  std::memcpy(p, s.data(), s.size());
  static_cast<char*>(p)[s.size()] = '\0';
  size = n;
  return p;
}

void* MakeWide(const std::u16string& s, int32_t& size) {
  size = 0;
  if (s.empty()) return nullptr;
  if (s.size() >= static_cast<size_t>(TTarnexMemoryManager::MaxBlockSize / 2))
    throw ETarnexException(30054, "Cannot copy data into new memory");
  int32_t n = (static_cast<int32_t>(s.size()) + 1) * 2;
  void* p = NewBuffer(n);
  std::memcpy(p, s.data(), s.size() * 2);
  std::memset(static_cast<uint8_t*>(p) + s.size() * 2, 0, 2);
  size = n;
  return p;
}

void* MakeText(TTarnexDataType target, const std::string& s, int32_t& size) {
  if (IsWideTextType(target)) return MakeWide(Cp1252ToUtf16(s), size);
  return MakeNarrow(s, size);
}

void* MakeIntValue(TTarnexDataType target, int64_t v, int32_t& size) {
  if (!IntInRange(v, target)) throw ERangeError();
  uint8_t bytes[8] = {};
  WriteInt(bytes, target, v);
  return MakeFixed(target, bytes, size);
}

void* MakeFloatValue(TTarnexDataType target, long double v, int32_t& size) {
  uint8_t bytes[16] = {};
  WriteFloat(bytes, target, v);
  return MakeFixed(target, bytes, size);
}

void* MakeDateTimeValue(int64_t day, int64_t ms, int32_t& size) {
  if (!IntInRange(day, TTarnexDataType::Integer) || !IntInRange(ms, TTarnexDataType::Integer)) throw ERangeError();
  uint8_t bytes[8];
  WriteDateTime(bytes, TTarnexDateTime{static_cast<int32_t>(day), static_cast<int32_t>(ms)});
  return MakeFixed(TTarnexDataType::DateTime, bytes, size);
}

void* MakeBooleanValue(bool b, int32_t& size) {
  uint8_t bytes[2];
  WriteInt(bytes, TTarnexDataType::Boolean, b ? -1 : 0);
  return MakeFixed(TTarnexDataType::Boolean, bytes, size);
}

// Truncates toward zero; NaN, infinities and values outside the target raise the range error.
int64_t TruncChecked(long double x, TTarnexDataType target) {
  if (std::isnan(x) || !(x > -9223372036854775809.0L && x < 9223372036854775808.0L)) throw ERangeError();
  int64_t v = static_cast<int64_t>(std::trunc(x));
  if (!IntInRange(v, target)) throw ERangeError();
  return v;
}

bool IsPlainTextTarget(TTarnexDataType t) {
  return t == TTarnexDataType::Char || t == TTarnexDataType::WideChar || t == TTarnexDataType::Varchar ||
         t == TTarnexDataType::WideVarchar;
}

// The float parse reads '.' as the decimal separator whatever the locale; the process-wide
// settings are left alone.
const TFormatSettings& DotSettings() {
  static const TFormatSettings settings = [] {
    TFormatSettings s = TFormatSettings::EnUS();
    s.DecimalSeparator = '.';
    return s;
  }();
  return settings;
}

// Rules for a text source (8-bit text in `s`).
void* ConvertFromText(const std::string& s, TTarnexDataType to, int32_t& size, bool& noRule) {
  if (IsNarrowText(to) || IsWideTextType(to)) return MakeText(to, s, size);
  switch (to) {
    case TTarnexDataType::ShortInt: case TTarnexDataType::SmallInt: case TTarnexDataType::Integer:
    case TTarnexDataType::Byte: case TTarnexDataType::Word: case TTarnexDataType::Cardinal:
      return MakeIntValue(to, StrToInt(s), size);
    case TTarnexDataType::LargeInt: return MakeIntValue(to, StrToInt64(s), size);
    case TTarnexDataType::Single: case TTarnexDataType::Double: case TTarnexDataType::Extended:
      return MakeFloatValue(to, StrToFloat(s, DotSettings()), size);
    case TTarnexDataType::Date: return MakeIntValue(to, DateTimeToDayNumber(StrToDate(s)), size);
    case TTarnexDataType::Time: return MakeIntValue(to, DateTimeToMilliseconds(StrToTime(s)), size);
    case TTarnexDataType::DateTime: {
      TDateTime x = StrToDateTime(s);
      return MakeDateTimeValue(DateTimeToDayNumber(x), DateTimeToMilliseconds(x), size);
    }
    case TTarnexDataType::Boolean: {
      std::string u = AnsiUpperCase(s);
      return MakeBooleanValue(u == "1" || u == "TRUE", size);
    }
    case TTarnexDataType::Currency: return MakeFloatValue(to, StrToCurr(s), size);
    default: noRule = true; return nullptr;
  }
}

// Rules for an integer value `v` of an integer, Date or Time source; `asDay`/`asMs` say which
// of the date/time targets take the number as it is.
void* ConvertFromInteger(int64_t v, TTarnexDataType to, int32_t& size, bool& noRule) {
  if (IsPlainTextTarget(to)) return MakeText(to, IntToStr(v), size);
  if (IsIntType(to)) return MakeIntValue(to, v, size);
  if (IsFloatType(to) || to == TTarnexDataType::Currency) return MakeFloatValue(to, static_cast<long double>(v), size);
  switch (to) {
    case TTarnexDataType::Date: case TTarnexDataType::Time: return MakeIntValue(to, v, size);
    case TTarnexDataType::DateTime: return MakeDateTimeValue(v, 0, size);
    case TTarnexDataType::Boolean: return MakeBooleanValue(v != 0, size);
    default: noRule = true; return nullptr;
  }
}

void* ConvertFromFloat(long double x, TTarnexDataType from, TTarnexDataType to, int32_t& size, bool& noRule) {
  bool currency = from == TTarnexDataType::Currency;
  if (IsPlainTextTarget(to))
    return MakeText(to, currency ? CurrToStr(static_cast<double>(x)) : FloatToStr(static_cast<double>(x)), size);
  if (IsIntType(to)) return MakeIntValue(to, TruncChecked(x, to), size);
  if (IsFloatType(to) || to == TTarnexDataType::Currency) return MakeFloatValue(to, x, size);
  if (to == TTarnexDataType::Boolean) return MakeBooleanValue(x != 0, size);
  if (currency) { noRule = true; return nullptr; }
  switch (to) {
    case TTarnexDataType::Date: return MakeIntValue(to, TruncChecked(x, TTarnexDataType::Integer), size);
    case TTarnexDataType::Time: return MakeIntValue(to, TruncChecked(x, TTarnexDataType::LargeInt) % 86400000, size);
    case TTarnexDataType::DateTime: {
      int64_t day = TruncChecked(x, TTarnexDataType::Integer);
      long double frac = x - std::trunc(x);
      return MakeDateTimeValue(day, static_cast<int64_t>(std::trunc(frac * 86400000.0L)), size);
    }
    default: noRule = true; return nullptr;
  }
}

void* ConvertFromDate(int32_t day, TTarnexDataType to, int32_t& size, bool& noRule) {
  if (IsPlainTextTarget(to)) return MakeText(to, DateToStr(DayNumberToDateTime(day, 0)), size);
  if (IsIntType(to) || IsFloatType(to) || to == TTarnexDataType::Currency) return ConvertFromInteger(day, to, size, noRule);
  switch (to) {
    case TTarnexDataType::Time: return MakeIntValue(to, day % 86400000, size);
    case TTarnexDataType::DateTime: return MakeDateTimeValue(day, 0, size);
    case TTarnexDataType::Boolean: return MakeBooleanValue(day >= 0, size);
    default: noRule = true; return nullptr;
  }
}

void* ConvertFromTime(int32_t ms, TTarnexDataType to, int32_t& size, bool& noRule) {
  if (IsPlainTextTarget(to)) {
    size = 0;
    if (ms == 0) return nullptr;  // midnight has no text: the conversion gives no value
    return MakeText(to, TimeToStr(DayNumberToDateTime(DateDelta, ms)), size);
  }
  if (IsIntType(to) || IsFloatType(to) || to == TTarnexDataType::Currency) return ConvertFromInteger(ms, to, size, noRule);
  switch (to) {
    case TTarnexDataType::Date: return MakeIntValue(to, ms, size);
    // A time of day without a date becomes that time on the platform's day zero (1899-12-30),
    // as a platform date value holding only a time does.
    case TTarnexDataType::DateTime: return MakeDateTimeValue(DateDelta, ms, size);
    case TTarnexDataType::Boolean: return MakeBooleanValue(ms != 0, size);
    default: noRule = true; return nullptr;
  }
}

void* ConvertFromDateTime(const TTarnexDateTime& v, TTarnexDataType to, int32_t& size, bool& noRule) {
  if (IsPlainTextTarget(to)) return MakeText(to, DateTimeToStr(DayNumberToDateTime(v.Date, v.Time)), size);
  if (IsIntType(to)) return MakeIntValue(to, v.Date, size);
  if (IsFloatType(to)) return MakeFloatValue(to, v.Date + static_cast<long double>(v.Time) / 86400000.0L, size);
  switch (to) {
    case TTarnexDataType::Date: return MakeIntValue(to, v.Date, size);
    case TTarnexDataType::Time: return MakeIntValue(to, v.Time, size);
    default: noRule = true; return nullptr;
  }
}

void* ConvertFromBoolean(bool b, TTarnexDataType to, int32_t& size, bool& noRule) {
  if (IsPlainTextTarget(to)) return MakeText(to, BoolToStr(b, true), size);
  if (IsIntType(to)) return MakeIntValue(to, b ? 1 : 0, size);
  if (IsFloatType(to)) return MakeFloatValue(to, b ? 1 : 0, size);
  noRule = true;
  return nullptr;
}

ETarnexException CastError(int32_t code, TTarnexDataType from, TTarnexDataType to) {
  return ETarnexException(code, "Cannot cast from '%s' to '%s'", {DataTypeName(from), DataTypeName(to)});
}

void* ConvertRaw(const void* source, int32_t sourceSize, TTarnexDataType from, TTarnexDataType to,
                 int32_t& size, bool& noRule) {
  noRule = false;
  size = 0;
  if (from == TTarnexDataType::Unknown || to == TTarnexDataType::Unknown || IsBytes(from) || IsBytes(to) ||
      static_cast<int>(from) > TarnexDataTypeCount || static_cast<int>(to) > TarnexDataTypeCount) {
    noRule = true;
    return nullptr;
  }
  try {
    if (IsNarrowText(from)) return ConvertFromText(ReadNarrow(source, sourceSize), to, size, noRule);
    if (IsWideTextType(from)) {
      std::u16string w = ReadWide(source, sourceSize);
      if (IsWideTextType(to)) return MakeWide(w, size);
      return ConvertFromText(Utf16ToCp1252(w), to, size, noRule);
    }
    if (from == to) return MakeFixed(to, source, size);
    if (IsIntType(from)) return ConvertFromInteger(ReadInt(source, from), to, size, noRule);
    if (IsFloatType(from) || from == TTarnexDataType::Currency)
      return ConvertFromFloat(ReadFloat(source, from), from, to, size, noRule);
    switch (from) {
      case TTarnexDataType::Date: return ConvertFromDate(static_cast<int32_t>(ReadInt(source, from)), to, size, noRule);
      case TTarnexDataType::Time: return ConvertFromTime(static_cast<int32_t>(ReadInt(source, from)), to, size, noRule);
      case TTarnexDataType::DateTime: return ConvertFromDateTime(ReadDateTime(source), to, size, noRule);
      case TTarnexDataType::Boolean: return ConvertFromBoolean(ReadInt(source, from) != 0, to, size, noRule);
      default: noRule = true; return nullptr;
    }
  } catch (...) {
    throw CastError(30051, from, to);
  }
}

void* ConvertChecked(const void* source, int32_t sourceSize, TTarnexDataType from, TTarnexDataType to, int32_t& size) {
  bool noRule = false;
  void* p = ConvertRaw(source, sourceSize, from, to, size, noRule);
  if (p == nullptr) throw CastError(30052, from, to);
  return p;
}

int32_t CompareSameType(const void* b1, const void* b2, TTarnexDataType t, uint32_t locale, bool ignoreCase,
                        int32_t length) {
  auto order = [](auto a, auto b) -> int32_t {
    return a < b ? TarnexCompareLess : (b < a ? TarnexCompareGreater : TarnexCompareEqual);
  };
  uint32_t flags = SORT_STRINGSORT | (ignoreCase ? NORM_IGNORECASE : 0u);
  switch (t) {
    case TTarnexDataType::Char: case TTarnexDataType::Varchar: {
      int r = CompareStringA(locale, flags, static_cast<const char*>(b1), length, static_cast<const char*>(b2), length);
      if (r < CSTR_LESS_THAN || r > CSTR_GREATER_THAN) throw ETarnexException(30045, "Unknown return code: %d", {r});
      return r == CSTR_LESS_THAN ? TarnexCompareLess : (r == CSTR_EQUAL ? TarnexCompareEqual : TarnexCompareGreater);
    }
    case TTarnexDataType::WideChar: case TTarnexDataType::WideVarchar: {
      int r = CompareStringW(locale, flags, static_cast<const char16_t*>(b1), length,
                             static_cast<const char16_t*>(b2), length);
      if (r < CSTR_LESS_THAN || r > CSTR_GREATER_THAN) throw ETarnexException(30046, "Unknown return code: %d", {r});
      return r == CSTR_LESS_THAN ? TarnexCompareLess : (r == CSTR_EQUAL ? TarnexCompareEqual : TarnexCompareGreater);
    }
    case TTarnexDataType::ShortInt: case TTarnexDataType::SmallInt: case TTarnexDataType::Integer:
    case TTarnexDataType::LargeInt: case TTarnexDataType::Byte: case TTarnexDataType::Word:
    case TTarnexDataType::Cardinal: case TTarnexDataType::Date: case TTarnexDataType::Time:
      return order(ReadInt(b1, t), ReadInt(b2, t));
    case TTarnexDataType::DateTime: {
      TTarnexDateTime a = ReadDateTime(b1), b = ReadDateTime(b2);
      int32_t r = order(a.Date, b.Date);
      return r != TarnexCompareEqual ? r : order(a.Time, b.Time);
    }
    case TTarnexDataType::Single: case TTarnexDataType::Double: case TTarnexDataType::Extended:
    case TTarnexDataType::Currency:
      return order(ReadFloat(b1, t), ReadFloat(b2, t));  // NaN is neither less nor greater: equal
    case TTarnexDataType::Boolean:
      return order(ReadInt(b1, t) != 0, ReadInt(b2, t) != 0);
    default:
      throw ETarnexException(30047, "Unknown DataType: '%s'", {DataTypeName(t)});
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------

TTarnexFieldType CommonFieldType(TTarnexFieldType a, TTarnexFieldType b) {
  TTarnexDataType da = FieldTypeToDataType(a);
  TTarnexDataType db = FieldTypeToDataType(b);
  TTarnexDataType common = CommonDataType(da, db);
  if (da == common) return a;
  if (db == common) return b;
  return DataTypeToFieldType(common);
}

void MakeValueBuffer(TTarnexDataType dataType, const void* source, void*& buffer, int32_t& size) {
  buffer = nullptr;
  size = 0;
  if (IsNarrowText(dataType)) {
    buffer = MakeNarrow(*static_cast<const std::string*>(source), size);
  } else if (IsWideTextType(dataType)) {
    buffer = MakeWide(*static_cast<const std::u16string*>(source), size);
  } else if (IsBytes(dataType)) {
    const std::string& s = *static_cast<const std::string*>(source);
    if (s.empty()) return;
    if (s.size() > static_cast<size_t>(TTarnexMemoryManager::MaxBlockSize))
      throw ETarnexException(30054, "Cannot copy data into new memory");
    int32_t n = static_cast<int32_t>(s.size());
    buffer = NewBuffer(n);
    std::memcpy(buffer, s.data(), s.size());
    size = n;
  } else {
    int32_t n = DataTypeSize(dataType, 0);  // 30050 for Unknown and codes above 24
    buffer = NewBuffer(n);
    std::memcpy(buffer, source, static_cast<size_t>(n));
    size = n;
  }
}

void* ConvertValue(const void* source, TTarnexDataType fromType, TTarnexDataType toType, int32_t& size) {
  return ConvertChecked(source, -1, fromType, toType, size);
}

int32_t CompareValues(const void* buffer1, const void* buffer2, TTarnexDataType type1, uint32_t locale,
                      bool ignoreCase, int32_t length, bool isNull2, bool isNull1, TTarnexDataType type2) {
  if (type2 == TTarnexDataType::Unknown) type2 = type1;
  if (isNull1 && isNull2) return TarnexCompareBothNull;
  if (isNull1) return TarnexCompareFirstNull;
  if (isNull2) return TarnexCompareSecondNull;
  if (type1 == type2) return CompareSameType(buffer1, buffer2, type1, locale, ignoreCase, length);

  TTarnexDataType common = CommonDataType(type1, type2);
  if (common == TTarnexDataType::Unknown)
    throw ETarnexException(30044, "Cannot compare Incompatible DataTypes: '%s' and '%s'",
                           {DataTypeName(type1), DataTypeName(type2)});
  TValueBuffer temp1, temp2;
  auto side = [&](const void* buffer, TTarnexDataType type, TValueBuffer& temp) -> const void* {
    if (type == common) return buffer;
    bool noRule = false;
    int32_t size = 0;
    temp.Ptr = ConvertRaw(buffer, -1, type, common, size, noRule);
    if (noRule) throw ETarnexException(30052, "Cannot cast from '%s' to '%s'", {DataTypeName(type), DataTypeName(common)});
    if (temp.Ptr == nullptr) throw ETarnexException(30140, "Value is Null");
    return temp.Ptr;
  };
  const void* a = side(buffer1, type1, temp1);
  const void* b = side(buffer2, type2, temp2);
  return CompareSameType(a, b, common, locale, ignoreCase, length);
}

int32_t CompareValuesSigned(const void* buffer1, const void* buffer2, TTarnexDataType type1, uint32_t locale,
                            bool ignoreCase, int32_t length, bool isNull2, bool isNull1, TTarnexDataType type2) {
  switch (CompareValues(buffer1, buffer2, type1, locale, ignoreCase, length, isNull2, isNull1, type2)) {
    case TarnexCompareLess: case TarnexCompareFirstNull: return -1;
    case TarnexCompareGreater: case TarnexCompareSecondNull: return 1;
    default: return 0;
  }
}

TTarnexDataType CommonDataType(TTarnexDataType left, TTarnexDataType right) {
  // Row = left operand, column = right operand, codes 1..24.
  static constexpr uint8_t Table[24][24] = {
    { 1,  2,  3,  4,  1,  1,  1,  1,  1,  1,  1,  1,  1,  1, 15, 16, 17,  0,  1,  2,  1,  1,  0,  0},  // Char
    { 2,  2,  2,  4,  2,  2,  2,  2,  2,  2,  2,  2,  2,  2, 15, 16, 17,  0,  1,  2,  2,  2,  0,  0},  // WideChar
    { 3,  2,  3,  4,  3,  3,  3,  3,  3,  3,  3,  3,  3,  3, 15, 16, 17,  0,  1,  2,  3,  3,  0,  0},  // Varchar
    { 4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4,  4, 15, 16, 17,  0,  1,  2,  4,  4,  0,  0},  // WideVarchar
    { 1,  2,  3,  4,  5,  6,  7,  8,  6, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0,  5, 22,  0,  0},  // ShortInt
    { 1,  2,  3,  4,  6,  6,  7,  8,  6, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0,  6, 22,  0,  0},  // SmallInt
    { 1,  2,  3,  4,  7,  7,  7,  8,  7,  7,  8, 12, 13, 14, 15, 16, 17,  0,  0,  0,  7, 22,  0,  0},  // Integer
    { 1,  2,  3,  4,  8,  8,  8,  8,  8,  8,  8, 12, 13, 14, 15, 16, 17,  0,  0,  0,  8, 22,  0,  0},  // LargeInt
    { 1,  2,  3,  4,  6,  6,  7,  8,  9, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0,  9, 22,  0,  0},  // Byte
    { 1,  2,  3,  4,  7,  7,  7,  8, 10, 10, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0, 10, 22,  0,  0},  // Word
    { 1,  2,  3,  4,  8,  8,  8,  8, 11, 11, 11, 12, 13, 14, 15, 16, 17,  0,  0,  0, 11, 22,  0,  0},  // Cardinal
    { 1,  2,  3,  4, 12, 12, 12, 12, 12, 12, 12, 12, 13, 14, 15, 16, 17,  0,  0,  0, 12, 22,  0,  0},  // Single
    { 1,  2,  3,  4, 13, 13, 13, 13, 13, 13, 13, 13, 13, 14, 15, 16, 17,  0,  0,  0, 13, 22,  0,  0},  // Double
    { 1,  2,  3,  4, 14, 14, 14, 14, 14, 14, 14, 14, 14, 14, 15, 16, 17,  0,  0,  0, 14, 22,  0,  0},  // Extended
    {15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 15, 17, 17,  0,  0,  0,  0,  0,  0,  0},  // Date
    {16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 16, 17, 16, 17,  0,  0,  0,  0,  0,  0,  0},  // Time
    {17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17, 17,  0,  0,  0,  0,  0,  0,  0},  // DateTime
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // BLOB
    { 1,  2,  3,  4,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 19, 20,  0,  0,  0,  0},  // Memo
    { 2,  2,  4,  4,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0, 20, 20,  0,  0,  0,  0},  // WideMemo
    { 1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14,  0,  0,  0,  0,  0,  0, 21,  0,  0,  0},  // Boolean
    { 1,  2,  3,  4,  5,  6,  7,  8,  9, 10, 11, 12, 13, 14,  0,  0,  0,  0,  0,  0,  0, 22,  0,  0},  // Currency
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // Bytes
    { 0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0,  0},  // VarBytes
  };
  int l = static_cast<int>(left), r = static_cast<int>(right);
  if (l < 1 || l > TarnexDataTypeCount || r < 1 || r > TarnexDataTypeCount) return TTarnexDataType::Unknown;
  return static_cast<TTarnexDataType>(Table[l - 1][r - 1]);
}

// ---------------------------------------------------------------------------------------------
// LIKE

namespace {

bool SameChar(const char& p, const char& t, uint32_t flags) {
  if (p == t) return true;
  return CompareStringA(LOCALE_USER_DEFAULT, flags, &p, 1, &t, 1) == CSTR_EQUAL;
}

bool SameChar(const char16_t& p, const char16_t& t, uint32_t flags) {
  if (p == t) return true;
  return CompareStringW(LOCALE_USER_DEFAULT, flags, &p, 1, &t, 1) == CSTR_EQUAL;
}

// Matches text[ti..] against pattern[pi..]. `failed` remembers (ti, pi) states known not to
// match, so patterns with several '%' stay polynomial.
template <class CharT>
bool MatchFrom(std::basic_string_view<CharT> text, size_t ti, std::basic_string_view<CharT> pattern, size_t pi,
               uint32_t flags, std::vector<uint8_t>& failed) {
  const size_t stride = pattern.size() + 1;
  while (true) {
    if (pattern.size() - pi == 1 && pattern[pi] == CharT('%')) return true;
    if (ti == text.size()) return pi == pattern.size();
    if (pi == pattern.size()) return false;
    CharT c = pattern[pi];
    if (c == CharT('%')) {
      if (failed[ti * stride + pi]) return false;
      for (size_t k = ti; k < text.size(); ++k)
        if (MatchFrom(text, k, pattern, pi + 1, flags, failed)) return true;
      failed[ti * stride + pi] = 1;
      return false;
    }
    if (c != CharT('_') && !SameChar(c, text[ti], flags)) return false;
    ++ti;
    ++pi;
  }
}

template <class CharT>
bool Like(std::basic_string_view<CharT> text, std::basic_string_view<CharT> pattern, bool ignoreCase) {
  uint32_t flags = SORT_STRINGSORT | (ignoreCase ? NORM_IGNORECASE : 0u);
  std::vector<uint8_t> failed;
  if (pattern.find(CharT('%')) != std::basic_string_view<CharT>::npos)
    failed.assign((text.size() + 1) * (pattern.size() + 1), 0);
  return MatchFrom(text, 0, pattern, 0, flags, failed);
}

}  // namespace

bool LikeMatch(std::string_view text, std::string_view pattern, bool ignoreCase) {
  return Like<char>(text, pattern, ignoreCase);
}

bool LikeMatchW(std::u16string_view text, std::u16string_view pattern, bool ignoreCase) {
  return Like<char16_t>(text, pattern, ignoreCase);
}

// ---------------------------------------------------------------------------------------------
// TTarnexVariant

namespace {

enum class TArithOp { Add, Multiply, Divide };

bool IsCheckedIntType(TTarnexDataType t) {
  return t == TTarnexDataType::ShortInt || t == TTarnexDataType::SmallInt || t == TTarnexDataType::Byte ||
         t == TTarnexDataType::Word;
}

// Integer arithmetic of one type: 8- and 16-bit types range-checked, the wider ones wrapping.
int64_t IntOp(TArithOp op, TTarnexDataType t, int64_t a, int64_t b) {
  if (op == TArithOp::Divide) {
    if (b == 0) throw EDivByZero();
    if (b == -1 && ((t == TTarnexDataType::LargeInt && a == std::numeric_limits<int64_t>::min()) ||
                    (t != TTarnexDataType::LargeInt && a == std::numeric_limits<int32_t>::min())))
      throw EIntOverflow();
    int64_t r = a / b;
    if (IsCheckedIntType(t) && !IntInRange(r, t)) throw ERangeError();
    return r;
  }
  if (IsCheckedIntType(t)) {
    int64_t r = op == TArithOp::Add ? a + b : a * b;
    if (!IntInRange(r, t)) throw ERangeError();
    return r;
  }
  if (t == TTarnexDataType::LargeInt) {
    uint64_t ua = static_cast<uint64_t>(a), ub = static_cast<uint64_t>(b);
    return static_cast<int64_t>(op == TArithOp::Add ? ua + ub : ua * ub);
  }
  uint32_t ua = static_cast<uint32_t>(a), ub = static_cast<uint32_t>(b);
  uint32_t r = op == TArithOp::Add ? ua + ub : ua * ub;
  return t == TTarnexDataType::Cardinal ? static_cast<int64_t>(r) : static_cast<int64_t>(static_cast<int32_t>(r));
}

long double FloatOp(TArithOp op, long double a, long double b) {
  switch (op) {
    case TArithOp::Add: return a + b;
    case TArithOp::Multiply: return a * b;
    case TArithOp::Divide: {
      if (b == 0) {
        if (a == 0 || std::isnan(a)) throw EInvalidOp();
        throw EZeroDivide();
      }
      long double r = a / b;
      if (std::isinf(r) && !std::isinf(a)) throw EOverflow();
      return r;
    }
  }
  return 0;
}

int32_t Wrap32(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }

TTarnexDateTime DateTimeOp(TArithOp op, const TTarnexDateTime& x, const TTarnexDateTime& y) {
  int64_t days = 0, ms = 0;
  switch (op) {
    case TArithOp::Add: days = int64_t{x.Date} + y.Date; ms = int64_t{x.Time} + y.Time; break;
    case TArithOp::Multiply: days = int64_t{x.Date} * y.Date; ms = int64_t{x.Time} * y.Time; break;
    case TArithOp::Divide:
      days = IntOp(op, TTarnexDataType::Integer, x.Date, y.Date);
      ms = IntOp(op, TTarnexDataType::Integer, x.Time, y.Time);
      break;
  }
  if (ms > 86399999) {
    days += ms / 86400000;
    ms %= 86400000;
  }
  return TTarnexDateTime{Wrap32(days), Wrap32(ms)};
}

bool HasArithmetic(TTarnexDataType t, bool text) {
  if (IsIntType(t) || IsFloatType(t)) return true;
  switch (t) {
    case TTarnexDataType::Currency: case TTarnexDataType::Date: case TTarnexDataType::Time:
    case TTarnexDataType::DateTime: case TTarnexDataType::Boolean:
      return true;
    default:
      return text && IsTextDataType(t);
  }
}

void WriteVariantText8(void* dest, const void* src, int32_t size) {
  *static_cast<std::string*>(dest) = ReadNarrow(src, size);
}

}  // namespace

TTarnexVariant::TTarnexVariant(TTarnexDataType dataType) : DataType_(dataType) {}

TTarnexVariant::~TTarnexVariant() {
  if (Data_ != nullptr && IsBorrowed_ == 0) {
    try {
      MemoryManager().FreeAndNillMem(Data_);
    } catch (...) {
      // An overrun is reported after the block was released; a destructor cannot pass it on.
    }
  }
}

void TTarnexVariant::ReleaseBuffer() {
  void* p = Data_;
  bool owned = IsBorrowed_ == 0;
  Data_ = nullptr;
  Size_ = 0;
  IsBorrowed_ = 0;
  NullFlag_ = 255;
  if (p != nullptr && owned) MemoryManager().FreeAndNillMem(p);
}

void TTarnexVariant::AdoptBuffer(void* buffer, int32_t size) {
  try {
    ReleaseBuffer();
  } catch (...) {
    Data_ = buffer;
    Size_ = buffer != nullptr ? size : 0;
    NullFlag_ = buffer != nullptr ? 0 : 255;
    throw;
  }
  Data_ = buffer;
  Size_ = buffer != nullptr ? size : 0;
  NullFlag_ = buffer != nullptr ? 0 : 255;
}

void TTarnexVariant::Clear(TTarnexDataType dataType) {
  DataType_ = dataType;
  ReleaseBuffer();
}

void TTarnexVariant::CheckNotNull() const {
  if (IsNull()) throw ETarnexException(30016, "Value is Null");
}

void TTarnexVariant::Resize(int32_t bytes) {
  if (bytes == 0) {
    SetNull();
    return;
  }
  if (Data_ != nullptr && IsBorrowed_ == 0) {
    MemoryManager().ReallocMem(Data_, bytes, true);
  } else {
    void* p = MemoryManager().AllocMem(bytes);
    if (Data_ != nullptr) std::memcpy(p, Data_, static_cast<size_t>(std::min(Size_, bytes)));
    Data_ = p;
    IsBorrowed_ = 0;
  }
  Size_ = bytes;
  NullFlag_ = 0;
}

void TTarnexVariant::Assign(const TTarnexVariant& other, bool copy) {
  if (&other == this) return;
  if (other.IsNull()) {
    Clear(other.DataType_);
    return;
  }
  if (other.Data_ == Data_) {  // other already points at this buffer
    DataType_ = other.DataType_;
    Size_ = other.Size_;
    NullFlag_ = 0;
    return;
  }
  if (copy) {
    TValueBuffer p(NewBuffer(other.Size_));
    std::memcpy(p.Ptr, other.Data_, static_cast<size_t>(other.Size_));
    DataType_ = other.DataType_;
    AdoptBuffer(p.Release(), other.Size_);
    return;
  }
  Clear(other.DataType_);
  Data_ = const_cast<void*>(other.Data_);
  Size_ = other.Size_;
  IsBorrowed_ = 1;
  NullFlag_ = 0;
}

void TTarnexVariant::SetBuffer(const void* pointer, int32_t size, bool copy, TTarnexDataType dataType) {
  if (pointer == nullptr || size <= 0) {
    Clear(dataType);
    return;
  }
  if (pointer == Data_) {  // the variant's own bytes: nothing to move
    DataType_ = dataType;
    Size_ = std::min(Size_, size);
    NullFlag_ = 0;
    return;
  }
  if (!copy) {
    Clear(dataType);
    Data_ = const_cast<void*>(pointer);
    Size_ = size;
    IsBorrowed_ = 1;
    NullFlag_ = 0;
    return;
  }
  if (Data_ != nullptr && IsBorrowed_ == 0 && Size_ == size) {
    std::memmove(Data_, pointer, static_cast<size_t>(size));
  } else {
    TValueBuffer p(NewBuffer(size));
    std::memcpy(p.Ptr, pointer, static_cast<size_t>(size));
    AdoptBuffer(p.Release(), size);
  }
  DataType_ = dataType;
  NullFlag_ = 0;
}

bool TTarnexVariant::GetBuffer(void* destination, int32_t capacity) const {
  if (IsNull()) return false;
  if (capacity != -1 && capacity < Size_) throw ETarnexException(20056, "Buffer size exceeded");
  std::memcpy(destination, Data_, static_cast<size_t>(Size_));
  return true;
}

void TTarnexVariant::SetAs(const void* value, TTarnexDataType valueType) {
  int32_t fixed = FixedSize(valueType);
  if (valueType == DataType_ && fixed > 0 && Data_ != nullptr && IsBorrowed_ == 0 && Size_ == fixed) {
    std::memmove(Data_, value, static_cast<size_t>(fixed));
    NullFlag_ = 0;
    return;
  }
  TTarnexDataType target = DataType_ == TTarnexDataType::Unknown ? valueType : DataType_;
  TValueBuffer p;
  int32_t size = 0;
  try {
    if (target == valueType) {
      MakeValueBuffer(target, value, p.Ptr, size);
    } else if (IsNarrowText(valueType)) {
      const std::string& s = *static_cast<const std::string*>(value);
      if (!s.empty()) p.Ptr = ConvertChecked(s.c_str(), -1, valueType, target, size);
    } else if (IsWideTextType(valueType)) {
      const std::u16string& s = *static_cast<const std::u16string*>(value);
      if (!s.empty()) p.Ptr = ConvertChecked(s.c_str(), -1, valueType, target, size);
    } else {
      p.Ptr = ConvertChecked(value, fixed, valueType, target, size);
    }
  } catch (...) {
    Clear(target);
    throw;
  }
  DataType_ = target;
  AdoptBuffer(p.Release(), size);
}

void TTarnexVariant::GetAs(void* destination, TTarnexDataType wantedType) const {
  CheckNotNull();
  const void* src = Data_;
  int32_t size = Size_;
  TValueBuffer temp;
  if (wantedType != DataType_) {
    temp.Ptr = ConvertChecked(Data_, Size_, DataType_, wantedType, size);
    src = temp.Ptr;
  }
  if (IsNarrowText(wantedType)) {
    WriteVariantText8(destination, src, size);
  } else if (IsWideTextType(wantedType)) {
    *static_cast<std::u16string*>(destination) = ReadWide(src, size);
  } else if (IsBytes(wantedType)) {
    *static_cast<std::string*>(destination) = std::string(static_cast<const char*>(src), static_cast<size_t>(size));
  } else {
    int32_t n = FixedSize(wantedType);
    if (n == 0) n = size;  // an untyped value: its raw bytes
    int32_t copied = std::min(n, size);
    std::memcpy(destination, src, static_cast<size_t>(copied));
    if (copied < n) std::memset(static_cast<uint8_t*>(destination) + copied, 0, static_cast<size_t>(n - copied));
  }
}

// Typed accessors.
int8_t TTarnexVariant::AsShortInt() const { int8_t v; GetAs(&v, TTarnexDataType::ShortInt); return v; }
void TTarnexVariant::SetAsShortInt(int8_t value) { SetAs(&value, TTarnexDataType::ShortInt); }
int16_t TTarnexVariant::AsSmallInt() const { int16_t v; GetAs(&v, TTarnexDataType::SmallInt); return v; }
void TTarnexVariant::SetAsSmallInt(int16_t value) { SetAs(&value, TTarnexDataType::SmallInt); }
int32_t TTarnexVariant::AsInteger() const { int32_t v; GetAs(&v, TTarnexDataType::Integer); return v; }
void TTarnexVariant::SetAsInteger(int32_t value) { SetAs(&value, TTarnexDataType::Integer); }
int64_t TTarnexVariant::AsLargeInt() const { int64_t v; GetAs(&v, TTarnexDataType::LargeInt); return v; }
void TTarnexVariant::SetAsLargeInt(int64_t value) { SetAs(&value, TTarnexDataType::LargeInt); }
uint8_t TTarnexVariant::AsByte() const { uint8_t v; GetAs(&v, TTarnexDataType::Byte); return v; }
void TTarnexVariant::SetAsByte(uint8_t value) { SetAs(&value, TTarnexDataType::Byte); }
uint16_t TTarnexVariant::AsWord() const { uint16_t v; GetAs(&v, TTarnexDataType::Word); return v; }
void TTarnexVariant::SetAsWord(uint16_t value) { SetAs(&value, TTarnexDataType::Word); }
uint32_t TTarnexVariant::AsCardinal() const { uint32_t v; GetAs(&v, TTarnexDataType::Cardinal); return v; }
void TTarnexVariant::SetAsCardinal(uint32_t value) { SetAs(&value, TTarnexDataType::Cardinal); }
float TTarnexVariant::AsSingle() const { float v; GetAs(&v, TTarnexDataType::Single); return v; }
void TTarnexVariant::SetAsSingle(float value) { SetAs(&value, TTarnexDataType::Single); }
double TTarnexVariant::AsDouble() const { double v; GetAs(&v, TTarnexDataType::Double); return v; }
void TTarnexVariant::SetAsDouble(double value) { SetAs(&value, TTarnexDataType::Double); }
double TTarnexVariant::AsCurrency() const { double v; GetAs(&v, TTarnexDataType::Currency); return v; }
void TTarnexVariant::SetAsCurrency(double value) { SetAs(&value, TTarnexDataType::Currency); }

long double TTarnexVariant::AsExtended() const {
  uint8_t bytes[10];
  GetAs(bytes, TTarnexDataType::Extended);
  return ReadExtended(bytes);
}

void TTarnexVariant::SetAsExtended(long double value) {
  uint8_t bytes[10];
  WriteExtended(bytes, value);
  SetAs(bytes, TTarnexDataType::Extended);
}

bool TTarnexVariant::AsBoolean() const {
  int16_t v;
  GetAs(&v, TTarnexDataType::Boolean);
  return v != 0;
}

void TTarnexVariant::SetAsBoolean(bool value) {
  int16_t v = value ? -1 : 0;
  SetAs(&v, TTarnexDataType::Boolean);
}

std::string TTarnexVariant::AsString() const {
  std::string s;
  GetAs(&s, TTarnexDataType::Varchar);
  return s;
}

void TTarnexVariant::SetAsString(const std::string& value) { SetAs(&value, TTarnexDataType::Varchar); }

std::u16string TTarnexVariant::AsWideString() const {
  std::u16string s;
  GetAs(&s, TTarnexDataType::WideVarchar);
  return s;
}

void TTarnexVariant::SetAsWideString(const std::u16string& value) { SetAs(&value, TTarnexDataType::WideVarchar); }

TTarnexDateTime TTarnexVariant::AsDateTimeRaw() const {
  uint8_t bytes[8];
  GetAs(bytes, TTarnexDataType::DateTime);
  return ReadDateTime(bytes);
}

void TTarnexVariant::SetAsDateTimeRaw(const TTarnexDateTime& value) {
  uint8_t bytes[8];
  WriteDateTime(bytes, value);
  SetAs(bytes, TTarnexDataType::DateTime);
}

double TTarnexVariant::AsDate() const {
  int32_t day;
  GetAs(&day, TTarnexDataType::Date);
  return DayNumberToDateTime(day, 0);
}

void TTarnexVariant::SetAsDate(double value) {
  int32_t day = DateTimeToDayNumber(value);
  SetAs(&day, TTarnexDataType::Date);
}

double TTarnexVariant::AsTime() const {
  int32_t ms;
  GetAs(&ms, TTarnexDataType::Time);
  return DayNumberToDateTime(DateDelta, ms);
}

void TTarnexVariant::SetAsTime(double value) {
  int32_t ms = DateTimeToMilliseconds(value);
  SetAs(&ms, TTarnexDataType::Time);
}

double TTarnexVariant::AsDateTime() const {
  TTarnexDateTime v = AsDateTimeRaw();
  return DayNumberToDateTime(v.Date, v.Time);
}

void TTarnexVariant::SetAsDateTime(double value) {
  TTarnexDateTime v{DateTimeToDayNumber(value), DateTimeToMilliseconds(value)};
  if (v.Time >= 86400000) {  // a fraction that rounds up to a whole day
    v.Time -= 86400000;
    v.Date = Wrap32(int64_t{v.Date} + 1);
  }
  SetAsDateTimeRaw(v);
}

Variant TTarnexVariant::AsVariant() const {
  switch (DataType_) {
    case TTarnexDataType::Char: case TTarnexDataType::Varchar: case TTarnexDataType::BLOB: {
      std::string s;
      GetAs(&s, DataType_);
      return Variant::FromString(std::move(s));
    }
    case TTarnexDataType::WideChar: case TTarnexDataType::WideVarchar: {
      std::u16string s;
      GetAs(&s, DataType_);
      return Variant::FromOleStr(std::move(s));
    }
    case TTarnexDataType::ShortInt: return Variant::FromShortInt(AsShortInt());
    case TTarnexDataType::SmallInt: return Variant::FromSmallint(AsSmallInt());
    case TTarnexDataType::Integer: return Variant::FromInteger(AsInteger());
    case TTarnexDataType::LargeInt: return Variant::FromInt64(AsLargeInt());
    case TTarnexDataType::Byte: return Variant::FromByte(AsByte());
    case TTarnexDataType::Word: return Variant::FromWord(AsWord());
    case TTarnexDataType::Cardinal: return Variant::FromLongWord(AsCardinal());
    case TTarnexDataType::Single: case TTarnexDataType::Double: case TTarnexDataType::Extended:
    case TTarnexDataType::Currency:
      return Variant::FromDouble(AsDouble());
    case TTarnexDataType::Date: return Variant::FromDouble(AsDate());
    case TTarnexDataType::Time: return Variant::FromDouble(AsTime());
    case TTarnexDataType::DateTime: return Variant::FromDate(AsDateTime());
    case TTarnexDataType::Boolean: return Variant::FromBoolean(AsBoolean());
    default:
      if (IsNull()) return Variant::Null();
      throw ETarnexException(30114, "Unsupported Variant Type %s", {DataTypeName(DataType_)});
  }
}

void TTarnexVariant::SetAsVariant(const Variant& value) {
  switch (value.VarType()) {
    case TVarType::varNull: SetNull(); break;
    case TVarType::varSmallint: SetAsSmallInt(static_cast<int16_t>(value.AsInt64())); break;
    case TVarType::varInteger: SetAsInteger(static_cast<int32_t>(value.AsInt64())); break;
    case TVarType::varSingle: SetAsSingle(static_cast<float>(value.AsDouble())); break;
    case TVarType::varDouble: SetAsDouble(value.AsDouble()); break;
    case TVarType::varCurrency: SetAsCurrency(value.AsDouble()); break;
    case TVarType::varDate: SetAsDateTime(value.AsDouble()); break;
    case TVarType::varOleStr: SetAsWideString(value.AsWideString()); break;
    case TVarType::varBoolean: SetAsBoolean(value.AsBoolean()); break;
    case TVarType::varShortInt: SetAsShortInt(static_cast<int8_t>(value.AsInt64())); break;
    case TVarType::varByte: SetAsByte(static_cast<uint8_t>(value.AsInt64())); break;
    case TVarType::varWord: SetAsWord(static_cast<uint16_t>(value.AsInt64())); break;
    case TVarType::varLongWord: SetAsCardinal(static_cast<uint32_t>(value.AsInt64())); break;
    case TVarType::varInt64: SetAsLargeInt(value.AsInt64()); break;
    case TVarType::varString: SetAsString(value.AsString()); break;
    default:
      throw ETarnexException(30113, "Unsupported Variant Type %s",
                             {IntToStr(static_cast<int64_t>(value.VarType()))});
  }
}

void TTarnexVariant::ConvertTo(TTarnexDataType dataType) {
  if (DataType_ == dataType) return;
  if (IsNull()) {
    Clear(dataType);
    return;
  }
  int32_t size = 0;
  TValueBuffer p(ConvertChecked(Data_, Size_, DataType_, dataType, size));
  DataType_ = dataType;
  AdoptBuffer(p.Release(), size);
}

void TTarnexVariant::ChangeDataType(TTarnexDataType dataType) {
  try {
    ConvertTo(dataType);
  } catch (const ETarnexException&) {
    Clear(dataType);
  }
}

int32_t TTarnexVariant::TextLength() const {
  if (IsNull() || !IsTextDataType(DataType_)) return -1;
  return IsWideTextDataType(DataType_) ? Size_ / 2 - 1 : Size_ - 1;
}

bool TTarnexVariant::IsNumeric() const { return IsNumericDataType(DataType_); }
bool TTarnexVariant::IsText() const { return IsTextDataType(DataType_); }
bool TTarnexVariant::IsWideText() const { return IsWideTextDataType(DataType_); }

int32_t TTarnexVariant::Compare(const TTarnexVariant& other, bool raw, bool prefixOnly, bool ignoreCase) const {
  bool null1 = IsNull(), null2 = other.IsNull();
  int32_t length = prefixOnly ? std::min(TextLength(), other.TextLength()) : -1;
  // An untyped other would read as "same type as self" below; it has no common type with a
  // typed value.
  if (!null1 && !null2 && other.DataType_ == TTarnexDataType::Unknown && DataType_ != TTarnexDataType::Unknown)
    throw ETarnexException(30044, "Cannot compare Incompatible DataTypes: '%s' and '%s'",
                           {DataTypeName(DataType_), DataTypeName(other.DataType_)});
  int32_t r = CompareValues(Data_, other.Data_, DataType_, LOCALE_USER_DEFAULT, ignoreCase, length, null2, null1,
                            other.DataType_);
  if (raw) return r;
  switch (r) {
    case TarnexCompareBothNull: return TarnexCompareEqual;
    case TarnexCompareFirstNull: return TarnexCompareLess;
    case TarnexCompareSecondNull: return TarnexCompareGreater;
    default: return r;
  }
}

void TTarnexVariant::Negate() {
  if (IsNull()) return;
  uint8_t bytes[16] = {};
  switch (DataType_) {
    case TTarnexDataType::ShortInt: case TTarnexDataType::SmallInt: {
      int64_t v = -ReadInt(Data_, DataType_);
      if (!IntInRange(v, DataType_)) throw ERangeError();
      WriteInt(bytes, DataType_, v);
      break;
    }
    case TTarnexDataType::Integer: case TTarnexDataType::Date: case TTarnexDataType::LargeInt: {
      int64_t v = ReadInt(Data_, DataType_);
      if ((DataType_ == TTarnexDataType::LargeInt && v == std::numeric_limits<int64_t>::min()) ||
          (DataType_ != TTarnexDataType::LargeInt && v == std::numeric_limits<int32_t>::min()))
        throw EIntOverflow();
      WriteInt(bytes, DataType_, -v);
      break;
    }
    case TTarnexDataType::Byte: {  // into SmallInt, then stored back as a Byte
      SetAsSmallInt(static_cast<int16_t>(-ReadInt(Data_, DataType_)));
      return;
    }
    case TTarnexDataType::Word: {  // into Integer, then stored back as a Word
      SetAsInteger(static_cast<int32_t>(-ReadInt(Data_, DataType_)));
      return;
    }
    case TTarnexDataType::Cardinal:
      if (ReadInt(Data_, DataType_) != 0) throw EIntOverflow();
      WriteInt(bytes, DataType_, 0);
      break;
    case TTarnexDataType::Single: case TTarnexDataType::Double: case TTarnexDataType::Extended:
    case TTarnexDataType::Currency:
      WriteFloat(bytes, DataType_, -ReadFloat(Data_, DataType_));
      break;
    case TTarnexDataType::Boolean:
      WriteInt(bytes, DataType_, ReadInt(Data_, DataType_) != 0 ? 0 : -1);
      break;
    default:
      throw ETarnexException(30123, "Cannot invert value with not numeric type '%s'", {DataTypeName(DataType_)});
  }
  SetAs(bytes, DataType_);
}

namespace {

// The arithmetic shared by Add, Multiply and Divide once both operands are non-null.
void Arithmetic(TTarnexVariant& self, const TTarnexVariant& other, TArithOp op) {
  static const char* const OpText[] = {"+", "*", "/"};
  static const int32_t OpCode[] = {30124, 30126, 30127};
  int opIndex = static_cast<int>(op);
  TTarnexDataType common = CommonDataType(self.DataType(), other.DataType());
  if (!HasArithmetic(common, op == TArithOp::Add))
    throw ETarnexException(OpCode[opIndex], "Not numeric argument in numeric operator '%s'", {OpText[opIndex]});
  // The right operand is read first: it may borrow the buffer that converting self replaces.
  const void* b = other.Data();
  int32_t bSize = other.Size();
  TValueBuffer temp;
  if (other.DataType() != common) {
    temp.Ptr = ConvertChecked(other.Data(), other.Size(), other.DataType(), common, bSize);
    b = temp.Ptr;
  } else if (other.Data() == self.Data() && self.DataType() != common) {
    temp.Ptr = NewBuffer(bSize);
    std::memcpy(temp.Ptr, other.Data(), static_cast<size_t>(bSize));
    b = temp.Ptr;
  }
  self.ConvertTo(common);
  const void* a = self.Data();
  if (IsWideTextType(common)) {
    std::u16string s = ReadWide(a, self.Size()) + ReadWide(b, bSize);
    self.SetAs(&s, common);
    return;
  }
  if (IsNarrowText(common)) {
    std::string s = ReadNarrow(a, self.Size()) + ReadNarrow(b, bSize);
    self.SetAs(&s, common);
    return;
  }
  uint8_t bytes[16] = {};
  if (IsIntType(common) || common == TTarnexDataType::Date || common == TTarnexDataType::Time) {
    WriteInt(bytes, common, IntOp(op, common, ReadInt(a, common), ReadInt(b, common)));
  } else if (IsFloatType(common) || common == TTarnexDataType::Currency) {
    WriteFloat(bytes, common, FloatOp(op, ReadFloat(a, common), ReadFloat(b, common)));
  } else if (common == TTarnexDataType::DateTime) {
    WriteDateTime(bytes, DateTimeOp(op, ReadDateTime(a), ReadDateTime(b)));
  } else {  // Boolean: logical OR for every operator
    WriteInt(bytes, common, (ReadInt(a, common) != 0 || ReadInt(b, common) != 0) ? -1 : 0);
  }
  self.SetAs(bytes, common);
}

}  // namespace

void TTarnexVariant::Add(const TTarnexVariant& other) {
  if (other.IsNull()) {
    Clear(DataType_);
    return;
  }
  if (IsNull()) {
    Assign(other, true);
    return;
  }
  Arithmetic(*this, other, TArithOp::Add);
}

void TTarnexVariant::Multiply(const TTarnexVariant& other) {
  if (other.IsNull() || IsNull()) {
    Clear(DataType_);
    return;
  }
  Arithmetic(*this, other, TArithOp::Multiply);
}

void TTarnexVariant::Divide(const TTarnexVariant& other) {
  if (other.IsNull() || IsNull()) {
    Clear(DataType_);
    return;
  }
  try {
    Arithmetic(*this, other, TArithOp::Divide);
  } catch (const ETarnexException&) {
    throw;
  } catch (const std::exception& e) {
    throw ETarnexException(30128, "Division error: %s", {std::string(e.what())});
  }
}
