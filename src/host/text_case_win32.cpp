#include <windows.h>

#include "host/text_case.h"

wchar_t UpperCaseOf(wchar_t c) {
  wchar_t upper = c;
  // The invariant locale: the same answer whatever the user's language.
  if (LCMapStringW(LOCALE_INVARIANT, LCMAP_UPPERCASE, &c, 1, &upper, 1) != 1) return c;
  return upper;
}
