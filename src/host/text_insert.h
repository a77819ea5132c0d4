#pragma once
// Fills a localised text that holds one string directive ("%s", "%ls" or "%S")
// with a value. The value is data (a series or printer name read from a file or
// the spooler), so nothing in it is ever read as a directive, and the text
// itself is only trusted as far as that one directive: "%%" becomes "%", every
// other directive (a second "%s", "%d", "%n"...) stays as it stands.

#include <cstddef>

// Over-long results are cut; `out` is always terminated. Returns the length.
size_t InsertTextValue(wchar_t* out, size_t outSize, const wchar_t* text, const wchar_t* value);
