// Locale text comparison and case mapping over ICU, standing in for the operating system's
// CompareStringA/CompareStringW and upper/lower casing. Narrow text is Windows-1252.
// The collator is the process locale's (LC_COLLATE, else LC_ALL / LC_COLLATE / LANG from the
// environment; ICU root under C, POSIX, C.UTF-8 or when unset), punctuation not ignored;
// case-sensitive at tertiary strength, case-insensitive (NORM_IGNORECASE) at secondary.
// Every function here may be called from several threads at once.
#pragma once

#include <cstdint>
#include <string>

using LCID = uint32_t;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

constexpr uint32_t NORM_IGNORECASE = 0x0001;   // compare ignoring case
constexpr uint32_t SORT_STRINGSORT = 0x1000;   // punctuation sorts as symbols (always the case here)

// Results of the comparison calls.
constexpr int CSTR_LESS_THAN = 1;
constexpr int CSTR_EQUAL = 2;
constexpr int CSTR_GREATER_THAN = 3;

// locale: ignored (always the process's collation). flags: NORM_IGNORECASE or 0; other bits
// are ignored. count1/count2: number of characters to compare, -1 (any negative) = up to the
// NUL terminator; a count never reads past a NUL inside it. A null pointer is the empty text.
// Narrow text is widened from Windows-1252 first, so both calls agree on the same text.
// Returns CSTR_LESS_THAN, CSTR_EQUAL or CSTR_GREATER_THAN (0 only on an internal failure).
int CompareStringA(LCID locale, uint32_t flags, const char* s1, int count1, const char* s2, int count2);
int CompareStringW(LCID locale, uint32_t flags, const char16_t* s1, int count1, const char16_t* s2, int count2);

// Convenience: -1, 0 or 1.
int AnsiCompareStr(const std::string& a, const std::string& b);
int AnsiCompareText(const std::string& a, const std::string& b);  // ignoring case
bool AnsiSameText(const std::string& a, const std::string& b);
int WideCompareStr(const std::u16string& a, const std::u16string& b);
int WideCompareText(const std::u16string& a, const std::u16string& b);

// Locale case mapping (ICU, the collation locale). The narrow forms map byte by byte and keep
// a character whose mapping is not one character of the code page ("\xDF" stays, "\xFF" becomes
// "\x9F"); the wide forms use ICU's full mapping ("stra\u00DFe" becomes "STRASSE").
std::string AnsiUpperCase(const std::string& s);
std::string AnsiLowerCase(const std::string& s);
std::u16string WideUpperCase(const std::u16string& s);
std::u16string WideLowerCase(const std::u16string& s);

// Selects the collation locale explicitly ("de", "sv_SE"; "" = from the process locale again);
// for tests. Takes effect for calls that start after it returns.
void SetCollationLocale(const std::string& icuLocaleName);
// The ICU locale name in use ("root" for the root collation).
std::string CollationLocale();
