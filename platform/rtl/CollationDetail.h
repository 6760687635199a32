// Internals of the collation module that its tests reach: whether the printable-ASCII fast
// path is active for the current collator, and the comparison through ICU alone.
#pragma once

#include <cstdint>

namespace rtl_detail {

// True when the current locale's collator lets two printable-ASCII texts (0x20..0x7E) be
// compared by per-character rank tables with the same results as the collator.
bool CollationFastPathEnabled();

// Whether all n characters are printable ASCII (0x20..0x7E): the texts the fast path takes.
bool AllPrintableAscii(const char* s, int32_t n);
bool AllPrintableAscii(const char16_t* s, int32_t n);

// CompareStringW's result computed by the ICU collator only, never by the fast path.
int CompareWithCollator(uint32_t flags, const char16_t* s1, int count1, const char16_t* s2, int count2);

}  // namespace rtl_detail
