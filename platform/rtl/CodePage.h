// Windows-1252, the program's fixed single-byte code page, to and from UTF-16 and UTF-8.
// Characters outside the code page become '?'; the five bytes the code page leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same value, so bytes round-trip.
#pragma once

#include <string>
#include <string_view>

char16_t Cp1252CharToUtf16(unsigned char c);          // one byte's UTF-16 unit
std::u16string Cp1252ToUtf16(std::string_view s);
std::string Utf16ToCp1252(std::u16string_view s);
std::string Cp1252ToUtf8(std::string_view s);
std::string Utf8ToCp1252(std::string_view s);        // invalid sequences become '?'
bool IsValidUtf8(std::string_view s);                // true also for pure ASCII
bool HasMultiByteUtf8(std::string_view s);           // valid UTF-8 with at least one multi-byte sequence
std::u16string Utf8ToUtf16(std::string_view s);      // invalid sequences become U+FFFD
std::string Utf16ToUtf8(std::u16string_view s);       // lone surrogates become U+FFFD
