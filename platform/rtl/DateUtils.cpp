// TDateTime encoding, decoding and text conversions.
#include "platform/rtl/DateUtils.h"

#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"

#include <chrono>
#include <cmath>
#include <ctime>

namespace {

constexpr int64_t kMSecsPerDay = 86400000;
constexpr int32_t kDateDelta = 693594;  // days from 0001-01-01 (day 1) to 1899-12-30
constexpr int kDaysInMonth[2][12] = {{31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31},
                                     {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31}};

// A value as a day number (1 = 0001-01-01) and milliseconds of the day.
struct TTimeStamp {
  int64_t Date = 0;
  int64_t Time = 0;
};

TTimeStamp ToTimeStamp(TDateTime value) {
  TTimeStamp t;
  if (!std::isfinite(value) || std::fabs(value) > 3.0e6) return t;
  const auto ms = static_cast<int64_t>(std::llround(value * static_cast<double>(kMSecsPerDay)));
  t.Date = kDateDelta + ms / kMSecsPerDay;
  t.Time = (ms < 0 ? -ms : ms) % kMSecsPerDay;
  return t;
}

void DecodeDays(int64_t days, int& year, int& month, int& day) {
  year = month = day = 0;
  if (days <= 0 || days > 3652059) return;  // outside 0001-01-01 .. 9999-12-31
  int64_t t = days - 1;
  int64_t y = 1 + 400 * (t / 146097);
  t %= 146097;
  int64_t i = t / 36524, d = t % 36524;
  if (i == 4) { --i; d += 36524; }
  y += i * 100;
  y += 4 * (d / 1461);
  d %= 1461;
  i = d / 365;
  d %= 365;
  if (i == 4) { --i; d += 365; }
  y += i;
  year = static_cast<int>(y);
  const int* table = kDaysInMonth[IsLeapYear(year) ? 1 : 0];
  int m = 0;
  while (d >= table[m]) d -= table[m++];
  month = m + 1;
  day = static_cast<int>(d) + 1;
}

int CurrentYear() {
  int y, m, d;
  DecodeDate(Date(), y, m, d);
  return y;
}

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Case-insensitive "does text at pos start with word".
bool StartsWithText(const std::string& text, size_t pos, const std::string& word) {
  if (word.empty() || pos + word.size() > text.size()) return false;
  for (size_t i = 0; i < word.size(); ++i)
    if (UpperAscii(text[pos + i]) != UpperAscii(word[i])) return false;
  return true;
}

std::string Number(int value, int digits) {
  std::string s = std::to_string(value);
  if (static_cast<int>(s.size()) < digits) s.insert(0, static_cast<size_t>(digits) - s.size(), '0');
  return s;
}

// Writes `format` for `value`; nested formats (ddddd, c, t) go at most two levels deep.
class TDateTimeWriter {
public:
  TDateTimeWriter(TDateTime value, const TFormatSettings& settings) : Value_(value), Settings_(settings) {
    DecodeDate(value, Year_, Month_, Day_);
    DecodeTime(value, Hour_, Minute_, Second_, MSec_);
  }

