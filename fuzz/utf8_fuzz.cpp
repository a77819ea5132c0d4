// Printer texts arrive as UTF-8 bytes and are converted into fixed buffers.
#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "host/text_utils.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wchar_t wide[64];
  Utf8ToWide(reinterpret_cast<const char*>(data), size, wide, 64);
  char back[64];
  ToUtf8(wide, back, sizeof back);
  wchar_t tiny[1];
  Utf8ToWide(reinterpret_cast<const char*>(data), size, tiny, 1);
  return 0;
}
