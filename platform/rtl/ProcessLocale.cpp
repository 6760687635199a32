// Finding the process's locale name for ICU.
#include "platform/rtl/ProcessLocale.h"

#include <clocale>
#include <cstdlib>

namespace rtl_detail {

namespace {

const char* CategoryVariable(int category) {
  switch (category) {
    case LC_COLLATE: return "LC_COLLATE";
    case LC_CTYPE: return "LC_CTYPE";
    case LC_MONETARY: return "LC_MONETARY";
    case LC_NUMERIC: return "LC_NUMERIC";
    case LC_TIME: return "LC_TIME";
    default: return "LC_ALL";
  }
}

// "de_DE.UTF-8@euro" -> "de_DE"; "" for the locales without national conventions.
std::string IcuName(const char* posixName) {
  if (posixName == nullptr) return std::string();
  std::string name(posixName);
  const size_t cut = name.find_first_of(".@");
  if (cut != std::string::npos) name.resize(cut);
  if (name.empty() || name == "C" || name == "POSIX") return std::string();
  return name;
}

}  // namespace

std::string ProcessLocaleName(int category) {
  std::string name = IcuName(std::setlocale(category, nullptr));
  if (!name.empty()) return name;
  // A program that never called setlocale runs in "C"; the user's choice is in the environment.
  for (const char* variable : {"LC_ALL", CategoryVariable(category), "LANG"}) {
    const char* value = std::getenv(variable);
    if (value != nullptr && *value != '\0') return IcuName(value);
  }
  return std::string();
}

}  // namespace rtl_detail
