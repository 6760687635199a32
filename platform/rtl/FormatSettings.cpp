// The en-US settings, the settings of a locale (through ICU) and the process-wide object.
#include "platform/rtl/FormatSettings.h"

#include "platform/rtl/CodePage.h"
#include "platform/rtl/ProcessLocale.h"

#include <unicode/udat.h>
#include <unicode/unum.h>
#include <unicode/uloc.h>

#include <algorithm>
#include <clocale>
#include <memory>
#include <vector>

namespace {

struct TDateFormatCloser {
  void operator()(UDateFormat* f) const { udat_close(f); }
};
struct TNumberFormatCloser {
  void operator()(UNumberFormat* f) const { unum_close(f); }
};
using TDateFormatPtr = std::unique_ptr<UDateFormat, TDateFormatCloser>;
using TNumberFormatPtr = std::unique_ptr<UNumberFormat, TNumberFormatCloser>;

constexpr int32_t kBufferSize = 256;

TDateFormatPtr OpenDateFormat(const std::string& locale, UDateFormatStyle time, UDateFormatStyle date) {
  UErrorCode status = U_ZERO_ERROR;
  TDateFormatPtr f(udat_open(time, date, locale.c_str(), nullptr, 0, nullptr, 0, &status));
  return U_SUCCESS(status) ? std::move(f) : nullptr;
}

std::u16string DatePattern(const UDateFormat* f) {
  UChar buf[kBufferSize];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t len = udat_toPattern(f, false, buf, kBufferSize, &status);
  return U_SUCCESS(status) ? std::u16string(buf, static_cast<size_t>(len)) : std::u16string();
}

std::string DateSymbol(const UDateFormat* f, UDateFormatSymbolType type, int32_t index) {
  UChar buf[kBufferSize];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t len = udat_getSymbols(f, type, index, buf, kBufferSize, &status);
  return U_SUCCESS(status) ? Utf16ToCp1252(std::u16string_view(buf, static_cast<size_t>(len))) : std::string();
}

std::u16string NumberSymbol(const UNumberFormat* f, UNumberFormatSymbol symbol) {
  UChar buf[kBufferSize];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t len = unum_getSymbol(f, symbol, buf, kBufferSize, &status);
  return U_SUCCESS(status) ? std::u16string(buf, static_cast<size_t>(len)) : std::u16string();
}

bool IsSpace(char16_t c) { return c == u' ' || c == 0x00A0 || c == 0x202F || c == 0x2009; }
bool IsLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

// One separator character in the code page: the first non-blank one, `fallback` if none fits.
char SeparatorChar(std::u16string_view text, char fallback) {
  for (char16_t c : text) {
    if (IsSpace(c)) continue;
    const std::string b = Utf16ToCp1252(std::u16string_view(&c, 1));
    return (b[0] == '?' || IsLetter(c) || (c >= u'0' && c <= u'9')) ? fallback : b[0];
  }
  return fallback;
}

// A field of an ICU pattern: its letter and length, or literal text (Letter 0).
struct TPatternPart {
  char16_t Letter = 0;
  int Count = 0;
  std::u16string Text;
};

std::vector<TPatternPart> SplitPattern(const std::u16string& pattern) {
  std::vector<TPatternPart> parts;
  auto literal = [&parts](char16_t c) {
    if (parts.empty() || parts.back().Letter != 0) parts.emplace_back();
    parts.back().Text += c;
  };
  for (size_t i = 0; i < pattern.size();) {
    const char16_t c = pattern[i];
    if (c == u'\'') {
      if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') { literal(u'\''); i += 2; continue; }
      for (++i; i < pattern.size(); ++i) {
        if (pattern[i] != u'\'') { literal(pattern[i]); continue; }
        if (i + 1 < pattern.size() && pattern[i + 1] == u'\'') { literal(u'\''); ++i; continue; }
        break;
      }
      ++i;
    } else if (IsLetter(c)) {
      TPatternPart part;
      part.Letter = c;
      while (i < pattern.size() && pattern[i] == c) { ++part.Count; ++i; }
      parts.push_back(part);
    } else {
      literal(IsSpace(c) ? u' ' : c);
      ++i;
    }
  }
  return parts;
}

// The pattern letters of one ICU field; empty for fields without a counterpart (eras, zones).
std::string FieldLetters(const TPatternPart& p) {
  const auto count = static_cast<size_t>(p.Count);
  switch (p.Letter) {
    case u'y': case u'Y': case u'u': return "yyyy";
    case u'M': case u'L': return std::string(std::min<size_t>(count, 4), 'M');
    case u'd': return count >= 2 ? "dd" : "d";
    case u'E': case u'c': case u'e': return count >= 4 ? "dddd" : "ddd";
    case u'H': case u'h': case u'k': case u'K': return count >= 2 ? "hh" : "h";
    case u'm': return count >= 2 ? "nn" : "n";
    case u's': return count >= 2 ? "ss" : "s";
    case u'S': return "zzz";
    case u'a': case u'b': case u'B': return "AMPM";
    default: return std::string();
  }
}

