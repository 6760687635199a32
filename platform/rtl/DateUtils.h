// TDateTime: days since 1899-12-30 as a double, the fraction being the time of day; encode,
// decode and the text conversions driven by TFormatSettings. Before 1899-12-30 the whole part
// counts back and the fraction is still the time of day: -1.25 is 1899-12-29 06:00.
#pragma once

#include <cstdint>
#include <string>

struct TFormatSettings;

using TDateTime = double;

// Years 1..9999; hours 0..23, minutes and seconds 0..59, milliseconds 0..999. Otherwise
// EConvertError "Invalid argument to date encode" / "Invalid argument to time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& value);
// The value is rounded to the millisecond first (23:59:59.9996 is the next day's midnight).
// A value outside years 1..9999 decodes as 0/0/0.
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
// A date (whole number) and a time of day (fraction) as one value, also before 1899-12-30.
TDateTime ComposeDateTime(TDateTime date, TDateTime time);
int DayOfWeek(TDateTime value);  // 1 = Sunday .. 7 = Saturday
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

TDateTime Now();
TDateTime Date();   // today, no time part
TDateTime Time();   // now, no date part

// Delphi FormatDateTime patterns (letters in either case): c (short date, then the long time
// unless midnight) d dd ddd dddd ddddd(short date) dddddd(long date) m mm mmm mmmm (minutes
// when right after an h) yy yyyy h hh n nn s ss z zzz t(short time) tt(long time) am/pm a/p
// (12-hour clock, written in the pattern's case) ampm (TimeAMString/TimePMString) / (date
// separator) : (time separator) and "quoted" 'quoted' text; anything else is copied.
std::string FormatDateTime(const std::string& format, TDateTime value);
std::string FormatDateTime(const std::string& format, TDateTime value, const TFormatSettings& settings);

// Short date format; long time format; date then time (time left out when it is midnight).
std::string DateToStr(TDateTime value);
std::string DateToStr(TDateTime value, const TFormatSettings& settings);
std::string TimeToStr(TDateTime value);
std::string TimeToStr(TDateTime value, const TFormatSettings& settings);
std::string DateTimeToStr(TDateTime value);
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings);

// Reading follows the order of day, month and year in the short date format, accepts one- or
// two-digit days and months and up to four-digit years (one or two digits through the window:
// threshold = current year - TwoDigitYearCenturyWindow, year += threshold div 100 * 100, plus 100
// while below the threshold), any of the date separator, '/', '-' or '.' between parts, blanks
// around. Two numbers are day and month of the current year. A time is h:n[:s[.z]] with an
// optional AM/PM before or after (TimeAMString/TimePMString or "AM"/"PM", any case), the time
// separator or ':' between parts. A date and time is a date, a time, or a date then a time.
// Failure: EConvertError "'%s' is not a valid date" / "... time" / "... date and time".
TDateTime StrToDate(const std::string& s);
TDateTime StrToDate(const std::string& s, const TFormatSettings& settings);
bool TryStrToDate(const std::string& s, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToTime(const std::string& s);
TDateTime StrToTime(const std::string& s, const TFormatSettings& settings);
bool TryStrToTime(const std::string& s, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToDateTime(const std::string& s);
TDateTime StrToDateTime(const std::string& s, const TFormatSettings& settings);
bool TryStrToDateTime(const std::string& s, TDateTime& value, const TFormatSettings& settings);
