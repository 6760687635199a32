// The en-US settings, the settings of the process locale and the process-wide object.
#include "platform/rtl/FormatSettings.h"

TFormatSettings TFormatSettings::EnUS() {
  TFormatSettings s;
  s.ShortMonthNames = {"Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
  s.LongMonthNames = {"January", "February", "March", "April", "May", "June",
                      "July", "August", "September", "October", "November", "December"};
  s.ShortDayNames = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
  s.LongDayNames = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
  return s;
}

TFormatSettings TFormatSettings::FromLocale() { return EnUS(); }

TFormatSettings& FormatSettings() {
  static TFormatSettings settings = TFormatSettings::FromLocale();
  return settings;
}