  std::string Write(const std::string& format, int level = 0) {
    std::string out;
    if (level >= 3) return out;
    char lastToken = ' ';
    bool use12Hour = false;
    size_t i = 0;
    while (i < format.size()) {
      const char starter = format[i];
      char token = UpperAscii(starter);
      if (token >= 'A' && token <= 'Z') {
        if (token == 'M' && lastToken == 'H') token = 'N';
        lastToken = token;
      }
      const size_t start = i++;
      auto count = [&]() {
        while (i < format.size() && format[i] == starter) ++i;
        return static_cast<int>(i - start);
      };
      switch (token) {
        case 'Y': {
          const int n = count();
          out += n <= 2 ? Number(Year_ % 100, 2) : Number(Year_, 4);
          break;
        }
        case 'M': {
          const int n = count();
          if (n <= 2) out += Number(Month_, n);
          else if (Month_ >= 1) out += n == 3 ? Settings_.ShortMonthNames[static_cast<size_t>(Month_ - 1)]
                                              : Settings_.LongMonthNames[static_cast<size_t>(Month_ - 1)];
          break;
        }
        case 'D': {
          const int n = count();
          const int dow = DayOfWeek(Value_) - 1;
          if (n <= 2) out += Number(Day_, n);
          else if (n == 3) out += Settings_.ShortDayNames[static_cast<size_t>(dow)];
          else if (n == 4) out += Settings_.LongDayNames[static_cast<size_t>(dow)];
          else if (n == 5) out += Write(Settings_.ShortDateFormat, level + 1);
          else out += Write(Settings_.LongDateFormat, level + 1);
          break;
        }
        case 'H': {
          const int n = count();
          // A 12-hour clock when an am/pm marker follows before the next hour field.
          bool quoted = false;
          for (size_t p = i; p < format.size(); ++p) {
            const char c = format[p];
            if (c == '\'' || c == '"') quoted = !quoted;
            if (quoted) continue;
            if (c == 'A' || c == 'a') {
              use12Hour = use12Hour || StartsWithText(format, p, "AM/PM") || StartsWithText(format, p, "A/P") ||
                          StartsWithText(format, p, "AMPM");
              break;
            }
            if (c == 'H' || c == 'h') break;
          }
          int h = Hour_;
          if (use12Hour) h = h == 0 ? 12 : (h > 12 ? h - 12 : h);
          out += Number(h, std::min(n, 2));
          break;
        }
        case 'N': out += Number(Minute_, std::min(count(), 2)); break;
        case 'S': out += Number(Second_, std::min(count(), 2)); break;
        case 'Z': out += Number(MSec_, count() == 1 ? 1 : 3); break;
        case 'T':
          out += Write(count() == 1 ? Settings_.ShortTimeFormat : Settings_.LongTimeFormat, level + 1);
          break;
        case 'C':
          count();
          out += Write(Settings_.ShortDateFormat, level + 1);
          if (Hour_ != 0 || Minute_ != 0 || Second_ != 0 || MSec_ != 0)
            out += " " + Write(Settings_.LongTimeFormat, level + 1);
          break;
        case 'A':
          if (StartsWithText(format, start, "AM/PM")) {
            out += format.substr(start + (Hour_ >= 12 ? 3 : 0), 2);
            i = start + 5;
          } else if (StartsWithText(format, start, "A/P")) {
            out += format.substr(start + (Hour_ >= 12 ? 2 : 0), 1);
            i = start + 3;
          } else if (StartsWithText(format, start, "AMPM")) {
            out += Hour_ < 12 ? Settings_.TimeAMString : Settings_.TimePMString;
            i = start + 4;
          } else {
            out += starter;
          }
          break;
        case '/': out += Settings_.DateSeparator; break;
        case ':': out += Settings_.TimeSeparator; break;
        case '\'':
        case '"': {
          const size_t close = format.find(starter, i);
          const size_t end = close == std::string::npos ? format.size() : close;
          out += format.substr(i, end - i);
          i = close == std::string::npos ? end : end + 1;
          break;
        }
        default: out += starter; break;
      }
    }
    return out;
  }

private:
  TDateTime Value_;
  const TFormatSettings& Settings_;  // names, separators and nested formats, not owned
  int Year_ = 0, Month_ = 0, Day_ = 0, Hour_ = 0, Minute_ = 0, Second_ = 0, MSec_ = 0;
};

// Reads dates and times the way the run-time does.
class TDateTimeReader {
public:
  TDateTimeReader(const std::string& text, const TFormatSettings& settings) : Text_(text), Settings_(settings) {}

  bool AtEnd() {
    SkipBlanks();
    return Pos_ >= Text_.size();
  }
  size_t Pos() const { return Pos_; }
  void SetPos(size_t pos) { Pos_ = pos; }

  bool ReadDate(TDateTime& value) {
    int n1, n2, n3, len1, len2, len3;
    if (!ReadNumber(n1, len1) || !ReadDateSeparator() || !ReadNumber(n2, len2)) return false;
    int year, month, day, yearLength;
    const TDateOrder order = OrderOf(Settings_.ShortDateFormat);
    const size_t beforeThird = Pos_;
    if (ReadDateSeparator() && ReadNumber(n3, len3)) {
      switch (order) {
        case TDateOrder::MDY: month = n1; day = n2; year = n3; yearLength = len3; break;
        case TDateOrder::DMY: day = n1; month = n2; year = n3; yearLength = len3; break;
        default: year = n1; yearLength = len1; month = n2; day = n3; break;
      }
      if (yearLength <= 2) year = WindowYear(year);
    } else {
      Pos_ = beforeThird;
      year = CurrentYear();
      if (order == TDateOrder::DMY) { day = n1; month = n2; }
      else { month = n1; day = n2; }
    }
    return TryEncodeDate(year, month, day, value);
  }

