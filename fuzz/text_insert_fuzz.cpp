// Localised texts (a replaceable strings.dll) and the value filled into them
// (a series name from properties.ini) are both outside input.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cwchar>

#include "host/text_insert.h"
#include "host/text_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // First byte: output buffer size; then the text, a NUL, then the value.
  if (size < 1) return 0;
  const size_t outSize = data[0] % 40;
  const char* rest = reinterpret_cast<const char*>(data + 1);
  const size_t restSize = size - 1;
  size_t split = 0;
  while (split < restSize && rest[split] != 0) ++split;
  wchar_t text[256];
  wchar_t value[256];
  Utf8ToWide(rest, split, text, 256);
  if (split < restSize) Utf8ToWide(rest + split + 1, restSize - split - 1, value, 256);
  else value[0] = 0;

  wchar_t* out = static_cast<wchar_t*>(malloc((outSize ? outSize : 1) * sizeof(wchar_t)));
  size_t n = InsertTextValue(out, outSize, text, value);
  if (outSize > 0 && (n >= outSize || out[n] != 0 || wcslen(out) != n)) abort();
  if (outSize == 0 && n != 0) abort();
  free(out);
  return 0;
}
