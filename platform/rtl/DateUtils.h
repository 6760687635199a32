// TDateTime: days since 1899-12-30 as a double, the fraction being the time of day; encode,
// decode and the text conversions driven by TFormatSettings.
#pragma once

#include <cstdint>
#include <string>

struct TFormatSettings;

using TDateTime = double;

// EConvertError "Invalid argument to date encode" / "Invalid argument to time encode".
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& value);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& value);
void DecodeDate(TDateTime value, int& year, int& month, int& day);
void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec);
int DayOfWeek(TDateTime value);  // 1 = Sunday .. 7 = Saturday
bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

TDateTime Now();
TDateTime Date();   // today, no time part
TDateTime Time();   // now, no date part

// Delphi FormatDateTime patterns: d dd ddd dddd ddddd(short date) m mm mmm mmmm yy yyyy
// h hh n nn s ss z zzz t(short time) tt(long time) am/pm ampm / : and "quoted" 'quoted' text.
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
// two-digit days and months and two- or four-digit years (two-digit ones through the window),
// any of the date separator, '/', '-' or '.' between parts. A time is h:n[:s[.z]] with an
// optional AM/PM. Failure: EConvertError "'%s' is not a valid date" / "... time" / "... date and time".
TDateTime StrToDate(const std::string& s);
TDateTime StrToDate(const std::string& s, const TFormatSettings& settings);
bool TryStrToDate(const std::string& s, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToTime(const std::string& s);
TDateTime StrToTime(const std::string& s, const TFormatSettings& settings);
bool TryStrToTime(const std::string& s, TDateTime& value, const TFormatSettings& settings);
TDateTime StrToDateTime(const std::string& s);
TDateTime StrToDateTime(const std::string& s, const TFormatSettings& settings);
bool TryStrToDateTime(const std::string& s, TDateTime& value, const TFormatSettings& settings);
