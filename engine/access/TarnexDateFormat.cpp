// Base 64 and hexadecimal codecs and the token-based date formatter.
#include "engine/access/TarnexDateFormat.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/storage/TarnexExcept.h"
#include "platform/rtl/FormatSettings.h"
#include "platform/rtl/SysUtils.h"

namespace {

using K = TDateFormatTokenKind;

const char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

bool IsOneOf(char c, const char* set) { return c != '\0' && std::strchr(set, c) != nullptr; }

char UpperAscii(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

std::string EncodeBase64(const void* bytes, int32_t length) {
  std::string out;
  if (bytes == nullptr || length <= 0) return out;
  const auto* in = static_cast<const uint8_t*>(bytes);
  out.reserve(static_cast<size_t>((length + 2) / 3) * 4);
  for (int32_t i = 0; i < length; i += 3) {
    const int32_t n = std::min<int32_t>(3, length - i);
    uint32_t v = static_cast<uint32_t>(in[i]) << 16;
    if (n > 1) v |= static_cast<uint32_t>(in[i + 1]) << 8;
    if (n > 2) v |= in[i + 2];
    out += Base64Alphabet[(v >> 18) & 63];
    out += Base64Alphabet[(v >> 12) & 63];
    out += n > 1 ? Base64Alphabet[(v >> 6) & 63] : '=';
    out += n > 2 ? Base64Alphabet[v & 63] : '=';
  }
  return out;
}

std::string EncodeBase64(const std::string& bytes) {
  return EncodeBase64(bytes.data(), static_cast<int32_t>(bytes.size()));
}

bool DecodeBase64(const std::string& text, std::string& bytes) {
  static const char* const Separators = " $()[]{},;:-_\\*\"'\t\n\r";
  bytes.clear();
  bytes.reserve(text.size() / 4 * 3 + 3);
  uint32_t group = 0;  // the 6-bit values of the group so far, "=" counting as 0
  int filled = 0;      // characters in the group
  int padding = 0;     // "=" among them
  auto flush = [&] {
    padding += 4 - filled;  // a short final group is completed with "="
    group <<= 6 * (4 - filled);
    for (int i = 0; i < 3 - padding; ++i) bytes += static_cast<char>((group >> (16 - 8 * i)) & 0xFF);
    group = 0;
    filled = 0;
    padding = 0;
  };
  for (char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z') value = c - 'A';
    else if (c >= 'a' && c <= 'z') value = c - 'a' + 26;
    else if (IsDigit(c)) value = c - '0' + 52;
    else if (c == '+') value = 62;
    else if (c == '/') value = 63;
    else if (c == '=') { value = 0; ++padding; }
    else if (IsOneOf(c, Separators)) continue;
    else {
      bytes.clear();
      return false;
    }
    group = (group << 6) | static_cast<uint32_t>(value);
    if (++filled == 4) flush();
  }
  if (filled > 0) flush();
  return true;
}

bool DecodeHex(const std::string& text, std::string& bytes) {
  static const char* const Skipped = "H ()[]{},;:-_/\\*+\"'\t\n\r";
  bytes.clear();
  int high = -1;  // the pending first digit of a pair
  bool prefixSeen = false;
  for (char raw : text) {
    const char c = UpperAscii(raw);
    int nibble = -1;
    if (IsDigit(c)) nibble = c - '0';
    else if (c >= 'A' && c <= 'F') nibble = c - 'A' + 10;
    if (nibble >= 0) {
      if (high < 0) {
        high = nibble;
      } else {
        bytes += static_cast<char>((high << 4) | nibble);
        high = -1;
      }
    } else if (c == '$' || c == 'X') {
      if (!prefixSeen) {
        prefixSeen = true;
        bytes.clear();
        high = -1;
      }
    } else if (!IsOneOf(c, Skipped)) {
      bytes.clear();
      return false;
    }
  }
  return true;
}

namespace {

struct TWordDef {
  const char* Word;
  K Kind;
};

const TWordDef Words[] = {
    {"YYYY", K::YYYY}, {"YY", K::YY},     {"YEAR", K::YEAR}, {"Q", K::Q},       {"MONTH", K::MONTH},
    {"MON", K::MON},   {"MM", K::MM},     {"M", K::M},       {"RM", K::RM},     {"DDD", K::DDD},
    {"DD", K::DD},     {"DAY", K::DAY},   {"DY", K::DY},     {"DW", K::DW},     {"D", K::D},
    {"HH12", K::HH12}, {"HH24", K::HH24}, {"HH", K::HH},     {"H12", K::H12},   {"H24", K::H24},
    {"H", K::H},       {"NN", K::NN},     {"N", K::N},       {"SS", K::SS},     {"S", K::S},
    {"AMPM", K::AMPM},
};
constexpr size_t LongestWord = 5;

const char* const RomanMonths[12] = {"I", "II", "III", "IV", "V", "VI", "VII", "VIII", "IX", "X", "XI", "XII"};

// The kind of the word `upper` (already upper-cased), or Literal when it is none.
K WordKind(const std::string& upper) {
  for (const TWordDef& w : Words)
    if (upper == w.Word) return w.Kind;
  return K::Literal;
}

std::string Padded(int value, int digits) { return Format("%.*d", {digits, value}); }

template <size_t N>
int32_t LongestName(const std::array<std::string, N>& names) {
  size_t longest = 0;
  for (const std::string& n : names) longest = std::max(longest, n.size());
  return static_cast<int32_t>(longest);
}

// A scanned field: the run-time integer parser, then the 0..65535 range of the field.
int ToField(const std::string& digits) {
  const int32_t v = StrToInt(digits);
  if (v < 0 || v > 65535) throw ERangeError();
  return v;
}

}  // namespace

TDateFormater::TDateFormater(const std::string& format) { ParseFormat(format); }

void TDateFormater::ParseFormat(const std::string& format) {
  Tokens_.clear();
  std::string literal;  // pending literal text
  char quote = '\0';    // the open quotation's quote character, '\0' outside quotations
  auto flushLiteral = [&] {
    if (!literal.empty()) Tokens_.push_back({K::Literal, literal});
    literal.clear();
  };
  size_t i = 0;
  while (i < format.size()) {
    const char c = format[i];
    if (quote != '\0') {
      if (c == quote) {
        Tokens_.push_back({K::Literal, literal});  // possibly empty
        literal.clear();
        quote = '\0';
      } else {
        literal += c;
      }
      ++i;
      continue;
    }
    if (c == '\'' || c == '"') {
      flushLiteral();
      quote = c;
      ++i;
      continue;
    }
    size_t matched = 0;
    K kind = K::Literal;
    for (size_t len = std::min(LongestWord, format.size() - i); len > 0 && matched == 0; --len) {
      std::string upper = format.substr(i, len);
      for (char& u : upper) u = UpperAscii(u);
      kind = WordKind(upper);
      if (kind != K::Literal) matched = len;
    }
    if (matched == 0) {
      literal += c;
      ++i;
      continue;
    }
    flushLiteral();
    Tokens_.push_back({kind, format.substr(i, matched)});
    i += matched;
  }
  if (quote != '\0') {
    Tokens_.push_back({K::Literal, literal});
  } else {
    flushLiteral();
  }
}

std::string TDateFormater::FormatDate(TDateTime value) const { return FormatDate(value, FormatSettings()); }

std::string TDateFormater::FormatDate(TDateTime value, const TFormatSettings& settings) const {
  if (Tokens_.empty()) return std::string();
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, msec = 0;
  DecodeDate(value, year, month, day);
  DecodeTime(value, hour, minute, second, msec);
  const size_t monthIndex = static_cast<size_t>(std::clamp(month, 1, 12) - 1);
  const int weekDay = DayOfWeek(value);  // 1 = Sunday
  const size_t weekDayIndex = static_cast<size_t>(std::clamp(weekDay, 1, 7) - 1);
  std::string out;
  for (const TDateFormatToken& t : Tokens_) {
    switch (t.Kind) {
      case K::YYYY:
      case K::YEAR: out += Padded(year, 4); break;
      case K::YY: out += Padded(year % 100, 2); break;
      case K::Q: out += IntToStr((month - 1) / 3 + 1); break;
      case K::MONTH: out += settings.LongMonthNames[monthIndex]; break;
      case K::MON: out += settings.ShortMonthNames[monthIndex]; break;
      case K::MM: out += Padded(month, 2); break;
      case K::M: out += IntToStr(month); break;
      case K::RM: out += RomanMonths[monthIndex]; break;
      case K::DDD: {
        int dayOfYear = day;
        for (int m = 1; m < month; ++m) dayOfYear += DaysInMonth(year, m);
        out += IntToStr(dayOfYear);
        break;
      }
      case K::DD: out += Padded(day, 2); break;
      case K::DAY: out += settings.LongDayNames[weekDayIndex]; break;
      case K::DY: out += settings.ShortDayNames[weekDayIndex]; break;
      case K::DW: out += IntToStr((weekDay + 5) % 7 + 1); break;
      case K::D: out += IntToStr(day); break;
      case K::HH12:
      case K::HH: out += Padded(hour % 12, 2); break;
      case K::HH24: out += Padded(hour, 2); break;
      case K::H12:
      case K::H: out += IntToStr(hour % 12); break;
      case K::H24: out += IntToStr(hour); break;
      case K::NN: out += Padded(minute, 2); break;
      case K::N: out += IntToStr(minute); break;
      case K::SS: out += Padded(second, 2); break;
      case K::S: out += IntToStr(second); break;
      case K::AMPM: out += hour > 11 ? "PM" : "AM"; break;
      case K::Literal: out += t.Text; break;
    }
  }
  return out;
}

TDateTime TDateFormater::ScanDate(const std::string& text) const {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  size_t pos = 0;
  // The next `width` characters (fewer at the end of the text); the position moves by width.
  auto take = [&](size_t width) {
    std::string part = pos < text.size() ? text.substr(pos, width) : std::string();
    pos += width;
    return part;
  };
  auto fixed = [&](size_t width) { return ToField(take(width)); };
  auto oneOrTwoDigits = [&] {
    const bool two = pos + 1 < text.size() && IsDigit(text[pos + 1]);
    return ToField(take(two ? 2 : 1));
  };
  for (const TDateFormatToken& t : Tokens_) {
    switch (t.Kind) {
      case K::YYYY:
      case K::YEAR: year = fixed(4); break;
      case K::YY: {
        const int y = fixed(2);
        year = y < 30 ? 2000 + y : 1900 + y;
        break;
      }
      case K::Q: month = 3 * fixed(1) - 2; break;
      case K::MM: month = fixed(2); break;
      case K::M: month = oneOrTwoDigits(); break;
      case K::DD: day = fixed(2); break;
      case K::D: day = oneOrTwoDigits(); break;
      case K::HH12:
      case K::HH24:
      case K::HH:
      case K::H12:
      case K::H24:
      case K::H: hour = oneOrTwoDigits(); break;
      case K::NN: minute = fixed(2); break;
      case K::N: minute = oneOrTwoDigits(); break;
      case K::SS: second = fixed(2); break;
      case K::S: second = oneOrTwoDigits(); break;
      case K::AMPM: {
        const std::string word = take(2);
        std::string upper = word;
        for (char& u : upper) u = UpperAscii(u);
        if (upper == "PM") hour += 12;
        else if (upper != "AM")
          throw ETarnexException::CreateFmt(30129, "AM/PM word expected, but '%s' found", {word});
        break;
      }
      case K::MONTH:
      case K::MON:
      case K::RM:
      case K::DDD:
      case K::DAY:
      case K::DY:
      case K::DW:
      case K::Literal: pos += t.Text.size(); break;
    }
  }
  const TDateTime date = (year == 0 || month == 0 || day == 0) ? 0.0 : EncodeDate(year, month, day);
  return date + EncodeTime(hour, minute, second, 0);
}

int32_t TDateFormater::MaxFormattedLength() const { return MaxFormattedLength(FormatSettings()); }

int32_t TDateFormater::MaxFormattedLength(const TFormatSettings& settings) const {
  int32_t total = 0;
  for (const TDateFormatToken& t : Tokens_) {
    switch (t.Kind) {
      case K::YYYY:
      case K::YEAR: total += 4; break;
      case K::Q: total += 1; break;
      case K::MONTH: total += std::max(9, LongestName(settings.LongMonthNames)); break;
      case K::MON: total += std::max(3, LongestName(settings.ShortMonthNames)); break;
      case K::RM: total += 4; break;  // "VIII"
      case K::DDD: total += 3; break;
      case K::DAY: total += std::max(12, LongestName(settings.LongDayNames)); break;
      case K::DY: total += std::max(2, LongestName(settings.ShortDayNames)); break;
      case K::Literal: total += static_cast<int32_t>(t.Text.size()); break;
      default: total += 2; break;
    }
  }
  return total;
}
