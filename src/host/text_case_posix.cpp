#include <locale.h>

#include <cwctype>

#include "host/text_case.h"

namespace {
// The C locale maps ASCII only; a UTF-8 one maps every script. Never freed:
// the tables serve until the process ends.
locale_t UnicodeLocale() {
  static const locale_t locale = [] {
    locale_t l = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
    if (!l) l = newlocale(LC_CTYPE_MASK, "en_US.UTF-8", static_cast<locale_t>(0));
    return l;
  }();
  return locale;
}
}  // namespace

wchar_t UpperCaseOf(wchar_t c) {
  const locale_t locale = UnicodeLocale();
  return static_cast<wchar_t>(locale ? towupper_l(static_cast<wint_t>(c), locale) : towupper(static_cast<wint_t>(c)));
}