  bool ReadTime(TDateTime& value) {
    int baseHour = ReadAmPm();
    int hour, minute, second = 0, msec = 0, len;
    if (!ReadNumber(hour, len) || !ReadTimeSeparator() || !ReadNumber(minute, len)) return false;
    if (ReadTimeSeparator()) {
      if (!ReadNumber(second, len)) return false;
      SkipBlanks();
      if (Pos_ < Text_.size() && (Text_[Pos_] == Settings_.DecimalSeparator || Text_[Pos_] == '.')) {
        ++Pos_;
        if (!ReadNumber(msec, len)) return false;
      }
    }
    if (baseHour < 0) baseHour = ReadAmPm();
    if (baseHour >= 0) {
      if (hour == 0 || hour > 12) return false;
      hour = hour % 12 + baseHour;
    }
    return TryEncodeTime(hour, minute, second, msec, value);
  }

private:
  enum class TDateOrder { MDY, DMY, YMD };

  static TDateOrder OrderOf(const std::string& format) {
    for (char c : format) {
      const char u = UpperAscii(c);
      if (u == 'D') return TDateOrder::DMY;
      if (u == 'Y') return TDateOrder::YMD;
      if (u == 'M') return TDateOrder::MDY;
    }
    return TDateOrder::MDY;
  }

  int WindowYear(int year) const {
    const int window = Settings_.TwoDigitYearCenturyWindow;
    const int current = CurrentYear();
    if (window <= 0) return year + current / 100 * 100;
    const int threshold = current - window;
    year += threshold / 100 * 100;
    if (year < threshold) year += 100;
    return year;
  }

  void SkipBlanks() {
    while (Pos_ < Text_.size() && Text_[Pos_] == ' ') ++Pos_;
  }

  bool ReadNumber(int& value, int& length) {
    SkipBlanks();
    value = 0;
    length = 0;
    while (Pos_ < Text_.size() && Text_[Pos_] >= '0' && Text_[Pos_] <= '9') {
      if (length == 4) return false;
      value = value * 10 + (Text_[Pos_++] - '0');
      ++length;
    }
    return length > 0;
  }

  bool ReadDateSeparator() {
    SkipBlanks();
    if (Pos_ >= Text_.size()) return false;
    const char c = Text_[Pos_];
    if (c != Settings_.DateSeparator && c != '/' && c != '-' && c != '.') return false;
    ++Pos_;
    return true;
  }

  bool ReadTimeSeparator() {
    SkipBlanks();
    if (Pos_ >= Text_.size() || (Text_[Pos_] != Settings_.TimeSeparator && Text_[Pos_] != ':')) return false;
    ++Pos_;
    return true;
  }

  // 0 after an AM marker, 12 after a PM marker, -1 when there is none.
  int ReadAmPm() {
    SkipBlanks();
    for (const auto& [word, base] : {std::pair<const std::string&, int>{Settings_.TimeAMString, 0},
                                     {Settings_.TimePMString, 12}}) {
      if (StartsWithText(Text_, Pos_, word)) { Pos_ += word.size(); return base; }
    }
    if (StartsWithText(Text_, Pos_, "AM")) { Pos_ += 2; return 0; }
    if (StartsWithText(Text_, Pos_, "PM")) { Pos_ += 2; return 12; }
    return -1;
  }

  const std::string& Text_;         // the text read, not owned
  const TFormatSettings& Settings_;  // order, separators, markers and window, not owned
  size_t Pos_ = 0;                   // the next character to read
};

}  // namespace

bool IsLeapYear(int year) { return year % 4 == 0 && (year % 100 != 0 || year % 400 == 0); }

int DaysInMonth(int year, int month) {
  if (month < 1 || month > 12) return 0;
  return kDaysInMonth[IsLeapYear(year) ? 1 : 0][month - 1];
}

bool TryEncodeDate(int year, int month, int day, TDateTime& value) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month))
    return false;
  const int* table = kDaysInMonth[IsLeapYear(year) ? 1 : 0];
  int64_t days = day;
  for (int m = 0; m < month - 1; ++m) days += table[m];
  const int64_t y = year - 1;
  days += y * 365 + y / 4 - y / 100 + y / 400;
  value = static_cast<double>(days - kDateDelta);
  return true;
}

TDateTime EncodeDate(int year, int month, int day) {
  TDateTime v;
  if (!TryEncodeDate(year, month, day, v)) throw EConvertError("Invalid argument to date encode");
  return v;
}

bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& value) {
  if (hour < 0 || hour > 23 || min < 0 || min > 59 || sec < 0 || sec > 59 || msec < 0 || msec > 999) return false;
  value = static_cast<double>(((hour * 60 + min) * 60 + sec) * 1000 + msec) / static_cast<double>(kMSecsPerDay);
  return true;
}

