#include "platform/rtl/DateUtils.h"

#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <optional>

namespace {

class DateUtilsTest : public ::testing::Test {
protected:
  void SetUp() override { FormatSettings() = TFormatSettings::EnUS(); }

  static int ThisYear() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local.tm_year + 1900;
  }
};

struct YMD {
  int Year, Month, Day;
};

TEST_F(DateUtilsTest, DatesCountDaysFromTheEpoch) {
  // Day numbers as the calendar gives them: 1899-12-30 is day 0.
  const std::vector<std::pair<YMD, double>> known = {
      {{1899, 12, 30}, 0},      {{1899, 12, 29}, -1},       {{1900, 1, 1}, 2},      {{2000, 1, 1}, 36526},
      {{2011, 5, 6}, 40669},    {{1, 1, 1}, -693593},       {{9999, 12, 31}, 2958465},
  };
  for (const auto& [d, days] : known) {
    EXPECT_EQ(EncodeDate(d.Year, d.Month, d.Day), days) << d.Year << "-" << d.Month << "-" << d.Day;
    int y, m, dd;
    DecodeDate(days, y, m, dd);
    EXPECT_EQ(y * 10000 + m * 100 + dd, d.Year * 10000 + d.Month * 100 + d.Day);
  }
  // Every day of the range decodes to a valid date one after the previous, and back.
  int prevY, prevM, prevD;
  DecodeDate(-693593, prevY, prevM, prevD);
  for (int days = -693592; days <= 2958465; ++days) {
    int y, m, d;
    DecodeDate(days, y, m, d);
    const bool next = (d == prevD + 1 && m == prevM && y == prevY) ||
                      (d == 1 && prevD == DaysInMonth(prevY, prevM) &&
                       ((m == prevM + 1 && y == prevY) || (m == 1 && prevM == 12 && y == prevY + 1)));
    ASSERT_TRUE(next) << days;
    if (days % 1009 == 0) {
      ASSERT_EQ(EncodeDate(y, m, d), days);
    }
    prevY = y, prevM = m, prevD = d;
  }
  EXPECT_EQ(DayOfWeek(EncodeDate(2011, 5, 6)), 6);   // a Friday
  EXPECT_EQ(DayOfWeek(EncodeDate(1, 1, 1)), 2);      // a Monday
  EXPECT_EQ(DayOfWeek(EncodeDate(1899, 12, 24)), 1); // a Sunday, before the epoch
  EXPECT_EQ(DayOfWeek(EncodeDate(2011, 5, 6) + 0.75), 6);
}

TEST_F(DateUtilsTest, CalendarRules) {
  for (const auto& [year, leap] : std::vector<std::pair<int, bool>>{{1900, false}, {2000, true}, {2024, true}, {2023, false}, {4, true}})
    EXPECT_EQ(IsLeapYear(year), leap) << year;
  EXPECT_EQ(DaysInMonth(2024, 2), 29);
  EXPECT_EQ(DaysInMonth(2023, 2), 28);
  EXPECT_EQ(DaysInMonth(2023, 4), 30);
  EXPECT_EQ(DaysInMonth(2023, 12), 31);
}

TEST_F(DateUtilsTest, EncodingRefusesOutOfRangeParts) {
  const std::vector<YMD> badDates = {{0, 1, 1}, {10000, 1, 1}, {2011, 0, 1}, {2011, 13, 1}, {2011, 1, 0}, {2011, 2, 29}, {2011, 4, 31}};
  for (const auto& d : badDates) {
    TDateTime v = 123;
    EXPECT_FALSE(TryEncodeDate(d.Year, d.Month, d.Day, v));
    EXPECT_EQ(v, 123);
    try {
      EncodeDate(d.Year, d.Month, d.Day);
      ADD_FAILURE() << d.Year << "-" << d.Month << "-" << d.Day;
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "Invalid argument to date encode");
    }
  }
  const std::vector<std::array<int, 4>> badTimes = {{24, 0, 0, 0}, {-1, 0, 0, 0}, {0, 60, 0, 0}, {0, 0, 60, 0}, {0, 0, 0, 1000}};
  for (const auto& t : badTimes) {
    TDateTime v;
    EXPECT_FALSE(TryEncodeTime(t[0], t[1], t[2], t[3], v));
    try {
      EncodeTime(t[0], t[1], t[2], t[3]);
      ADD_FAILURE() << t[0] << ":" << t[1];
    } catch (const EConvertError& e) {
      EXPECT_EQ(std::string(e.what()), "Invalid argument to time encode");
    }
  }
}

