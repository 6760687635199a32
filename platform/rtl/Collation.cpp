// Locale collation and case mapping over ICU.
//
// One set of collators serves the whole process: a tertiary one for case-sensitive and a
// secondary one for case-insensitive comparison, both with punctuation not ignorable. The set
// is configured completely before it is published, and afterwards only ICU's const entry
// points (ucol_strcoll) touch it; ICU documents its const APIs as safe to call from several
// threads at once, so no per-thread clone is needed. A replaced set (SetCollationLocale) is
// retired, not freed, because another thread may still be comparing with it.
//
// Fast path: when every printable ASCII character (0x20..0x7E) has a single non-ignorable
// collation element and none takes part in a contraction or an expansion among printable
// ASCII, two printable-ASCII texts compare as the collator compares their sort keys: primary
// weights in order (a prefix first), then secondary weights, then (case-sensitive) tertiary
// weights. The weights are replaced by each character's rank among the 95 characters sorted by
// the collator at that strength, which orders exactly as the weights do. Any other character
// in either text sends the comparison to ICU.
#include "platform/rtl/Collation.h"

#include "platform/rtl/CodePage.h"
#include "platform/rtl/CollationDetail.h"
#include "platform/rtl/ProcessLocale.h"

#include <unicode/ucol.h>
#include <unicode/uset.h>
#include <unicode/ustring.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <clocale>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace {

struct TCollatorCloser {
  void operator()(UCollator* c) const { ucol_close(c); }
};
using TCollatorPtr = std::unique_ptr<UCollator, TCollatorCloser>;

// Everything one locale's comparisons and case mappings need; immutable once published.
struct TCollatorSet {
  std::string Locale;           // ICU locale name ("root" for the root collation)
  TCollatorPtr CaseSensitive;   // tertiary strength, owned
  TCollatorPtr IgnoreCase;      // secondary strength, owned
  std::array<char, 256> Upper{};  // Windows-1252 upper case of each byte
  std::array<char, 256> Lower{};  // Windows-1252 lower case of each byte
  bool FastPath = false;          // the rank tables below decide printable-ASCII comparisons
  // Rank of each printable ASCII character at primary, secondary and tertiary strength
  // (1 = lowest); 0 for every other byte, which the fast path does not handle.
  std::array<uint8_t, 256> Primary{};
  std::array<uint8_t, 256> Secondary{};
  std::array<uint8_t, 256> Tertiary{};
};

constexpr char16_t kFirstPrintable = 0x20;
constexpr char16_t kLastPrintable = 0x7E;

// Whether all n characters are printable ASCII. Narrow text is checked eight bytes at a time:
// with every byte in 0x20..0x7E neither subtracting 0x20 nor adding 0x01 per byte borrows,
// carries or sets a top bit, and the lowest byte outside the range always sets its top bit.
bool AllPrintable(const char* s, int32_t n) {
  constexpr uint64_t kSpaces = 0x2020202020202020ull, kOnes = 0x0101010101010101ull, kTops = 0x8080808080808080ull;
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, s + i, 8);
    if (((w - kSpaces) | (w + kOnes) | w) & kTops) return false;
  }
  for (; i < n; ++i)
    if (static_cast<unsigned char>(s[i]) - 0x20u > 0x5Eu) return false;
  return true;
}

// The same test on four UTF-16 units at a time, each unit's bits 7..15 playing the top bit.
bool AllPrintable(const char16_t* s, int32_t n) {
  constexpr uint64_t kSpaces = 0x0020002000200020ull, kOnes = 0x0001000100010001ull, kHigh = 0xFF80FF80FF80FF80ull;
  int32_t i = 0;
  for (; i + 4 <= n; i += 4) {
    uint64_t w;
    std::memcpy(&w, s + i, 8);
    if (((w - kSpaces) | (w + kOnes) | w) & kHigh) return false;
  }
  for (; i < n; ++i)
    if (static_cast<uint32_t>(s[i]) - 0x20u > 0x5Eu) return false;
  return true;
}

