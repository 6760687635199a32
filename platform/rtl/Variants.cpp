// The small variant: construction, conversions and equality.
#include "platform/rtl/Variants.h"

#include "platform/rtl/CodePage.h"
#include "platform/rtl/DateUtils.h"
#include "platform/rtl/FormatSettings.h"

#include <cmath>

Variant Variant::Null() { return FromType(TVarType::varNull); }

Variant Variant::FromType(TVarType type) {
  Variant v;
  v.Type_ = type;
  return v;
}

#define TARNEX_VARIANT_FROM(Name, CType, Code, Stored)          \
  Variant Variant::From##Name(CType value) {                    \
    Variant v;                                                  \
    v.Type_ = TVarType::Code;                                   \
    v.Value_ = static_cast<Stored>(value);                      \
    return v;                                                   \
  }
TARNEX_VARIANT_FROM(Smallint, int16_t, varSmallint, int64_t)
TARNEX_VARIANT_FROM(Integer, int32_t, varInteger, int64_t)
TARNEX_VARIANT_FROM(ShortInt, int8_t, varShortInt, int64_t)
TARNEX_VARIANT_FROM(Byte, uint8_t, varByte, int64_t)
TARNEX_VARIANT_FROM(Word, uint16_t, varWord, int64_t)
TARNEX_VARIANT_FROM(LongWord, uint32_t, varLongWord, int64_t)
TARNEX_VARIANT_FROM(Int64, int64_t, varInt64, int64_t)
TARNEX_VARIANT_FROM(Single, float, varSingle, double)
TARNEX_VARIANT_FROM(Double, double, varDouble, double)
TARNEX_VARIANT_FROM(Currency, double, varCurrency, double)
TARNEX_VARIANT_FROM(Date, double, varDate, double)
TARNEX_VARIANT_FROM(Boolean, bool, varBoolean, bool)
#undef TARNEX_VARIANT_FROM

Variant Variant::FromOleStr(std::u16string value) {
  Variant v;
  v.Type_ = TVarType::varOleStr;
  v.Value_ = std::move(value);
  return v;
}

Variant Variant::FromString(std::string value) {
  Variant v;
  v.Type_ = TVarType::varString;
  v.Value_ = std::move(value);
  return v;
}

std::string Variant::TypeName(TVarType type) {
  switch (type) {
    case TVarType::varEmpty: return "Empty";
    case TVarType::varNull: return "Null";
    case TVarType::varSmallint: return "Smallint";
    case TVarType::varInteger: return "Integer";
    case TVarType::varSingle: return "Single";
    case TVarType::varDouble: return "Double";
    case TVarType::varCurrency: return "Currency";
    case TVarType::varDate: return "Date";
    case TVarType::varOleStr: return "OleStr";
    case TVarType::varBoolean: return "Boolean";
    case TVarType::varShortInt: return "ShortInt";
    case TVarType::varByte: return "Byte";
    case TVarType::varWord: return "Word";
    case TVarType::varLongWord: return "LongWord";
    case TVarType::varInt64: return "Int64";
    case TVarType::varString: return "String";
  }
  return std::to_string(static_cast<unsigned>(type));
}

namespace {

[[noreturn]] void RaiseCast(TVarType from, TVarType to) {
  throw EVariantTypeCastError("Could not convert variant of type (" + Variant::TypeName(from) + ") into type (" +
                              Variant::TypeName(to) + ")");
}

}  // namespace

int64_t Variant::AsInt64() const {
  if (Type_ == TVarType::varEmpty) return 0;
  if (const auto* i = std::get_if<int64_t>(&Value_)) return *i;
  if (const auto* d = std::get_if<double>(&Value_)) {
    if (!std::isfinite(*d) || std::fabs(*d) >= 9.2233720368547758e18) RaiseCast(Type_, TVarType::varInt64);
    return static_cast<int64_t>(*d);
  }
  if (const auto* b = std::get_if<bool>(&Value_)) return *b ? -1 : 0;
  if (std::holds_alternative<std::string>(Value_) || std::holds_alternative<std::u16string>(Value_)) {
    int64_t v;
    if (!TryStrToInt64(AsString(), v)) RaiseCast(Type_, TVarType::varInt64);
    return v;
  }
  RaiseCast(Type_, TVarType::varInt64);
}

double Variant::AsDouble() const {
  if (Type_ == TVarType::varEmpty) return 0;
  if (const auto* i = std::get_if<int64_t>(&Value_)) return static_cast<double>(*i);
  if (const auto* d = std::get_if<double>(&Value_)) return *d;
  if (const auto* b = std::get_if<bool>(&Value_)) return *b ? -1 : 0;
  if (std::holds_alternative<std::string>(Value_) || std::holds_alternative<std::u16string>(Value_)) {
    double v;
    if (!TryStrToFloat(AsString(), v, FormatSettings())) RaiseCast(Type_, TVarType::varDouble);
    return v;
  }
  RaiseCast(Type_, TVarType::varDouble);
}

bool Variant::AsBoolean() const {
  if (Type_ == TVarType::varEmpty) return false;
  if (const auto* i = std::get_if<int64_t>(&Value_)) return *i != 0;
  if (const auto* d = std::get_if<double>(&Value_)) return *d != 0;
  if (const auto* b = std::get_if<bool>(&Value_)) return *b;
  if (std::holds_alternative<std::string>(Value_) || std::holds_alternative<std::u16string>(Value_)) {
    bool v;
    if (!TryStrToBool(AsString(), v)) RaiseCast(Type_, TVarType::varBoolean);
    return v;
  }
  RaiseCast(Type_, TVarType::varBoolean);
}

std::string Variant::AsString() const {
  if (const auto* i = std::get_if<int64_t>(&Value_)) return IntToStr(*i);
  if (const auto* d = std::get_if<double>(&Value_)) {
    if (Type_ == TVarType::varCurrency) return CurrToStr(*d);
    if (Type_ == TVarType::varDate) return DateTimeToStr(*d);
    return FloatToStr(*d);
  }
  if (const auto* b = std::get_if<bool>(&Value_)) return BoolToStr(*b, true);
  if (const auto* s = std::get_if<std::string>(&Value_)) return *s;
  if (const auto* w = std::get_if<std::u16string>(&Value_)) return Utf16ToCp1252(*w);
  return std::string();
}

std::u16string Variant::AsWideString() const {
  if (const auto* w = std::get_if<std::u16string>(&Value_)) return *w;
  return Cp1252ToUtf16(AsString());
}

bool Variant::operator==(const Variant& other) const { return Type_ == other.Type_ && Value_ == other.Value_; }