// An ICU date or time pattern in the Delphi pattern letters; `separator` (the date or time
// separator found in it) is written as its placeholder '/' or ':'.
std::string ConvertPattern(const std::u16string& pattern, char16_t separator, char placeholder) {
  std::string out;
  for (const TPatternPart& p : SplitPattern(pattern)) {
    if (p.Letter != 0) { out += FieldLetters(p); continue; }
    std::string text;
    bool quoted = false;
    for (char16_t c : p.Text) {
      if (c == separator) { text += placeholder; continue; }
      const bool plain = c == u' ' || c == u',' || c == u'.' || c == u'-' || c == u'(' || c == u')';
      const std::string b = Utf16ToCp1252(std::u16string_view(&c, 1));
      if (!plain && !quoted) { text += '"'; quoted = true; }
      if (plain && quoted) { text += '"'; quoted = false; }
      text += b;
    }
    if (quoted) text += '"';
    out += text;
  }
  // Fields left out (an era, a zone) may leave blanks at the ends.
  while (!out.empty() && out.back() == ' ') out.pop_back();
  while (!out.empty() && out.front() == ' ') out.erase(out.begin());
  return out;
}

// The short date as day, month and year fields joined by '/', with its separator.
bool ConvertShortDate(const std::u16string& pattern, TFormatSettings& s) {
  std::vector<std::string> fields;
  std::u16string firstSeparator;
  bool afterField = false;
  for (const TPatternPart& p : SplitPattern(pattern)) {
    if (p.Letter == 0) {
      if (afterField && fields.size() == 1) firstSeparator = p.Text;
      continue;
    }
    const std::string letters = FieldLetters(p);
    if (letters.empty() || letters[0] == 'h' || letters[0] == 'n' || letters[0] == 's') continue;
    if (letters.find("ddd") != std::string::npos) continue;  // a weekday
    fields.push_back(letters);
    afterField = true;
  }
  if (fields.size() != 3) return false;
  s.ShortDateFormat = fields[0] + "/" + fields[1] + "/" + fields[2];
  s.DateSeparator = SeparatorChar(firstSeparator, '/');
  return true;
}

// The separator between the hour and the minutes of a time pattern.
char16_t TimeSeparatorOf(const std::u16string& pattern) {
  const std::vector<TPatternPart> parts = SplitPattern(pattern);
  for (size_t i = 0; i + 2 < parts.size(); ++i) {
    const char16_t l = parts[i].Letter;
    if ((l == u'H' || l == u'h' || l == u'k' || l == u'K') && parts[i + 1].Letter == 0 && parts[i + 2].Letter == u'm') {
      for (char16_t c : parts[i + 1].Text)
        if (!IsSpace(c)) return c;
    }
  }
  return u':';
}

void ReadCurrency(const std::string& locale, TFormatSettings& s) {
  UErrorCode status = U_ZERO_ERROR;
  TNumberFormatPtr f(unum_open(UNUM_CURRENCY, nullptr, 0, locale.c_str(), nullptr, &status));
  if (U_FAILURE(status)) return;
  const std::u16string symbol = NumberSymbol(f.get(), UNUM_CURRENCY_SYMBOL);
  if (!symbol.empty()) s.CurrencyString = Utf16ToCp1252(symbol);
  s.CurrencyDecimals = static_cast<uint8_t>(std::clamp(unum_getAttribute(f.get(), UNUM_FRACTION_DIGITS), 0, 18));
  UChar buf[kBufferSize];
  status = U_ZERO_ERROR;
  const int32_t len = unum_toPattern(f.get(), false, buf, kBufferSize, &status);
  if (U_FAILURE(status)) return;
  std::u16string pattern(buf, static_cast<size_t>(len));
  const bool parentheses = pattern.find(u'(') != std::u16string::npos;
  pattern = pattern.substr(0, pattern.find(u';'));
  const size_t sign = pattern.find(u'\u00A4');
  const size_t digit = pattern.find_first_of(u"#0");
  if (sign == std::u16string::npos || digit == std::u16string::npos) return;
  const bool before = sign < digit;
  const std::u16string between = before ? pattern.substr(sign + 1, digit - sign - 1)
                                        : pattern.substr(pattern.find_last_of(u"#0") + 1, sign - pattern.find_last_of(u"#0") - 1);
  bool space = false;
  for (char16_t c : between) space = space || IsSpace(c);
  s.CurrencyFormat = static_cast<uint8_t>(before ? (space ? 2 : 0) : (space ? 3 : 1));
  if (parentheses) s.NegCurrFormat = static_cast<uint8_t>(before ? (space ? 14 : 0) : (space ? 15 : 4));
  else s.NegCurrFormat = static_cast<uint8_t>(before ? (space ? 9 : 1) : (space ? 8 : 5));
}

