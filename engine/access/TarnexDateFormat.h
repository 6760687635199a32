// Text forms of binary values (base 64 out; base 64 and hexadecimal in) for BLOB constants in
// SQL scripts, and TDateFormater, the date format of the SQL functions TODATE and TOSTRING:
// a format text parsed once into tokens, then used to write and read date-time values.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/rtl/DateUtils.h"

struct TFormatSettings;

// Standard base 64 (alphabet A-Z a-z 0-9 + /, "=" padding to a multiple of four), no line
// breaks. `bytes`: IN, `length` bytes (0 or less gives an empty text).
std::string EncodeBase64(const void* bytes, int32_t length);
std::string EncodeBase64(const std::string& bytes);

// Base 64 text to bytes. Separators (blank, tab, CR, LF and $ ( ) [ ] { } , ; : - _ \ * " ')
// are skipped; the rest is read in groups of four, each "=" in a group giving one byte fewer,
// a short final group completed with "=". Returns false, `bytes` cleared, when the text holds
// any other character. `bytes`: OUT.
bool DecodeBase64(const std::string& text, std::string& bytes);

// Hexadecimal text to bytes, two digits (either case) a byte, high nibble first. The first
// "$", "X" or "x" discards what was decoded before it ("0x1F" = "$1F" = "1F"); later ones,
// "h", "H" and separators (blank, tab, CR, LF and ( ) [ ] { } , ; : - _ / \ * + " ') are
// skipped; a final unpaired digit is dropped. Returns false, `bytes` cleared, when the text
// holds any other character. `bytes`: OUT.
bool DecodeHex(const std::string& text, std::string& bytes);

// Token kinds of a date format (stored as one byte, 0..26). The word of each kind is its
// name, matched ignoring case; Literal is text written and skipped as it is.
enum class TDateFormatTokenKind : uint8_t {
  YYYY = 0,   // year, four digits
  YY = 1,     // year, last two digits; read: < 30 is 20yy, else 19yy
  YEAR = 2,   // as YYYY
  Q = 3,      // quarter 1..4; read: the quarter's first month
  MONTH = 4,  // long month name (not read: skipped)
  MON = 5,    // short month name (skipped)
  MM = 6,     // month, two digits
  M = 7,      // month, no padding
  RM = 8,     // month in Roman numerals (skipped)
  DDD = 9,    // day of the year (skipped)
  DD = 10,    // day of the month, two digits
  DAY = 11,   // long day name (skipped)
  DY = 12,    // short day name (skipped)
  DW = 13,    // day of the week, Monday = 1 .. Sunday = 7 (skipped)
  D = 14,     // day of the month, no padding
  HH12 = 15,  // hour modulo 12, two digits
  HH24 = 16,  // hour 0..23, two digits
  HH = 17,    // as HH12
  H12 = 18,   // hour modulo 12, no padding
  H24 = 19,   // hour 0..23, no padding
  H = 20,     // as H12
  NN = 21,    // minutes, two digits
  N = 22,     // minutes, no padding
  SS = 23,    // seconds, two digits
  S = 24,     // seconds, no padding
  AMPM = 25,  // "AM" / "PM"; read: "PM" adds 12 to the hour
  Literal = 26,
};

struct TDateFormatToken {
  TDateFormatTokenKind Kind = TDateFormatTokenKind::Literal;
  std::string Text;  // the word as written in the format, or the literal text
};

class TDateFormater {
public:
  // Parses `format` into Tokens (see ParseFormat).
  explicit TDateFormater(const std::string& format);

  // Replaces Tokens by the tokens of `format`: outside quotes the longest word (up to five
  // letters, any case) at each position is a token and other characters gather into literals;
  // text in single or double quotes is one literal (an unterminated quote runs to the end).
  void ParseFormat(const std::string& format);

  // `value` written token by token; names from `settings` (default: FormatSettings()).
  std::string FormatDate(TDateTime value) const;
  std::string FormatDate(TDateTime value, const TFormatSettings& settings) const;

  // Reads `text` token by token: fixed-width fields take their width, the one-or-two digit
  // fields take a second character only when it is a digit, names, Roman months, day numbers
  // of the year or week and literals skip their text's length. A date with year, month or day
  // 0 is the zero date (1899-12-30). Failures: EConvertError "'%s' is not a valid integer
  // value"; ERangeError for a number outside 0..65535; EConvertError "Invalid argument to
  // date encode" / "... time encode"; 30129 "AM/PM word expected, but '%s' found".
  TDateTime ScanDate(const std::string& text) const;

  // Greatest length FormatDate can write: YYYY/YEAR 4, Q 1, MONTH 9, MON 3, RM 4, DDD 3,
  // DAY 12, literal its length, every other word 2; a name token counts the longest name of
  // `settings` (default: FormatSettings()) when that is longer.
  int32_t MaxFormattedLength() const;
  int32_t MaxFormattedLength(const TFormatSettings& settings) const;

  const std::vector<TDateFormatToken>& Tokens() const { return Tokens_; }

private:
  std::vector<TDateFormatToken> Tokens_;  // the parsed format, in order
};
