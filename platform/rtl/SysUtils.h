// Run-time substitutes for the exception classes, Format and the number and boolean text
// conversions the engine and the program rely on. Narrow text is bytes in Windows-1252.
#pragma once

#include <cstdint>
#include <exception>
#include <initializer_list>
#include <string>
#include <vector>

struct TFormatSettings;

// Base of every exception the system raises; what() is the message.
class Exception : public std::exception {
public:
  explicit Exception(std::string message);
  ~Exception() override;
  const char* what() const noexcept override { return Message_.c_str(); }
  const std::string& Message() const { return Message_; }
  void SetMessage(std::string message) { Message_ = std::move(message); }

private:
  std::string Message_;  // the full message text
};

// The run-time's own failures, named and worded as the run-time names them.
class EConvertError : public Exception { public: using Exception::Exception; };
class EIntError : public Exception { public: using Exception::Exception; };
class ERangeError : public EIntError { public: ERangeError(); using EIntError::EIntError; };      // "Range check error"
class EIntOverflow : public EIntError { public: EIntOverflow(); using EIntError::EIntError; };    // "Integer overflow"
class EDivByZero : public EIntError { public: EDivByZero(); using EIntError::EIntError; };        // "Division by zero"
class EMathError : public Exception { public: using Exception::Exception; };
class EZeroDivide : public EMathError { public: EZeroDivide(); using EMathError::EMathError; };   // "Floating point division by zero"
class EInvalidOp : public EMathError { public: EInvalidOp(); using EMathError::EMathError; };     // "Invalid floating point operation"
class EOverflow : public EMathError { public: EOverflow(); using EMathError::EMathError; };       // "Floating point overflow"
class EOutOfMemory : public Exception { public: EOutOfMemory(); using Exception::Exception; };   // "Out of memory"
class EInOutError : public Exception { public: using Exception::Exception; };
class EArgumentException : public Exception { public: using Exception::Exception; };

// One argument of Format: the kinds of value a format directive can take.
struct TVarRec {
  enum class TKind : uint8_t { Integer, Int64, Extended, String, WideString, Char, Pointer, Boolean };
  TKind Kind;
  int64_t IntValue = 0;      // Integer, Int64, Char (the byte), Boolean
  double FloatValue = 0;     // Extended
  std::string StrValue;      // String (Windows-1252 bytes); WideString is stored converted
  const void* PtrValue = nullptr;  // Pointer

  TVarRec(int v) : Kind(TKind::Integer), IntValue(v) {}
  TVarRec(unsigned v) : Kind(TKind::Int64), IntValue(v) {}
  TVarRec(long v) : Kind(TKind::Int64), IntValue(v) {}
  TVarRec(long long v) : Kind(TKind::Int64), IntValue(v) {}
  TVarRec(unsigned long v) : Kind(TKind::Int64), IntValue(static_cast<int64_t>(v)) {}
  TVarRec(unsigned long long v) : Kind(TKind::Int64), IntValue(static_cast<int64_t>(v)) {}
  TVarRec(double v) : Kind(TKind::Extended), FloatValue(v) {}
  TVarRec(char v) : Kind(TKind::Char), IntValue(static_cast<unsigned char>(v)) {}
  TVarRec(bool v) : Kind(TKind::Boolean), IntValue(v ? 1 : 0) {}
  TVarRec(const char* v) : Kind(TKind::String), StrValue(v ? v : "") {}
  TVarRec(std::string v) : Kind(TKind::String), StrValue(std::move(v)) {}
  TVarRec(const std::u16string& v);  // converted to Windows-1252
  TVarRec(const void* v) : Kind(TKind::Pointer), PtrValue(v) {}
};

