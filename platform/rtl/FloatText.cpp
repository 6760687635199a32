// Floating point and currency text: FloatToStrF's formats, FloatToStr, StrToFloat, currency.
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <locale.h>

namespace {

// A value as decimal digits: value = 0.Digits x 10^Exponent; Digits has no trailing zeros and
// is empty for zero.
struct TFloatDigits {
  bool Negative = false;
  int Exponent = 0;
  std::string Digits;
};

constexpr int kMaxDigits = 18;

// The value's digits rounded half away from zero to at most `precision` significant digits
// and at most `decimals` digits after the decimal point.
TFloatDigits ToDigits(double value, int precision, int decimals) {
  TFloatDigits r;
  r.Negative = std::signbit(value);
  if (value == 0) { r.Negative = false; return r; }
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*e", kMaxDigits - 1, std::fabs(value));
  std::string digits;
  digits += buf[0];
  const char* p = buf + 2;
  while (*p >= '0' && *p <= '9') digits += *p++;
  r.Exponent = std::atoi(p + 1) + 1;
  int n = std::min(precision, r.Exponent + decimals);
  n = std::min(n, kMaxDigits);
  if (n < 0) { r.Negative = false; r.Exponent = 0; return r; }
  const bool up = n < static_cast<int>(digits.size()) && digits[static_cast<size_t>(n)] >= '5';
  digits.resize(static_cast<size_t>(n));
  if (up) {
    int i = n - 1;
    while (i >= 0 && digits[static_cast<size_t>(i)] == '9') digits[static_cast<size_t>(i--)] = '0';
    if (i >= 0) {
      ++digits[static_cast<size_t>(i)];
    } else {
      digits.insert(digits.begin(), '1');
      ++r.Exponent;
    }
  }
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (digits.empty()) { r.Negative = false; r.Exponent = 0; }
  r.Digits = std::move(digits);
  return r;
}

char DigitAt(const TFloatDigits& d, int i) {
  return i >= 0 && i < static_cast<int>(d.Digits.size()) ? d.Digits[static_cast<size_t>(i)] : '0';
}

std::string ExponentText(int exponent, int minDigits, bool plusSign) {
  std::string out = exponent < 0 ? "-" : (plusSign ? "+" : "");
  std::string e = std::to_string(std::abs(exponent));
  if (static_cast<int>(e.size()) < minDigits) e.insert(0, static_cast<size_t>(minDigits) - e.size(), '0');
  return out + e;
}

std::string ScientificText(const TFloatDigits& d, int shownDigits, int expDigits, bool plusSign,
                           const TFormatSettings& settings) {
  std::string out = d.Negative ? "-" : "";
  out += DigitAt(d, 0);
  if (shownDigits > 1) {
    out += settings.DecimalSeparator;
    for (int i = 1; i < shownDigits; ++i) out += DigitAt(d, i);
  }
  out += 'E';
  out += ExponentText(d.Digits.empty() ? 0 : d.Exponent - 1, expDigits, plusSign);
  return out;
}

// Integer part (with thousands separators when asked) and `decimals` decimals, no sign.
std::string FixedBody(const TFloatDigits& d, int decimals, bool thousands, const TFormatSettings& settings) {
  std::string intPart(1, '0');
  if (d.Exponent > 0) {
    intPart.clear();
    for (int i = 0; i < d.Exponent; ++i) intPart += DigitAt(d, i);
  }
  if (thousands && settings.ThousandSeparator != '\0') {
    std::string grouped;
    const int len = static_cast<int>(intPart.size());
    for (int i = 0; i < len; ++i) {
      if (i > 0 && (len - i) % 3 == 0) grouped += settings.ThousandSeparator;
      grouped += intPart[static_cast<size_t>(i)];
    }
    intPart = std::move(grouped);
  }
  if (decimals > 0) {
    intPart += settings.DecimalSeparator;
    for (int i = 0; i < decimals; ++i) intPart += DigitAt(d, d.Exponent + i);
  }
  return intPart;
}

std::string GeneralText(double value, int precision, int expDigits, const TFormatSettings& settings) {
  const TFloatDigits d = ToDigits(value, precision, 9999);
  if (d.Digits.empty()) return "0";
  const int count = static_cast<int>(d.Digits.size());
  if (d.Exponent > precision || d.Exponent < -3)
    return ScientificText(d, count, expDigits, false, settings);
  std::string out = d.Negative ? "-" : "";
  out += FixedBody(d, std::max(0, count - d.Exponent), false, settings);
  return out;
}

std::string CurrencyText(const std::string& amount, bool negative, const TFormatSettings& s) {
  const std::string& c = s.CurrencyString;
  if (!negative) {
    switch (s.CurrencyFormat) {
      case 1: return amount + c;
      case 2: return c + " " + amount;
      case 3: return amount + " " + c;
      default: return c + amount;
    }
  }
  switch (s.NegCurrFormat) {
    case 1: return "-" + c + amount;
    case 2: return c + "-" + amount;
    case 3: return c + amount + "-";
    case 4: return "(" + amount + c + ")";
    case 5: return "-" + amount + c;
    case 6: return amount + "-" + c;
    case 7: return amount + c + "-";
    case 8: return "-" + amount + " " + c;
    case 9: return "-" + c + " " + amount;
    case 10: return amount + " " + c + "-";
    case 11: return c + " " + amount + "-";
    case 12: return c + " -" + amount;
    case 13: return amount + "- " + c;
    case 14: return "(" + c + " " + amount + ")";
    case 15: return "(" + amount + " " + c + ")";
    default: return "(" + c + amount + ")";
  }
}

locale_t CLocale() {
  static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return locale;
}

[[noreturn]] void RaiseInvalidFloat(const std::string& s) {
  throw EConvertError("'" + s + "' is not a valid floating point value");
}

}  // namespace

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits,
                        const TFormatSettings& settings) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  precision = std::clamp(precision, 1, kMaxDigits);
  digits = std::clamp(digits, 0, kMaxDigits);
  switch (format) {
    case TFloatFormat::ffGeneral:
      return GeneralText(value, precision, std::min(digits, 4), settings);
    case TFloatFormat::ffExponent:
      return ScientificText(ToDigits(value, precision, 9999), precision, std::min(digits, 4), true, settings);
    case TFloatFormat::ffFixed:
    case TFloatFormat::ffNumber:
    case TFloatFormat::ffCurrency: {
      const TFloatDigits d = ToDigits(value, kMaxDigits, digits);
      if (d.Exponent > precision && format != TFloatFormat::ffCurrency)
        return GeneralText(value, precision, 0, settings);
      const std::string body = FixedBody(d, digits, format != TFloatFormat::ffFixed, settings);
      if (format == TFloatFormat::ffCurrency) return CurrencyText(body, d.Negative, settings);
      return (d.Negative ? "-" : "") + body;
    }
  }
  return std::string();
}

