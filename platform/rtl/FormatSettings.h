// The locale's formats: date and time patterns, separators, month and day names, the
// two-digit-year window. One process-wide object; tests set it explicitly.
#pragma once

#include <array>
#include <cstdint>
#include <string>

struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string ShortDateFormat = "M/d/yyyy";   // Delphi pattern letters: d dd ddd dddd m mm mmm mmmm yy yyyy
  std::string LongDateFormat = "dddd, mmmm d, yyyy";
  std::string ShortTimeFormat = "h:nn AMPM";
  std::string LongTimeFormat = "h:nn:ss AMPM";
  std::string TimeAMString = "AM";
  std::string TimePMString = "PM";
  std::string CurrencyString = "$";
  // Placing of the currency string: 0 "$1", 1 "1$", 2 "$ 1", 3 "1 $".
  uint8_t CurrencyFormat = 0;
  // Negative amounts: 0 "($1)", 1 "-$1", 2 "$-1", 3 "$1-", 4 "(1$)", 5 "-1$", 6 "1-$", 7 "1$-",
  // 8 "-1 $", 9 "-$ 1", 10 "1 $-", 11 "$ 1-", 12 "$ -1", 13 "1- $", 14 "($ 1)", 15 "(1 $)".
  uint8_t NegCurrFormat = 0;
  uint8_t CurrencyDecimals = 2;   // decimals of %m
  std::array<std::string, 12> ShortMonthNames{};  // Jan .. Dec
  std::array<std::string, 12> LongMonthNames{};   // January .. December
  std::array<std::string, 7> ShortDayNames{};     // Sun .. Sat
  std::array<std::string, 7> LongDayNames{};      // Sunday .. Saturday
  // Two-digit years: 0 means "years as written (+ century)", otherwise a year yy read as two
  // digits lands in the window [current year - TwoDigitYearCenturyWindow, ... + 100).
  int TwoDigitYearCenturyWindow = 50;

  // The en-US settings (short date M/d/yyyy, '/' and '.', English names).
  static TFormatSettings EnUS();
  // Filled from the process locale (LC_TIME for dates and names, LC_NUMERIC for the separators,
  // LC_MONETARY for the currency; each the process's setting, else the environment's):
  // EnUS() under C, POSIX and C.UTF-8 or when nothing is set.
  static TFormatSettings FromLocale();
  // Filled from one ICU locale ("de_DE", "sv"); EnUS() for "" or a locale ICU does not know.
  // The short date always has a four-digit year ("dd/MM/yyyy" with DateSeparator '.'): '/' and
  // ':' in the patterns stand for DateSeparator and TimeSeparator. Names are Windows-1252.
  static TFormatSettings FromLocaleName(const std::string& icuLocaleName);
};

// The process-wide settings, filled from the locale on first use.
TFormatSettings& FormatSettings();