// Comparison of two printable-ASCII texts by the rank tables.
template <typename C>
int RankCompare(const TCollatorSet& set, bool ignoreCase, const C* a, int32_t na, const C* b, int32_t nb) {
  using U = std::make_unsigned_t<C>;
  const int32_t n = std::min(na, nb);
  // Identical characters have identical weights: start at the first difference.
  int32_t first = 0;
  while (first < n && a[first] == b[first]) ++first;
  for (int32_t i = first; i < n; ++i) {
    const uint8_t pa = set.Primary[static_cast<U>(a[i])], pb = set.Primary[static_cast<U>(b[i])];
    if (pa != pb) return pa < pb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (na != nb) return na < nb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  for (int32_t i = first; i < n; ++i) {
    const uint8_t sa = set.Secondary[static_cast<U>(a[i])], sb = set.Secondary[static_cast<U>(b[i])];
    if (sa != sb) return sa < sb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  if (ignoreCase) return CSTR_EQUAL;
  for (int32_t i = first; i < n; ++i) {
    const uint8_t ta = set.Tertiary[static_cast<U>(a[i])], tb = set.Tertiary[static_cast<U>(b[i])];
    if (ta != tb) return ta < tb ? CSTR_LESS_THAN : CSTR_GREATER_THAN;
  }
  return CSTR_EQUAL;
}

TCollatorPtr OpenCollator(const std::string& locale, UColAttributeValue strength) {
  UErrorCode status = U_ZERO_ERROR;
  TCollatorPtr c(ucol_open(locale.c_str(), &status));
  if (U_FAILURE(status)) {
    status = U_ZERO_ERROR;
    c.reset(ucol_open("root", &status));
    if (U_FAILURE(status)) return nullptr;
  }
  ucol_setAttribute(c.get(), UCOL_ALTERNATE_HANDLING, UCOL_NON_IGNORABLE, &status);
  ucol_setAttribute(c.get(), UCOL_STRENGTH, strength, &status);
  return U_SUCCESS(status) ? std::move(c) : nullptr;
}

// The case mapping of one byte when the mapped character is one character of the code page.
char MapByte(unsigned char b, const std::string& locale, bool upper) {
  const UChar in = Cp1252CharToUtf16(b);
  UChar out[4];
  UErrorCode status = U_ZERO_ERROR;
  const int32_t len = upper ? u_strToUpper(out, 4, &in, 1, locale.c_str(), &status)
                            : u_strToLower(out, 4, &in, 1, locale.c_str(), &status);
  if (U_FAILURE(status) || len != 1) return static_cast<char>(b);
  const std::string mapped = Utf16ToCp1252(std::u16string_view(out, 1));
  if (mapped[0] == '?' && out[0] != u'?') return static_cast<char>(b);
  return mapped[0];
}

struct TUSetCloser {
  void operator()(USet* s) const { uset_close(s); }
};
using TUSetPtr = std::unique_ptr<USet, TUSetCloser>;

bool IsPrintable(UChar32 c) { return c >= kFirstPrintable && c <= kLastPrintable; }

// Whether the collator's settings and tailoring keep printable ASCII free of contractions,
// expansions, ignorable characters and the options that break per-character comparison.
bool FastPathPossible(const UCollator* c, const UCollator* primary) {
  UErrorCode status = U_ZERO_ERROR;
  if (ucol_getAttribute(c, UCOL_FRENCH_COLLATION, &status) != UCOL_OFF ||
      ucol_getAttribute(c, UCOL_CASE_LEVEL, &status) != UCOL_OFF ||
      ucol_getAttribute(c, UCOL_NUMERIC_COLLATION, &status) != UCOL_OFF || U_FAILURE(status))
    return false;
  TUSetPtr contractions(uset_openEmpty()), expansions(uset_openEmpty());
  ucol_getContractionsAndExpansions(c, contractions.get(), expansions.get(), true, &status);
  if (U_FAILURE(status)) return false;
  for (UChar32 ch = kFirstPrintable; ch <= kLastPrintable; ++ch)
    if (uset_contains(expansions.get(), ch) || uset_contains(contractions.get(), ch)) return false;
  const int32_t items = uset_getItemCount(contractions.get());
  for (int32_t i = 0; i < items; ++i) {
    UChar32 start, end;
    UChar text[64];
    status = U_ZERO_ERROR;
    const int32_t len = uset_getItem(contractions.get(), i, &start, &end, text, 64, &status);
    if (U_FAILURE(status)) return false;  // also a contraction too long to inspect
    if (len == 0) {
      if (start <= kLastPrintable && end >= kFirstPrintable) return false;
      continue;
    }
    bool allPrintable = true;
    for (int32_t k = 0; k < len; ++k) allPrintable = allPrintable && IsPrintable(text[k]);
    if (allPrintable) return false;
  }
  for (UChar ch = kFirstPrintable; ch <= kLastPrintable; ++ch)
    if (ucol_strcoll(primary, &ch, 1, &ch, 0) != UCOL_GREATER) return false;  // ignorable at primary
  return true;
}

// The ranks of the printable ASCII characters in the collator's order at its strength.
std::array<uint8_t, 256> RankTable(const UCollator* c) {
  std::vector<UChar> chars;
  for (UChar ch = kFirstPrintable; ch <= kLastPrintable; ++ch) chars.push_back(ch);
  std::stable_sort(chars.begin(), chars.end(),
                   [c](UChar x, UChar y) { return ucol_strcoll(c, &x, 1, &y, 1) == UCOL_LESS; });
  std::array<uint8_t, 256> ranks{};
  uint8_t rank = 1;
  for (size_t i = 0; i < chars.size(); ++i) {
    if (i > 0 && ucol_strcoll(c, &chars[i - 1], 1, &chars[i], 1) != UCOL_EQUAL) ++rank;
    ranks[chars[i]] = rank;
  }
  return ranks;
}

// A pseudo-random printable-ASCII text, biased towards letters, case twins and punctuation.
std::u16string SampleText(uint32_t& state, int maxLength) {
  static const char16_t kPool[] = u"aAbBcCeEsSzZ09 -_.,'!~";
  auto next = [&state] {
    state = state * 1664525u + 1013904223u;
    return state >> 8;
  };
  std::u16string s;
  const int len = static_cast<int>(next() % static_cast<uint32_t>(maxLength + 1));
  for (int i = 0; i < len; ++i) {
    if (next() % 4 == 0) s += static_cast<char16_t>(kFirstPrintable + next() % (kLastPrintable - kFirstPrintable + 1));
    else s += kPool[next() % (sizeof(kPool) / sizeof(kPool[0]) - 1)];
  }
  return s;
}

// Builds the rank tables and switches the fast path on when a sample of comparisons agrees
// with the collator at both strengths.
void PrepareFastPath(TCollatorSet& set) {
  set.FastPath = false;
  if (!set.CaseSensitive || !set.IgnoreCase) return;
  const TCollatorPtr primary = OpenCollator(set.Locale, UCOL_PRIMARY);
  if (!primary || !FastPathPossible(set.CaseSensitive.get(), primary.get())) return;
  set.Primary = RankTable(primary.get());
  set.Secondary = RankTable(set.IgnoreCase.get());
  set.Tertiary = RankTable(set.CaseSensitive.get());
  uint32_t state = 12345;
  for (int i = 0; i < 2000; ++i) {
    std::u16string a = SampleText(state, 6), b = (i % 3 == 0) ? a : SampleText(state, 6);
    if (i % 3 == 0 && !b.empty()) b[b.size() / 2] ^= 0x20;  // a case twin, or a neighbour
    for (uint32_t flags : {0u, NORM_IGNORECASE}) {
      const UCollator* c = flags != 0 ? set.IgnoreCase.get() : set.CaseSensitive.get();
      const int expected = ucol_strcoll(c, a.data(), static_cast<int32_t>(a.size()), b.data(),
                                        static_cast<int32_t>(b.size())) + CSTR_EQUAL;
      const auto na = static_cast<int32_t>(a.size()), nb = static_cast<int32_t>(b.size());
      if (!AllPrintable(a.data(), na) || !AllPrintable(b.data(), nb)) continue;
      if (RankCompare(set, flags != 0, a.data(), na, b.data(), nb) != expected) return;
    }
  }
  set.FastPath = true;
}

std::unique_ptr<TCollatorSet> BuildSet(const std::string& requested) {
  auto set = std::make_unique<TCollatorSet>();
  set->Locale = requested.empty() ? rtl_detail::ProcessLocaleName(LC_COLLATE) : requested;
  // C and POSIX map to en_US_POSIX in ICU, whose ASCII order puts "B" before "a".
  if (set->Locale.empty()) set->Locale = "root";
  set->CaseSensitive = OpenCollator(set->Locale, UCOL_TERTIARY);
  set->IgnoreCase = OpenCollator(set->Locale, UCOL_SECONDARY);
  const std::string caseLocale = set->Locale == "root" ? "" : set->Locale;
  for (int b = 0; b < 256; ++b) {
    set->Upper[static_cast<size_t>(b)] = MapByte(static_cast<unsigned char>(b), caseLocale, true);
    set->Lower[static_cast<size_t>(b)] = MapByte(static_cast<unsigned char>(b), caseLocale, false);
  }
  PrepareFastPath(*set);
  return set;
}

std::mutex gSetMutex;                                  // guards building and retiring sets
std::atomic<const TCollatorSet*> gCurrent{nullptr};    // the published set, owned by gSets
std::vector<std::unique_ptr<TCollatorSet>> gSets;      // every set built, the current one last

void Publish(std::unique_ptr<TCollatorSet> set) {
  gCurrent.store(set.get(), std::memory_order_release);
  gSets.push_back(std::move(set));
}

const TCollatorSet& Current() {
  const TCollatorSet* set = gCurrent.load(std::memory_order_acquire);
  if (set != nullptr) return *set;
  std::lock_guard<std::mutex> lock(gSetMutex);
  set = gCurrent.load(std::memory_order_acquire);
  if (set == nullptr) {
    Publish(BuildSet(std::string()));
    set = gCurrent.load(std::memory_order_acquire);
  }
  return *set;
}

// The length to compare: -1 (any negative) up to the NUL, otherwise `count` characters but
// never past a NUL inside them.
int32_t EffectiveLength(const char* s, int count) {
  if (s == nullptr) return 0;
  if (count < 0) return static_cast<int32_t>(std::strlen(s));
  const void* nul = std::memchr(s, 0, static_cast<size_t>(count));
  return nul == nullptr ? count : static_cast<int32_t>(static_cast<const char*>(nul) - s);
}

int32_t EffectiveLength(const char16_t* s, int count) {
  if (s == nullptr) return 0;
  int32_t n = 0;
  if (count < 0) {
    while (s[n] != 0) ++n;
  } else {
    while (n < count && s[n] != 0) ++n;
  }
  return n;
}

int ToResult(UCollationResult r) {
  switch (r) {
    case UCOL_LESS: return CSTR_LESS_THAN;
    case UCOL_EQUAL: return CSTR_EQUAL;
    default: return CSTR_GREATER_THAN;
  }
}

int CompareUtf16(const TCollatorSet& set, uint32_t flags, const char16_t* s1, int32_t n1, const char16_t* s2,
                 int32_t n2) {
  const UCollator* c = (flags & NORM_IGNORECASE) != 0 ? set.IgnoreCase.get() : set.CaseSensitive.get();
  if (c == nullptr) return 0;
  static const char16_t kEmpty[1] = {0};
  return ToResult(ucol_strcoll(c, n1 > 0 ? s1 : kEmpty, n1, n2 > 0 ? s2 : kEmpty, n2));
}

// Windows-1252 text widened into a buffer on the stack when it is short.
class TWidened {
public:
  TWidened(const char* s, int32_t n) {
    char16_t* out = Small_;
    if (n > static_cast<int32_t>(sizeof(Small_) / sizeof(Small_[0]))) {
      Large_.resize(static_cast<size_t>(n));
      out = Large_.data();
    }
    for (int32_t i = 0; i < n; ++i) out[i] = Cp1252CharToUtf16(static_cast<unsigned char>(s[i]));
    Data_ = out;
  }
  const char16_t* Data() const { return Data_; }

private:
  char16_t Small_[256];
  std::u16string Large_;
  const char16_t* Data_ = nullptr;
};

int Sign(int compareResult) { return compareResult - CSTR_EQUAL; }

std::u16string MapWide(const std::u16string& s, bool upper) {
  const TCollatorSet& set = Current();
  const char* locale = set.Locale == "root" ? "" : set.Locale.c_str();
  std::u16string out(s.size() + 8, u'\0');
  for (int attempt = 0; attempt < 2; ++attempt) {
    UErrorCode status = U_ZERO_ERROR;
    const int32_t len = upper ? u_strToUpper(out.data(), static_cast<int32_t>(out.size()), s.data(),
                                             static_cast<int32_t>(s.size()), locale, &status)
                              : u_strToLower(out.data(), static_cast<int32_t>(out.size()), s.data(),
                                             static_cast<int32_t>(s.size()), locale, &status);
    if (status == U_BUFFER_OVERFLOW_ERROR) {
      out.assign(static_cast<size_t>(len), u'\0');
      continue;
    }
    if (U_FAILURE(status)) return s;
    out.resize(static_cast<size_t>(len));
    return out;
  }
  return s;
}

}  // namespace

// The length to compare and whether those characters are all printable ASCII. A counted text
// that is all printable holds no NUL, so its count is its length without a separate scan.
template <typename C>
int32_t MeasureText(const C* s, int count, bool& printable) {
  if (count >= 0 && s != nullptr && AllPrintable(s, count)) {
    printable = true;
    return count;
  }
  const int32_t n = EffectiveLength(s, count);
  printable = s == nullptr || AllPrintable(s, n);
  return n;
}

int CompareStringW(LCID, uint32_t flags, const char16_t* s1, int count1, const char16_t* s2, int count2) {
  const TCollatorSet& set = Current();
  bool printable1, printable2;
  const int32_t n1 = MeasureText(s1, count1, printable1);
  const int32_t n2 = MeasureText(s2, count2, printable2);
  if (set.FastPath && printable1 && printable2)
    return RankCompare(set, (flags & NORM_IGNORECASE) != 0, s1, n1, s2, n2);
  return CompareUtf16(set, flags, s1, n1, s2, n2);
}

int CompareStringA(LCID, uint32_t flags, const char* s1, int count1, const char* s2, int count2) {
  const TCollatorSet& set = Current();
  bool printable1, printable2;
  const int32_t n1 = MeasureText(s1, count1, printable1);
  const int32_t n2 = MeasureText(s2, count2, printable2);
  if (set.FastPath && printable1 && printable2)
    return RankCompare(set, (flags & NORM_IGNORECASE) != 0, s1, n1, s2, n2);
  const TWidened w1(s1, n1), w2(s2, n2);
  return CompareUtf16(set, flags, w1.Data(), n1, w2.Data(), n2);
}

namespace rtl_detail {

bool CollationFastPathEnabled() { return Current().FastPath; }

bool AllPrintableAscii(const char* s, int32_t n) { return AllPrintable(s, n); }
bool AllPrintableAscii(const char16_t* s, int32_t n) { return AllPrintable(s, n); }

int CompareWithCollator(uint32_t flags, const char16_t* s1, int count1, const char16_t* s2, int count2) {
  return CompareUtf16(Current(), flags, s1, EffectiveLength(s1, count1), s2, EffectiveLength(s2, count2));
}

}  // namespace rtl_detail

int AnsiCompareStr(const std::string& a, const std::string& b) {
  return Sign(CompareStringA(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                             static_cast<int>(b.size())));
}

int AnsiCompareText(const std::string& a, const std::string& b) {
  return Sign(CompareStringA(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                             static_cast<int>(b.size())));
}

bool AnsiSameText(const std::string& a, const std::string& b) { return AnsiCompareText(a, b) == 0; }

int WideCompareStr(const std::u16string& a, const std::u16string& b) {
  return Sign(CompareStringW(LOCALE_USER_DEFAULT, 0, a.data(), static_cast<int>(a.size()), b.data(),
                             static_cast<int>(b.size())));
}

int WideCompareText(const std::u16string& a, const std::u16string& b) {
  return Sign(CompareStringW(LOCALE_USER_DEFAULT, NORM_IGNORECASE, a.data(), static_cast<int>(a.size()), b.data(),
                             static_cast<int>(b.size())));
}

std::string AnsiUpperCase(const std::string& s) {
  const TCollatorSet& set = Current();
  std::string out(s);
  for (char& c : out) c = set.Upper[static_cast<unsigned char>(c)];
  return out;
}

std::string AnsiLowerCase(const std::string& s) {
  const TCollatorSet& set = Current();
  std::string out(s);
  for (char& c : out) c = set.Lower[static_cast<unsigned char>(c)];
  return out;
}

std::u16string WideUpperCase(const std::u16string& s) { return MapWide(s, true); }
std::u16string WideLowerCase(const std::u16string& s) { return MapWide(s, false); }

void SetCollationLocale(const std::string& icuLocaleName) {
  std::lock_guard<std::mutex> lock(gSetMutex);
  Publish(BuildSet(icuLocaleName));
}

std::string CollationLocale() { return Current().Locale; }
