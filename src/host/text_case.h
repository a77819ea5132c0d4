#pragma once
// Upper case of one character beyond ASCII, from the platform's Unicode
// tables (the names a person types, printer names above all, compare without
// regard to case in every script).

// `c` upper-cased; unchanged when it has no upper case (or is a surrogate).
wchar_t UpperCaseOf(wchar_t c);
