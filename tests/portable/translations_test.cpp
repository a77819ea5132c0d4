// The translation tables against the English one: the program pastes texts
// together (a printer name before 218, outcome lines one after another, the
// notice from 232 to 234) and fills "%s", so what it relies on must survive
// translation; the access keys of one dialog must differ.
#include <gtest/gtest.h>

#include <cwctype>
#include <string>

#include "resources/resource.h"
#include "support/language_tables.h"

namespace {

size_t CountOf(const std::wstring& text, const std::wstring& part) {
  size_t n = 0;
  for (size_t at = text.find(part); at != std::wstring::npos; at = text.find(part, at + part.size())) ++n;
  return n;
}

size_t LeadingBlanks(const std::wstring& text) {
  return text.find_first_not_of(L' ');
}

bool EndsWith(const std::wstring& text, const std::wstring& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

wchar_t AccessKey(const std::wstring& text) {
  const size_t at = text.find(L'&');
  return at == std::wstring::npos || at + 1 >= text.size() ? 0 : static_cast<wchar_t>(towupper(text[at + 1]));
}

TEST(Translations, KeepWhatTheProgramReliesOn) {
  const LanguageTable& english = LanguageTables()[0];
  ASSERT_EQ(std::string("en"), english.code);
  ASSERT_EQ(LanguageTableCount(), 6u);
  for (size_t t = 1; t < LanguageTableCount(); ++t) {
    const LanguageTable& table = LanguageTables()[t];
    EXPECT_EQ(english.count, table.count) << table.code;
    for (size_t i = 0; i < english.count; ++i) {
      const unsigned id = english.texts[i].id;
      const std::wstring en = english.texts[i].text;
      const wchar_t* found = table.Find(id);
      if (!found) {
        ADD_FAILURE() << table.code << " lacks " << id;
        continue;
      }
      const std::wstring text = found;
      EXPECT_FALSE(text.empty()) << table.code << " " << id;
      EXPECT_EQ(CountOf(en, L"%s"), CountOf(text, L"%s")) << table.code << " " << id;
      EXPECT_EQ(CountOf(en, L"%"), CountOf(text, L"%")) << table.code << " " << id;
      EXPECT_EQ(CountOf(en, L"\r\n"), CountOf(text, L"\r\n")) << table.code << " " << id;
      EXPECT_EQ(EndsWith(en, L"\r\n"), EndsWith(text, L"\r\n")) << table.code << " " << id;
      EXPECT_EQ(LeadingBlanks(en), LeadingBlanks(text)) << table.code << " " << id;
      EXPECT_EQ(CountOf(en, L"&"), CountOf(text, L"&")) << table.code << " " << id;
    }
  }
}

TEST(Translations, AccessKeysDifferWithinADialog) {
  const unsigned dialogs[][3] = {
      {IDS_LABEL_SELECT_PRINTER, IDS_LABEL_SEND_FIRMWARE, IDS_LABEL_EXIT},
      {IDS_LABEL_RFU_DISABLE, IDS_LABEL_RFU_ENABLE, 0},
  };
  for (size_t t = 0; t < LanguageTableCount(); ++t) {
    const LanguageTable& table = LanguageTables()[t];
    for (const auto& dialog : dialogs) {
      std::wstring keys;
      for (unsigned id : dialog) {
        if (!id || !table.Find(id)) continue;
        const wchar_t key = AccessKey(table.Find(id));
        EXPECT_NE(0, key) << table.code << " " << id << " has no access key";
        EXPECT_EQ(std::wstring::npos, keys.find(key)) << table.code << " " << id << " repeats an access key";
        keys.push_back(key);
      }
    }
  }
}

}  // namespace
