#include "host/text_insert.h"

namespace {
// Length of a string directive at `p` ("%s", "%ls", "%S"), 0 when it is none.
size_t StringDirectiveLength(const wchar_t* p) {
  if (p[0] != L'%') return 0;
  if (p[1] == L's' || p[1] == L'S') return 2;
  if (p[1] == L'l' && p[2] == L's') return 3;
  return 0;
}
}  // namespace

size_t InsertTextValue(wchar_t* out, size_t outSize, const wchar_t* text, const wchar_t* value) {
  if (!out || outSize == 0) return 0;
  size_t len = 0;
  auto put = [&](wchar_t c) {
    if (len + 1 < outSize) out[len++] = c;
  };
  bool inserted = false;
  for (const wchar_t* p = text ? text : L""; *p;) {
    if (p[0] == L'%' && p[1] == L'%') {
      put(L'%');
      p += 2;
      continue;
    }
    size_t directive = inserted ? 0 : StringDirectiveLength(p);
    if (directive) {
      for (const wchar_t* v = value ? value : L""; *v; ++v) put(*v);
      inserted = true;
      p += directive;
      continue;
    }
    put(*p++);
  }
  out[len] = 0;
  return len;
}
