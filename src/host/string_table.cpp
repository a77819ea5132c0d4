#include "host/strings.h"

namespace {
struct StringEntry {
  unsigned id;
  const wchar_t* text;
};

#define TIDEWAY_STRING(id, text) {id, L"" text},
const StringEntry kTable[] = {
#include "resources/string_table.inc"
};
#undef TIDEWAY_STRING
}  // namespace

const wchar_t* BuiltInString(unsigned id) {
  for (const StringEntry& e : kTable) {
    if (e.id == id) return e.text;
  }
  return nullptr;
}
