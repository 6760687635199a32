// Windows-1252 <-> UTF-16 / UTF-8 conversions.
#include "platform/rtl/CodePage.h"

#include <cstdint>

namespace {

// Code points of the bytes 0x80..0x9F. The five bytes Windows-1252 leaves undefined (0x81, 0x8D,
// 0x8F, 0x90, 0x9D) map to the C1 controls of the same value, so every byte round-trips.
constexpr char16_t kHighControls[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t ByteToUnit(unsigned char b) {
  return (b >= 0x80 && b <= 0x9F) ? kHighControls[b - 0x80] : static_cast<char16_t>(b);
}

// The byte of a code point, '?' when the code page has none.
char CodePointToByte(char32_t cp) {
  if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF)) return static_cast<char>(cp);
  for (int i = 0; i < 32; ++i)
    if (kHighControls[i] == cp) return static_cast<char>(0x80 + i);
  return '?';
}

// Decodes one UTF-8 sequence at s[pos]; returns its length (0 = invalid, cp untouched).
size_t DecodeUtf8(std::string_view s, size_t pos, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(s[pos]);
  if (b0 < 0x80) { cp = b0; return 1; }
  size_t len;
  char32_t value, min;
  if (b0 >= 0xC2 && b0 <= 0xDF) { len = 2; value = b0 & 0x1F; min = 0x80; }
  else if (b0 >= 0xE0 && b0 <= 0xEF) { len = 3; value = b0 & 0x0F; min = 0x800; }
  else if (b0 >= 0xF0 && b0 <= 0xF4) { len = 4; value = b0 & 0x07; min = 0x10000; }
  else return 0;
  if (pos + len > s.size()) return 0;
  for (size_t i = 1; i < len; ++i) {
    const auto b = static_cast<unsigned char>(s[pos + i]);
    if ((b & 0xC0) != 0x80) return 0;
    value = (value << 6) | (b & 0x3F);
  }
  if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  cp = value;
  return len;
}

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

void AppendUtf16(std::u16string& out, char32_t cp) {
  if (cp < 0x10000) {
    out += static_cast<char16_t>(cp);
  } else {
    cp -= 0x10000;
    out += static_cast<char16_t>(0xD800 + (cp >> 10));
    out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
  }
}

// Decodes one code point of UTF-16 at s[pos]; returns the units used. A lone surrogate
// yields U+FFFD.
size_t DecodeUtf16(std::u16string_view s, size_t pos, char32_t& cp) {
  const char16_t u = s[pos];
  if (u >= 0xD800 && u <= 0xDBFF && pos + 1 < s.size() && s[pos + 1] >= 0xDC00 && s[pos + 1] <= 0xDFFF) {
    cp = 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (s[pos + 1] - 0xDC00);
    return 2;
  }
  cp = (u >= 0xD800 && u <= 0xDFFF) ? 0xFFFD : u;
  return 1;
}

}  // namespace

char16_t Cp1252CharToUtf16(unsigned char c) { return ByteToUnit(c); }

std::u16string Cp1252ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char c : s) out += ByteToUnit(static_cast<unsigned char>(c));
  return out;
}

std::string Utf16ToCp1252(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp;
    i += DecodeUtf16(s, i, cp);
    out += CodePointToByte(cp);
  }
  return out;
}

std::string Cp1252ToUtf8(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char c : s) AppendUtf8(out, ByteToUnit(static_cast<unsigned char>(c)));
  return out;
}

std::string Utf8ToCp1252(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp;
    const size_t len = DecodeUtf8(s, i, cp);
    if (len == 0) {
      out += '?';
      ++i;
    } else {
      out += CodePointToByte(cp);
      i += len;
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view s) {
  for (size_t i = 0; i < s.size();) {
    char32_t cp;
    const size_t len = DecodeUtf8(s, i, cp);
    if (len == 0) return false;
    i += len;
  }
  return true;
}

bool HasMultiByteUtf8(std::string_view s) {
  bool multi = false;
  for (size_t i = 0; i < s.size();) {
    char32_t cp;
    const size_t len = DecodeUtf8(s, i, cp);
    if (len == 0) return false;
    multi = multi || len > 1;
    i += len;
  }
  return multi;
}

std::u16string Utf8ToUtf16(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp = 0xFFFD;
    const size_t len = DecodeUtf8(s, i, cp);
    AppendUtf16(out, len == 0 ? 0xFFFD : cp);
    i += len == 0 ? 1 : len;
  }
  return out;
}

std::string Utf16ToUtf8(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (size_t i = 0; i < s.size();) {
    char32_t cp;
    i += DecodeUtf16(s, i, cp);
    AppendUtf8(out, cp);
  }
  return out;
}
