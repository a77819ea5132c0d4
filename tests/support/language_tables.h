#pragma once
// Every language's string table as written (resources/string_table.inc and
// resources/lang/<code>.inc), for checking the translations and the built
// libraries against them.

#include <cstddef>
#include <cstdint>

struct TableText {
  unsigned id;
  const wchar_t* text;
};

struct LanguageTable {
  const char* code;     // folder under bin/languages/
  uint16_t languageId;  // the library's resource language
  const TableText* texts;
  size_t count;
  // The text `id`, nullptr when the table lacks it.
  const wchar_t* Find(unsigned id) const;
};

// English first.
const LanguageTable* LanguageTables();
size_t LanguageTableCount();
