// The process's locale as an ICU locale name, shared by the format settings and the collator.
// Internal to the run-time layer.
#pragma once

#include <string>

namespace rtl_detail {

// The locale of `category` (LC_TIME, LC_COLLATE, ...): the process's setting, else the
// environment (LC_ALL, the category's variable, LANG), as an ICU name ("de_DE"). Empty when
// it is C, POSIX, C.UTF-8 or unset: such locales carry no national conventions.
std::string ProcessLocaleName(int category);

}  // namespace rtl_detail