TDateTime EncodeTime(int hour, int min, int sec, int msec) {
  TDateTime v;
  if (!TryEncodeTime(hour, min, sec, msec, v)) throw EConvertError("Invalid argument to time encode");
  return v;
}

void DecodeDate(TDateTime value, int& year, int& month, int& day) {
  DecodeDays(ToTimeStamp(value).Date, year, month, day);
}

void DecodeTime(TDateTime value, int& hour, int& min, int& sec, int& msec) {
  int64_t t = ToTimeStamp(value).Time;
  msec = static_cast<int>(t % 1000);
  t /= 1000;
  sec = static_cast<int>(t % 60);
  t /= 60;
  min = static_cast<int>(t % 60);
  hour = static_cast<int>(t / 60);
}

TDateTime ComposeDateTime(TDateTime date, TDateTime time) {
  const double d = std::trunc(date);
  const double t = std::fabs(time - std::trunc(time));
  return d < 0 ? d - t : d + t;
}

int DayOfWeek(TDateTime value) {
  const int64_t days = ToTimeStamp(value).Date;
  return static_cast<int>(((days % 7) + 7) % 7) + 1;
}

TDateTime Now() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm local{};
  localtime_r(&seconds, &local);
  return ComposeDateTime(EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday),
                         EncodeTime(local.tm_hour, local.tm_min, std::min(local.tm_sec, 59), static_cast<int>(ms)));
}

TDateTime Date() { return std::trunc(Now()); }

TDateTime Time() {
  const TDateTime now = Now();
  return now - std::trunc(now);
}

std::string FormatDateTime(const std::string& format, TDateTime value, const TFormatSettings& settings) {
  return TDateTimeWriter(value, settings).Write(format.empty() ? "c" : format);
}

std::string FormatDateTime(const std::string& format, TDateTime value) {
  return FormatDateTime(format, value, FormatSettings());
}

std::string DateToStr(TDateTime value, const TFormatSettings& settings) { return FormatDateTime("ddddd", value, settings); }
std::string DateToStr(TDateTime value) { return DateToStr(value, FormatSettings()); }
std::string TimeToStr(TDateTime value, const TFormatSettings& settings) { return FormatDateTime("tt", value, settings); }
std::string TimeToStr(TDateTime value) { return TimeToStr(value, FormatSettings()); }
std::string DateTimeToStr(TDateTime value, const TFormatSettings& settings) { return FormatDateTime("c", value, settings); }
std::string DateTimeToStr(TDateTime value) { return DateTimeToStr(value, FormatSettings()); }

bool TryStrToDate(const std::string& s, TDateTime& value, const TFormatSettings& settings) {
  TDateTimeReader reader(s, settings);
  TDateTime v;
  if (!reader.ReadDate(v) || !reader.AtEnd()) return false;
  value = v;
  return true;
}

bool TryStrToTime(const std::string& s, TDateTime& value, const TFormatSettings& settings) {
  TDateTimeReader reader(s, settings);
  TDateTime v;
  if (!reader.ReadTime(v) || !reader.AtEnd()) return false;
  value = v;
  return true;
}

bool TryStrToDateTime(const std::string& s, TDateTime& value, const TFormatSettings& settings) {
  TDateTimeReader reader(s, settings);
  TDateTime date, time = 0;
  if (reader.ReadDate(date) && (reader.AtEnd() || (reader.ReadTime(time) && reader.AtEnd()))) {
    value = ComposeDateTime(date, time);
    return true;
  }
  return TryStrToTime(s, value, settings);
}

namespace {

template <typename F>
TDateTime ReadOrRaise(const std::string& s, const TFormatSettings& settings, F read, const char* what) {
  TDateTime v;
  if (!read(s, v, settings)) throw EConvertError("'" + s + "' is not a valid " + what);
  return v;
}

}  // namespace

TDateTime StrToDate(const std::string& s, const TFormatSettings& settings) {
  return ReadOrRaise(s, settings, TryStrToDate, "date");
}
TDateTime StrToDate(const std::string& s) { return StrToDate(s, FormatSettings()); }
TDateTime StrToTime(const std::string& s, const TFormatSettings& settings) {
  return ReadOrRaise(s, settings, TryStrToTime, "time");
}
TDateTime StrToTime(const std::string& s) { return StrToTime(s, FormatSettings()); }
TDateTime StrToDateTime(const std::string& s, const TFormatSettings& settings) {
  return ReadOrRaise(s, settings, TryStrToDateTime, "date and time");
}
TDateTime StrToDateTime(const std::string& s) { return StrToDateTime(s, FormatSettings()); }
