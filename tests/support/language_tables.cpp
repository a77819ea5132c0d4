#include "support/language_tables.h"

namespace {
#define TIDEWAY_STRING(id, text) {id, L"" text},
const TableText kEnglish[] = {
#include "resources/string_table.inc"
};
const TableText kGerman[] = {
#include "resources/lang/de.inc"
};
const TableText kFrench[] = {
#include "resources/lang/fr.inc"
};
const TableText kSpanish[] = {
#include "resources/lang/es.inc"
};
const TableText kJapanese[] = {
#include "resources/lang/ja.inc"
};
const TableText kArabic[] = {
#include "resources/lang/ar.inc"
};
#undef TIDEWAY_STRING

template <size_t N>
constexpr size_t Count(const TableText (&)[N]) {
  return N;
}

const LanguageTable kTables[] = {
    {"en", 0x0409, kEnglish, Count(kEnglish)},   {"de", 0x0407, kGerman, Count(kGerman)},
    {"fr", 0x040C, kFrench, Count(kFrench)},     {"es", 0x0C0A, kSpanish, Count(kSpanish)},
    {"ja", 0x0411, kJapanese, Count(kJapanese)}, {"ar", 0x0401, kArabic, Count(kArabic)},
};
}  // namespace

const wchar_t* LanguageTable::Find(unsigned id) const {
  for (size_t i = 0; i < count; ++i) {
    if (texts[i].id == id) return texts[i].text;
  }
  return nullptr;
}

const LanguageTable* LanguageTables() {
  return kTables;
}

size_t LanguageTableCount() {
  return sizeof kTables / sizeof kTables[0];
}
