// Windows-1252, the program's fixed single-byte code page, to and from UTF-16 and UTF-8.
// Characters outside the code page become '?'.
#pragma once

#include <string>
#include <string_view>

std::u16string Cp1252ToUtf16(std::string_view s);
std::string Utf16ToCp1252(std::u16string_view s);
std::string Cp1252ToUtf8(std::string_view s);
std::string Utf8ToCp1252(std::string_view s);        // invalid sequences become '?'
bool IsValidUtf8(std::string_view s);                // true also for pure ASCII
bool HasMultiByteUtf8(std::string_view s);           // valid UTF-8 with at least one multi-byte sequence
std::u16string Utf8ToUtf16(std::string_view s);
std::string Utf16ToUtf8(std::u16string_view s);
