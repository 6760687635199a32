// Exceptions, integer, boolean and ASCII text helpers.
#include "platform/rtl/SysUtils.h"

#include "platform/rtl/CodePage.h"
#include "platform/rtl/FormatSettings.h"

Exception::Exception(std::string message) : Message_(std::move(message)) {}
Exception::~Exception() = default;

ERangeError::ERangeError() : EIntError("Range check error") {}
EIntOverflow::EIntOverflow() : EIntError("Integer overflow") {}
EDivByZero::EDivByZero() : EIntError("Division by zero") {}
EZeroDivide::EZeroDivide() : EMathError("Floating point division by zero") {}
EInvalidOp::EInvalidOp() : EMathError("Invalid floating point operation") {}
EOverflow::EOverflow() : EMathError("Floating point overflow") {}
EOutOfMemory::EOutOfMemory() : Exception("Out of memory") {}

TVarRec::TVarRec(const std::u16string& v) : Kind(TKind::WideString), StrValue(Utf16ToCp1252(v)) {}

namespace {

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Reads an integer of `bits` (32 or 64) bits; false when malformed or out of range.
bool ParseInteger(const std::string& s, int bits, int64_t& value) {
  size_t i = 0;
  const size_t n = s.size();
  while (i < n && s[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (s[i] == '+' || s[i] == '-')) negative = s[i++] == '-';
  bool hex = false;
  if (i < n && s[i] == '$') {
    hex = true;
    ++i;
  } else if (i + 1 < n && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
    hex = true;
    i += 2;
  }
  if (i == n) return false;
  uint64_t acc = 0;
  if (hex) {
    const uint64_t limit = bits == 32 ? 0xFFFFFFFFull : ~0ull;
    for (; i < n; ++i) {
      const int d = HexDigit(s[i]);
      if (d < 0 || acc > (limit >> 4)) return false;
      acc = (acc << 4) | static_cast<uint64_t>(d);
    }
    value = static_cast<int64_t>(negative ? 0 - acc : acc);
    if (bits == 32) value = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(value)));
    return true;
  }
  const uint64_t limit = (bits == 32 ? 0x7FFFFFFFull : 0x7FFFFFFFFFFFFFFFull) + (negative ? 1 : 0);
  for (; i < n; ++i) {
    if (s[i] < '0' || s[i] > '9') return false;
    const uint64_t d = static_cast<uint64_t>(s[i] - '0');
    if (acc > (limit - d) / 10) return false;
    acc = acc * 10 + d;
  }
  value = negative ? static_cast<int64_t>(0 - acc) : static_cast<int64_t>(acc);
  return true;
}

[[noreturn]] void RaiseInvalidInteger(const std::string& s) {
  throw EConvertError("'" + s + "' is not a valid integer value");
}

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= ' '; }

}  // namespace

bool TryStrToInt(const std::string& s, int32_t& value) {
  int64_t v;
  if (!ParseInteger(s, 32, v)) return false;
  value = static_cast<int32_t>(v);
  return true;
}

int32_t StrToInt(const std::string& s) {
  int32_t v;
  if (!TryStrToInt(s, v)) RaiseInvalidInteger(s);
  return v;
}

bool TryStrToInt64(const std::string& s, int64_t& value) { return ParseInteger(s, 64, value); }

int64_t StrToInt64(const std::string& s) {
  int64_t v;
  if (!TryStrToInt64(s, v)) RaiseInvalidInteger(s);
  return v;
}

std::string IntToStr(int64_t value) { return std::to_string(value); }

std::string IntToHex(int64_t value, int digits) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  auto u = static_cast<uint64_t>(value);
  do {
    out.insert(out.begin(), kHex[u & 0xF]);
    u >>= 4;
  } while (u != 0);
  if (static_cast<int>(out.size()) < digits) out.insert(0, static_cast<size_t>(digits) - out.size(), '0');
  return out;
}

std::string BoolToStr(bool value, bool useBoolStrs) {
  if (useBoolStrs) return value ? "True" : "False";
  return value ? "-1" : "0";
}

bool TryStrToBool(const std::string& s, bool& value) {
  if (SameText(s, "True")) { value = true; return true; }
  if (SameText(s, "False")) { value = false; return true; }
  double d;
  TFormatSettings settings;  // numbers are read with '.' whatever the locale
  if (TryStrToFloat(s, d, settings)) { value = d != 0; return true; }
  return false;
}

bool StrToBool(const std::string& s) {
  bool v;
  if (!TryStrToBool(s, v)) throw EConvertError("'" + s + "' is not a valid boolean value");
  return v;
}

std::string UpperCase(const std::string& s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return out;
}

std::string LowerCase(const std::string& s) {
  std::string out(s);
  for (char& c : out)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return out;
}

bool SameText(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
  }
  return true;
}

std::string TrimLeft(const std::string& s) {
  size_t i = 0;
  while (i < s.size() && IsBlank(s[i])) ++i;
  return s.substr(i);
}

std::string TrimRight(const std::string& s) {
  size_t n = s.size();
  while (n > 0 && IsBlank(s[n - 1])) --n;
  return s.substr(0, n);
}

std::string Trim(const std::string& s) { return TrimRight(TrimLeft(s)); }
