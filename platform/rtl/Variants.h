// A small variant standing for the platform variant in AsVariant: null, the integer widths,
// floats, currency, dates, booleans and strings.
#pragma once

#include "platform/rtl/SysUtils.h"

#include <cstdint>
#include <string>
#include <variant>

// A variant that cannot be read as the kind asked for: EVariantTypeCastError
// "Could not convert variant of type (Null) into type (Int64)" with the two type names.
class EVariantError : public Exception { public: using Exception::Exception; };
class EVariantTypeCastError : public EVariantError { public: using EVariantError::EVariantError; };

// Variant type codes, numbered as the platform numbers them.
enum class TVarType : uint16_t {
  varEmpty = 0x0000, varNull = 0x0001, varSmallint = 0x0002, varInteger = 0x0003,
  varSingle = 0x0004, varDouble = 0x0005, varCurrency = 0x0006, varDate = 0x0007,
  varOleStr = 0x0008, varBoolean = 0x000B, varShortInt = 0x0010, varByte = 0x0011,
  varWord = 0x0012, varLongWord = 0x0013, varInt64 = 0x0014, varString = 0x0100,
};

class Variant {
public:
  Variant() = default;                     // empty
  static Variant Null();
  static Variant FromSmallint(int16_t v);
  static Variant FromInteger(int32_t v);
  static Variant FromSingle(float v);
  static Variant FromDouble(double v);
  static Variant FromCurrency(double v);
  static Variant FromDate(double v);       // a TDateTime
  static Variant FromOleStr(std::u16string v);
  static Variant FromBoolean(bool v);
  static Variant FromShortInt(int8_t v);
  static Variant FromByte(uint8_t v);
  static Variant FromWord(uint16_t v);
  static Variant FromLongWord(uint32_t v);
  static Variant FromInt64(int64_t v);
  static Variant FromString(std::string v);  // Windows-1252 bytes
  static Variant FromType(TVarType type);    // a value of an arbitrary (possibly unsupported) type code

  TVarType VarType() const { return Type_; }
  bool IsNull() const { return Type_ == TVarType::varNull; }
  bool IsEmpty() const { return Type_ == TVarType::varEmpty; }
  // The readers convert: empty reads as 0, false or ""; null and the codes without a value
  // (FromType) raise EVariantTypeCastError, except AsString and AsWideString, which give "".
  int64_t AsInt64() const;        // integer kinds; boolean -1/0; floats truncated; text through StrToInt64
  double AsDouble() const;        // numeric kinds, dates; boolean -1/0; text through StrToFloat
  bool AsBoolean() const;         // non-zero numbers; text through StrToBool
  std::string AsString() const;   // IntToStr, FloatToStr, CurrToStr, DateTimeToStr, "True"/"False" (Windows-1252)
  std::u16string AsWideString() const;
  bool operator==(const Variant& other) const;  // same type code and the same value

  // The platform's name of a type code ("Null", "Int64", "OleStr"); the number for others.
  static std::string TypeName(TVarType type);

private:
  TVarType Type_ = TVarType::varEmpty;                           // the variant type code
  std::variant<std::monostate, int64_t, double, bool, std::string, std::u16string> Value_;  // the value
};