TEST_F(DateUtilsTest, TimesDecodeAlsoBeforeTheEpoch) {
  struct Case {
    TDateTime Value;
    YMD Date;
    std::array<int, 4> Time;
  };
  const std::vector<Case> cases = {
      {EncodeDate(2011, 5, 6) + EncodeTime(13, 45, 30, 250), {2011, 5, 6}, {13, 45, 30, 250}},
      {-1.25, {1899, 12, 29}, {6, 0, 0, 0}},
      {ComposeDateTime(EncodeDate(1800, 3, 1), EncodeTime(18, 0, 0, 0)), {1800, 3, 1}, {18, 0, 0, 0}},
      {EncodeDate(2011, 5, 6) + EncodeTime(23, 59, 59, 999) + 0.4 / 86400000.0, {2011, 5, 6}, {23, 59, 59, 999}},
      {EncodeDate(2011, 5, 6) + 0.99999999999, {2011, 5, 7}, {0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    int y, m, d, h, n, s, z;
    DecodeDate(c.Value, y, m, d);
    DecodeTime(c.Value, h, n, s, z);
    EXPECT_EQ((std::array<int, 3>{y, m, d}), (std::array<int, 3>{c.Date.Year, c.Date.Month, c.Date.Day})) << c.Value;
    EXPECT_EQ((std::array<int, 4>{h, n, s, z}), c.Time) << c.Value;
  }
  EXPECT_EQ(ComposeDateTime(EncodeDate(2011, 5, 6), 0.5), EncodeDate(2011, 5, 6) + 0.5);
  EXPECT_EQ(ComposeDateTime(-1, 0.25), -1.25);
}

TEST_F(DateUtilsTest, ClockFollowsTheSystemClock) {
  const std::time_t before = std::time(nullptr);
  const TDateTime now = Now();
  std::tm local{};
  localtime_r(&before, &local);
  const TDateTime expected = EncodeDate(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) +
                             EncodeTime(local.tm_hour, local.tm_min, local.tm_sec, 0);
  EXPECT_NEAR(now, expected, 5.0 / 86400.0);
  const TDateTime date = Date();
  EXPECT_EQ(date, std::trunc(date));
  EXPECT_NEAR(date, std::trunc(now), 1.0);
  const TDateTime time = Time();
  EXPECT_GE(time, 0.0);
  EXPECT_LT(time, 1.0);
}

TEST_F(DateUtilsTest, FormatDateTimePatterns) {
  const TDateTime value = EncodeDate(2011, 5, 6) + EncodeTime(14, 7, 9, 45);
  const TDateTime morning = EncodeDate(2011, 5, 6) + EncodeTime(0, 30, 0, 0);
  const std::vector<std::tuple<std::string, TDateTime, std::string>> cases = {
      {"d/m/yy", value, "6/5/11"},
      {"dd/mm/yyyy", value, "06/05/2011"},
      {"DD/MM/YYYY", value, "06/05/2011"},
      {"yyyy-mm-dd", value, "2011-05-06"},
      {"ddd dddd", value, "Fri Friday"},
      {"mmm mmmm", value, "May May"},
      {"M", value, "5"},
      {"h:nn:ss.zzz", value, "14:07:09.045"},
      {"z", value, "45"},
      {"hh:mm", value, "14:07"},
      {"h:mm AM/PM", value, "2:07 PM"},
      {"h:mm am/pm", value, "2:07 pm"},
      {"h a/p", value, "2 p"},
      {"h AMPM", value, "2 PM"},
      {"h AMPM", morning, "12 AM"},
      {"hh:nn", morning, "00:30"},
      {"ddddd", value, "5/6/2011"},
      {"dddddd", value, "Friday, May 6, 2011"},
      {"t", value, "2:07 PM"},
      {"tt", value, "2:07:09 PM"},
      {"c", value, "5/6/2011 2:07:09 PM"},
      {"c", EncodeDate(2011, 5, 6), "5/6/2011"},
      {"'day' d \"of\" m", value, "day 6 of 5"},
      {"d x! m", value, "6 x! 5"},
      {"dd/mm/yyyy", EncodeDate(1750, 2, 3) - 0.5, "03/02/1750"},
  };
  for (const auto& [format, v, expected] : cases) EXPECT_EQ(FormatDateTime(format, v), expected) << format;

  TFormatSettings other = TFormatSettings::EnUS();
  other.DateSeparator = '-';
  other.TimeSeparator = '.';
  other.ShortDateFormat = "dd/MM/yyyy";
  other.LongTimeFormat = "hh:nn:ss";
  EXPECT_EQ(FormatDateTime("dd/mm/yyyy hh:nn", value, other), "06-05-2011 14.07");
  EXPECT_EQ(DateToStr(value, other), "06-05-2011");
  EXPECT_EQ(TimeToStr(value, other), "14.07.09");
  EXPECT_EQ(DateTimeToStr(value, other), "06-05-2011 14.07.09");
  EXPECT_EQ(DateToStr(value), "5/6/2011");
  EXPECT_EQ(TimeToStr(value), "2:07:09 PM");
  EXPECT_EQ(DateTimeToStr(value), "5/6/2011 2:07:09 PM");
  EXPECT_EQ(DateTimeToStr(EncodeDate(2011, 5, 6)), "5/6/2011");
}

struct ReadCase {
  std::string Text;
  std::optional<TDateTime> Value;  // nullopt: refused
};

void ExpectReads(const std::vector<ReadCase>& cases, const TFormatSettings& settings,
                 bool (*tryRead)(const std::string&, TDateTime&, const TFormatSettings&),
                 TDateTime (*read)(const std::string&, const TFormatSettings&), const std::string& what) {
  for (const auto& c : cases) {
    TDateTime v = -7;
    EXPECT_EQ(tryRead(c.Text, v, settings), c.Value.has_value()) << "'" << c.Text << "'";
    if (c.Value) {
      EXPECT_NEAR(v, *c.Value, 1e-9) << c.Text;
      EXPECT_NEAR(read(c.Text, settings), *c.Value, 1e-9) << c.Text;
    } else {
      try {
        read(c.Text, settings);
        ADD_FAILURE() << "'" << c.Text << "' was read";
      } catch (const EConvertError& e) {
        EXPECT_EQ(std::string(e.what()), "'" + c.Text + "' is not a valid " + what);
      }
    }
  }
}

TEST_F(DateUtilsTest, StrToDateFollowsTheShortDateOrder) {
  const TDateTime may6 = EncodeDate(2011, 5, 6);
  const std::vector<ReadCase> mdy = {
      {"5/6/2011", may6},   {"05/06/2011", may6}, {" 5/6/2011 ", may6}, {"5-6-2011", may6},
      {"5.6.2011", may6},   {"5 / 6 / 2011", may6}, {"5/6/11", may6},   {"5/6", EncodeDate(ThisYear(), 5, 6)},
      {"1/1/999", EncodeDate(999, 1, 1)}, {"2/29/2011", std::nullopt}, {"13/1/2011", std::nullopt},
      {"abc", std::nullopt}, {"", std::nullopt},      {"5/6/2011x", std::nullopt}, {"5//6", std::nullopt},
      {"5/6/20111", std::nullopt}, {"5/6/2011 10:00", std::nullopt}, {"5", std::nullopt}, {"5/6/", std::nullopt},
  };
  ExpectReads(mdy, FormatSettings(), TryStrToDate, StrToDate, "date");
  EXPECT_EQ(StrToDate("5/6/2011"), may6);

  TFormatSettings dmy = TFormatSettings::EnUS();
  dmy.ShortDateFormat = "dd/MM/yyyy";
  dmy.DateSeparator = '.';
  ExpectReads({{"6.5.2011", may6}, {"06/05/2011", may6}, {"6/5", EncodeDate(ThisYear(), 5, 6)}, {"31.4.2011", std::nullopt}},
              dmy, TryStrToDate, StrToDate, "date");
  TFormatSettings ymd = TFormatSettings::EnUS();
  ymd.ShortDateFormat = "yyyy/MM/dd";
  ymd.DateSeparator = '-';
  ExpectReads({{"2011-05-06", may6}, {"11-5-6", may6}, {"5-6", EncodeDate(ThisYear(), 5, 6)}}, ymd, TryStrToDate, StrToDate, "date");
}

TEST_F(DateUtilsTest, TwoDigitYearsFallIntoTheWindow) {
  const int current = ThisYear();
  for (int yy = 0; yy < 100; ++yy) {
    int expected = -1;  // the one year of [current - 50, current + 49] ending in yy
    for (int y = current - 50; y <= current + 49; ++y)
      if (y % 100 == yy) expected = y;
    const std::string text = "1/2/" + std::string(yy < 10 ? "0" : "") + std::to_string(yy);
    int y, m, d;
    DecodeDate(StrToDate(text), y, m, d);
    EXPECT_EQ(y, expected) << text;
  }
  TFormatSettings noWindow = TFormatSettings::EnUS();
  noWindow.TwoDigitYearCenturyWindow = 0;
  int y, m, d;
  DecodeDate(StrToDate("1/2/99", noWindow), y, m, d);
  EXPECT_EQ(y, current / 100 * 100 + 99);
  DecodeDate(StrToDate("1/2/0099"), y, m, d);
  EXPECT_EQ(y, 99);
}

TEST_F(DateUtilsTest, StrToTimeReadsHoursMinutesAndMarkers) {
  const std::vector<ReadCase> cases = {
      {"14:07", EncodeTime(14, 7, 0, 0)},      {"2:07 PM", EncodeTime(14, 7, 0, 0)},
      {"2:07pm", EncodeTime(14, 7, 0, 0)},     {"PM 2:07", EncodeTime(14, 7, 0, 0)},
      {"12:00 AM", 0.0},                       {"12:30 PM", EncodeTime(12, 30, 0, 0)},
      {" 14:07:09 ", EncodeTime(14, 7, 9, 0)}, {"14:07:09.045", EncodeTime(14, 7, 9, 45)},
      {"13:00 PM", std::nullopt},              {"0:00 AM", std::nullopt},
      {"24:00", std::nullopt},                 {"14", std::nullopt},
      {"14:60", std::nullopt},                 {"14:07 x", std::nullopt},
      {"14:07:", std::nullopt},                {"", std::nullopt},
  };
  ExpectReads(cases, FormatSettings(), TryStrToTime, StrToTime, "time");
  TFormatSettings dots = TFormatSettings::EnUS();
  dots.TimeSeparator = '.';
  dots.TimeAMString = "vorm.";
  dots.TimePMString = "nachm.";
  ExpectReads({{"14.07", EncodeTime(14, 7, 0, 0)}, {"2.07 nachm.", EncodeTime(14, 7, 0, 0)}, {"2:07 PM", EncodeTime(14, 7, 0, 0)}},
              dots, TryStrToTime, StrToTime, "time");
  TFormatSettings noMarkers = TFormatSettings::EnUS();
  noMarkers.TimeAMString.clear();
  noMarkers.TimePMString.clear();
  ExpectReads({{"14:07", EncodeTime(14, 7, 0, 0)}, {"2:07 PM", EncodeTime(14, 7, 0, 0)}}, noMarkers, TryStrToTime, StrToTime, "time");
}

TEST_F(DateUtilsTest, StrToDateTimeReadsDateTimeOrBoth) {
  const TDateTime may6 = EncodeDate(2011, 5, 6);
  const std::vector<ReadCase> cases = {
      {"5/6/2011 14:07:09", may6 + EncodeTime(14, 7, 9, 0)},
      {"5/6/2011 2:07 PM", may6 + EncodeTime(14, 7, 0, 0)},
      {"5/6/2011", may6},
      {"14:07", EncodeTime(14, 7, 0, 0)},
      {"12/29/1899 6:00", -1.25},
      {"5/6/2011 x", std::nullopt},
      {"5/6/2011 25:00", std::nullopt},
      {"x", std::nullopt},
  };
  ExpectReads(cases, FormatSettings(), TryStrToDateTime, StrToDateTime, "date and time");
  const TDateTime value = may6 + EncodeTime(14, 7, 9, 0);
  EXPECT_EQ(StrToDateTime(DateTimeToStr(value)), value);
  EXPECT_EQ(StrToTime(TimeToStr(value)), EncodeTime(14, 7, 9, 0));
  EXPECT_EQ(StrToDate(DateToStr(value)), may6);
}

TEST_F(DateUtilsTest, SettingsComeFromTheLocale) {
  const TFormatSettings us = TFormatSettings::EnUS();
  EXPECT_EQ(us.ShortDateFormat, "M/d/yyyy");
  EXPECT_EQ(us.LongMonthNames[11], "December");
  EXPECT_EQ(us.ShortDayNames[0], "Sun");
  EXPECT_EQ(us.TwoDigitYearCenturyWindow, 50);

  const TFormatSettings de = TFormatSettings::FromLocaleName("de_DE");
  EXPECT_EQ(de.ShortDateFormat, "dd/MM/yyyy");
  EXPECT_EQ(de.DateSeparator, '.');
  EXPECT_EQ(de.DecimalSeparator, ',');
  EXPECT_EQ(de.ThousandSeparator, '.');
  EXPECT_EQ(de.CurrencyString, "\x80");
  EXPECT_EQ(de.LongMonthNames[2], "M\xE4rz");
  EXPECT_EQ(de.LongDayNames[1], "Montag");
  EXPECT_EQ(DateToStr(EncodeDate(2011, 5, 6), de), "06.05.2011");
  EXPECT_EQ(FormatDateTime("tt", EncodeTime(14, 7, 9, 0), de), "14:07:09");
  EXPECT_EQ(StrToDate("6.5.2011", de), EncodeDate(2011, 5, 6));

  const TFormatSettings sv = TFormatSettings::FromLocaleName("sv_SE");
  EXPECT_EQ(DateToStr(EncodeDate(2011, 5, 6), sv), "2011-05-06");
  EXPECT_EQ(StrToDate("2011-05-06", sv), EncodeDate(2011, 5, 6));

  for (const std::string name : {"", "xx_YY"}) {
    const TFormatSettings s = TFormatSettings::FromLocaleName(name);
    EXPECT_EQ(s.ShortDateFormat, us.ShortDateFormat) << name;
    EXPECT_EQ(s.LongMonthNames, us.LongMonthNames) << name;
  }

  // A program that never chose a locale takes the user's from the environment.
  const char* saved = std::getenv("LC_ALL");
  const std::string savedValue = saved ? saved : "";
  for (const std::string c : {"C", "POSIX", "C.UTF-8"}) {
    setenv("LC_ALL", c.c_str(), 1);
    EXPECT_EQ(TFormatSettings::FromLocale().ShortDateFormat, "M/d/yyyy") << c;
    EXPECT_EQ(TFormatSettings::FromLocale().DecimalSeparator, '.') << c;
  }
  setenv("LC_ALL", "de_DE.UTF-8", 1);
  EXPECT_EQ(TFormatSettings::FromLocale().ShortDateFormat, "dd/MM/yyyy");
  EXPECT_EQ(TFormatSettings::FromLocale().DecimalSeparator, ',');
  if (saved) setenv("LC_ALL", savedValue.c_str(), 1);
  else unsetenv("LC_ALL");
}

}  // namespace