void ReadNumbers(const std::string& locale, TFormatSettings& s) {
  UErrorCode status = U_ZERO_ERROR;
  TNumberFormatPtr f(unum_open(UNUM_DECIMAL, nullptr, 0, locale.c_str(), nullptr, &status));
  if (U_FAILURE(status)) return;
  s.DecimalSeparator = SeparatorChar(NumberSymbol(f.get(), UNUM_DECIMAL_SEPARATOR_SYMBOL), '.');
  const std::u16string grouping = NumberSymbol(f.get(), UNUM_GROUPING_SEPARATOR_SYMBOL);
  if (!grouping.empty() && IsSpace(grouping[0])) s.ThousandSeparator = '\xA0';
  else s.ThousandSeparator = SeparatorChar(grouping, s.DecimalSeparator == ',' ? '.' : ',');
}

bool ReadDates(const std::string& locale, TFormatSettings& s) {
  const TDateFormatPtr shortDate = OpenDateFormat(locale, UDAT_NONE, UDAT_SHORT);
  const TDateFormatPtr longDate = OpenDateFormat(locale, UDAT_NONE, UDAT_FULL);
  const TDateFormatPtr shortTime = OpenDateFormat(locale, UDAT_SHORT, UDAT_NONE);
  const TDateFormatPtr longTime = OpenDateFormat(locale, UDAT_MEDIUM, UDAT_NONE);
  if (!shortDate || !longDate || !shortTime || !longTime) return false;
  if (!ConvertShortDate(DatePattern(shortDate.get()), s)) return false;
  s.LongDateFormat = ConvertPattern(DatePattern(longDate.get()), 0, '/');
  const std::u16string shortTimePattern = DatePattern(shortTime.get());
  const char16_t timeSeparator = TimeSeparatorOf(shortTimePattern);
  s.TimeSeparator = SeparatorChar(std::u16string(1, timeSeparator), ':');
  s.ShortTimeFormat = ConvertPattern(shortTimePattern, timeSeparator, ':');
  s.LongTimeFormat = ConvertPattern(DatePattern(longTime.get()), timeSeparator, ':');
  s.TimeAMString = DateSymbol(longTime.get(), UDAT_AM_PMS, 0);
  s.TimePMString = DateSymbol(longTime.get(), UDAT_AM_PMS, 1);
  // The names as they stand alone (nominative), as the month and day name lists hold them.
  for (int i = 0; i < 12; ++i) {
    s.ShortMonthNames[static_cast<size_t>(i)] = DateSymbol(longDate.get(), UDAT_STANDALONE_SHORT_MONTHS, i);
    s.LongMonthNames[static_cast<size_t>(i)] = DateSymbol(longDate.get(), UDAT_STANDALONE_MONTHS, i);
  }
  for (int i = 0; i < 7; ++i) {  // ICU numbers the weekdays from 1 = Sunday
    s.ShortDayNames[static_cast<size_t>(i)] = DateSymbol(longDate.get(), UDAT_STANDALONE_SHORT_WEEKDAYS, i + 1);
    s.LongDayNames[static_cast<size_t>(i)] = DateSymbol(longDate.get(), UDAT_STANDALONE_WEEKDAYS, i + 1);
  }
  return true;
}

// Whether ICU has data of its own for the locale rather than falling back to the root.
bool IcuKnows(const std::string& locale) {
  const int32_t count = uloc_countAvailable();
  std::string language(locale.substr(0, locale.find('_')));
  for (int32_t i = 0; i < count; ++i) {
    const std::string available = uloc_getAvailable(i);
    if (available == locale || available == language) return true;
  }
  return false;
}

}  // namespace

TFormatSettings TFormatSettings::EnUS() {
  TFormatSettings s;
  s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  s.LongMonthNames = {"January", "February", "March", "April", "May", "June",
                      "July", "August", "September", "October", "November", "December"};
  s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  return s;
}

TFormatSettings TFormatSettings::FromLocaleName(const std::string& icuLocaleName) {
  TFormatSettings s = EnUS();
  if (icuLocaleName.empty() || !IcuKnows(icuLocaleName)) return s;
  TFormatSettings read = s;
  if (!ReadDates(icuLocaleName, read)) return s;
  ReadNumbers(icuLocaleName, read);
  ReadCurrency(icuLocaleName, read);
  return read;
}

TFormatSettings TFormatSettings::FromLocale() {
  const std::string timeLocale = rtl_detail::ProcessLocaleName(LC_TIME);
  TFormatSettings s = FromLocaleName(timeLocale);
  const std::string numericLocale = rtl_detail::ProcessLocaleName(LC_NUMERIC);
  if (numericLocale != timeLocale) {
    const TFormatSettings numeric = FromLocaleName(numericLocale);
    s.DecimalSeparator = numeric.DecimalSeparator;
    s.ThousandSeparator = numeric.ThousandSeparator;
  }
  const std::string monetaryLocale = rtl_detail::ProcessLocaleName(LC_MONETARY);
  if (monetaryLocale != timeLocale) {
    const TFormatSettings monetary = FromLocaleName(monetaryLocale);
    s.CurrencyString = monetary.CurrencyString;
    s.CurrencyFormat = monetary.CurrencyFormat;
    s.NegCurrFormat = monetary.NegCurrFormat;
    s.CurrencyDecimals = monetary.CurrencyDecimals;
  }
  return s;
}

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = TFormatSettings::FromLocale();
  return settings;
}