std::string FloatToStrF(double value, TFloatFormat format, int precision, int digits) {
  return FloatToStrF(value, format, precision, digits, FormatSettings());
}

std::string FloatToStr(double value, const TFormatSettings& settings) {
  return FloatToStrF(value, TFloatFormat::ffGeneral, 15, 0, settings);
}

std::string FloatToStr(double value) { return FloatToStr(value, FormatSettings()); }

bool TryStrToFloat(const std::string& s, double& value, const TFormatSettings& settings) {
  size_t i = 0, n = s.size();
  while (i < n && s[i] == ' ') ++i;
  while (n > i && s[n - 1] == ' ') --n;
  std::string text;  // the number respelt for the C locale
  if (i < n && (s[i] == '+' || s[i] == '-')) text += s[i++];
  const std::string rest = UpperCase(s.substr(i, n - i));
  if (rest == "NAN" || rest == "INF") {
    value = rest == "NAN" ? std::nan("") : (text == "-" ? -HUGE_VAL : HUGE_VAL);
    return true;
  }
  int mantissaDigits = 0;
  for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i, ++mantissaDigits) text += s[i];
  if (i < n && s[i] == settings.DecimalSeparator) {
    text += '.';
    for (++i; i < n && s[i] >= '0' && s[i] <= '9'; ++i, ++mantissaDigits) text += s[i];
  }
  if (mantissaDigits == 0) return false;
  if (i < n && (s[i] == 'E' || s[i] == 'e')) {
    text += 'e';
    ++i;
    if (i < n && (s[i] == '+' || s[i] == '-')) text += s[i++];
    int expDigits = 0;
    for (; i < n && s[i] >= '0' && s[i] <= '9'; ++i, ++expDigits) text += s[i];
    if (expDigits == 0) return false;
  }
  if (i != n) return false;
  errno = 0;
  const double v = strtod_l(text.c_str(), nullptr, CLocale());
  if (errno == ERANGE && std::isinf(v)) return false;
  value = v;
  return true;
}

double StrToFloat(const std::string& s, const TFormatSettings& settings) {
  double v;
  if (!TryStrToFloat(s, v, settings)) RaiseInvalidFloat(s);
  return v;
}

double StrToFloat(const std::string& s) { return StrToFloat(s, FormatSettings()); }

double StrToCurr(const std::string& s, const TFormatSettings& settings) {
  double v;
  if (!TryStrToFloat(s, v, settings) || !std::isfinite(v) || std::fabs(v) > 922337203685477.5807)
    RaiseInvalidFloat(s);
  return std::round(v * 10000.0) / 10000.0;
}

double StrToCurr(const std::string& s) { return StrToCurr(s, FormatSettings()); }

std::string CurrToStr(double value, const TFormatSettings& settings) {
  if (!std::isfinite(value)) return FloatToStr(value, settings);
  const long double scaled = std::roundl(static_cast<long double>(value) * 10000.0L);
  if (std::fabs(scaled) >= 9.2e18L) return FloatToStr(value, settings);
  const auto units = static_cast<int64_t>(scaled);
  const uint64_t magnitude = units < 0 ? 0 - static_cast<uint64_t>(units) : static_cast<uint64_t>(units);
  std::string out = units < 0 ? "-" : "";
  out += std::to_string(magnitude / 10000);
  std::string fraction = std::to_string(magnitude % 10000);
  fraction.insert(0, 4 - fraction.size(), '0');
  while (!fraction.empty() && fraction.back() == '0') fraction.pop_back();
  if (!fraction.empty()) out += settings.DecimalSeparator + fraction;
  return out;
}

std::string CurrToStr(double value) { return CurrToStr(value, FormatSettings()); }