// Delphi Format: %d %u %x %s %f %g %e %n %m %p %%, with [index:][-][width][.precision],
// '*' taking width or precision from the arguments. A directive whose argument is missing
// or of the wrong kind raises EConvertError ("Format '%s' invalid or incompatible with argument").
// Type letters may be upper or lower case. %d/%u/%x take Integer or Int64 (precision = minimum
// digits, zero-padded; %u and %x read a negative Integer as 32-bit and Int64 as 64-bit two's
// complement); %s takes String, WideString or Char (precision = maximum characters); %f %e %g
// %n %m take Extended (%f %n %m: precision = decimals, default 2 or CurrencyDecimals; %e %g:
// precision = significant digits, default 15); %p takes Pointer (upper-case hex, at least 8
// digits). Width right-aligns with blanks, '-' left-aligns. Floats use FormatSettings().
std::string Format(const std::string& format, std::initializer_list<TVarRec> args);
std::string Format(const std::string& format, const std::vector<TVarRec>& args);
std::string Format(const std::string& format, const std::vector<TVarRec>& args, const TFormatSettings& settings);

// Integers: optional leading blanks, an optional sign, then decimal digits, or hexadecimal digits
// after '$' or "0x" (hexadecimal may use the full unsigned width and wraps: "$FFFFFFFF" is -1 for
// StrToInt). Trailing blanks or other characters are not allowed. Out of range or malformed:
// EConvertError "'%s' is not a valid integer value" with the text.
int32_t StrToInt(const std::string& s);
bool TryStrToInt(const std::string& s, int32_t& value);
int64_t StrToInt64(const std::string& s);
bool TryStrToInt64(const std::string& s, int64_t& value);
std::string IntToStr(int64_t value);
std::string IntToHex(int64_t value, int digits);  // upper case, at least `digits` digits; negative = 64-bit two's complement

// Floating point. StrToFloat reads an optional sign, digits with at most one decimal separator
// and an optional exponent ("1.5E-3"), blanks around allowed, no thousands separators; "NAN",
// "INF" and "-INF" are read back too. StrToFloat reads with the given settings' decimal separator (the variant
// layer passes settings whose separator is '.'); failure: EConvertError
// "'%s' is not a valid floating point value". FloatToStr is the general format with 15
// significant digits and the settings' decimal separator ("1.5", "1E20", "1E-5").
double StrToFloat(const std::string& s);  // process-wide settings
double StrToFloat(const std::string& s, const TFormatSettings& settings);
bool TryStrToFloat(const std::string& s, double& value, const TFormatSettings& settings);
std::string FloatToStr(double value);  // process-wide settings
std::string FloatToStr(double value, const TFormatSettings& settings);

// The float text formats. NaN is "NAN", the infinities "INF" and "-INF" in every format.
//  ffGeneral:  shortest text with `precision` significant digits; scientific ("1.5E20", "1E-5",
//              exponent with at least `digits` digits, sign only when negative) when the decimal
//              exponent exceeds `precision` or the value is below 0.0001.
//  ffExponent: "-d.ddddE+ddd" with `precision` significant digits, exponent of at least `digits`.
//  ffFixed:    "-ddd.dd" with `digits` decimals; ffNumber the same with thousands separators.
//  ffCurrency: ffNumber with `digits` decimals placed per CurrencyFormat / NegCurrFormat.
// Rounding is half away from zero on the value's 18 significant decimal digits.
enum class TFloatFormat : uint8_t { ffGeneral, ffExponent, ffFixed, ffNumber, ffCurrency };
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits);  // process-wide settings
std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits, const TFormatSettings& settings);

// Currency: an amount with 4 decimals. StrToCurr accepts the settings' decimal separator;
// failure: EConvertError "'%s' is not a valid floating point value"; the result is rounded to
// 4 decimals. CurrToStr rounds to 4 decimals and writes the shortest fixed text ("2.5", "3",
// "-0.0001"), never scientific.
double StrToCurr(const std::string& s);
double StrToCurr(const std::string& s, const TFormatSettings& settings);
std::string CurrToStr(double value);
std::string CurrToStr(double value, const TFormatSettings& settings);

// Booleans: "True" / "False" (useBoolStrs) or "-1" / "0".
std::string BoolToStr(bool value, bool useBoolStrs = true);
// "True"/"False" ignoring case, or a number (non-zero = true); EConvertError "'%s' is not a valid boolean value".
bool StrToBool(const std::string& s);
bool TryStrToBool(const std::string& s, bool& value);

// ASCII-only helpers (locale case mapping is in Collation.h).
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);  // ASCII case-insensitive
// Trim* remove blanks and control characters (bytes <= ' ') at the ends.
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
