// Locale collation and case mapping over ICU.
//
// One set of collators serves the whole process: a tertiary one for case-sensitive and a
// secondary one for case-insensitive comparison, both with punctuation not ignorable. The set
// is configured completely before it is published, and afterwards only ICU's const entry
// points (ucol_strcoll) touch it; ICU documents its const APIs as safe to call from several
// threads at once, so no per-thread clone is needed. A replaced set (SetCollationLocale) is
// retired, not freed, because another thread may still be comparing with it.
#include "platform/rtl/Collation.h"

#include "platform/rtl/CodePage.h"
#include "platform/rtl/ProcessLocale.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

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
};

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
template <typename C>
int32_t EffectiveLength(const C* s, int count) {
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

int CompareUtf16(uint32_t flags, const char16_t* s1, int32_t n1, const char16_t* s2, int32_t n2) {
  const TCollatorSet& set = Current();
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

int CompareStringW(LCID, uint32_t flags, const char16_t* s1, int count1, const char16_t* s2, int count2) {
  return CompareUtf16(flags, s1, EffectiveLength(s1, count1), s2, EffectiveLength(s2, count2));
}

int CompareStringA(LCID, uint32_t flags, const char* s1, int count1, const char* s2, int count2) {
  const int32_t n1 = EffectiveLength(s1, count1);
  const int32_t n2 = EffectiveLength(s2, count2);
  const TWidened w1(s1, n1), w2(s2, n2);
  return CompareUtf16(flags, w1.Data(), n1, w2.Data(), n2);
}

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
