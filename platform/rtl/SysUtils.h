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
std::string Format(const std::string& format, std::initializer_list<TVarRec> args);
std::string Format(const std::string& format, const std::vector<TVarRec>& args);

// Integers. Decimal, or hexadecimal after '$' (also "0x"); leading and trailing blanks are
// not allowed. Failure: EConvertError "'%s' is not a valid integer value".
int32_t StrToInt(const std::string& s);
bool TryStrToInt(const std::string& s, int32_t& value);
int64_t StrToInt64(const std::string& s);
bool TryStrToInt64(const std::string& s, int64_t& value);
std::string IntToStr(int64_t value);
std::string IntToHex(int64_t value, int digits);  // upper case, at least `digits` digits

// Floating point. StrToFloat reads with the given settings' decimal separator (the variant
// layer passes settings whose separator is '.'); failure: EConvertError
// "'%s' is not a valid floating point value". FloatToStr is the general format with 15
// significant digits and the settings' decimal separator ("1.5", "1E20", "1E-5").
double StrToFloat(const std::string& s);  // process-wide settings
double StrToFloat(const std::string& s, const TFormatSettings& settings);
bool TryStrToFloat(const std::string& s, double& value, const TFormatSettings& settings);
std::string FloatToStr(double value);  // process-wide settings
std::string FloatToStr(double value, const TFormatSettings& settings);

// Currency: an amount with 4 decimals. StrToCurr accepts the settings' decimal separator;
// failure: EConvertError "'%s' is not a valid floating point value". CurrToStr rounds to
// 4 decimals and writes the general format ("2.5", "3").
double StrToCurr(const std::string& s);
double StrToCurr(const std::string& s, const TFormatSettings& settings);
std::string CurrToStr(double value);
std::string CurrToStr(double value, const TFormatSettings& settings);

// Booleans: "True" / "False" (useBoolStrs) or "-1" / "0".
std::string BoolToStr(bool value, bool useBoolStrs = true);
bool StrToBool(const std::string& s);  // "True"/"False"/"-1"/"0"/numbers; EConvertError "'%s' is not a valid boolean value"

// ASCII-only helpers (locale case mapping is in Collation.h).
std::string UpperCase(const std::string& s);
std::string LowerCase(const std::string& s);
bool SameText(const std::string& a, const std::string& b);  // ASCII case-insensitive
std::string Trim(const std::string& s);
std::string TrimLeft(const std::string& s);
std::string TrimRight(const std::string& s);
