#include <gtest/gtest.h>

#include <string>

#include "host/text_insert.h"

TEST(InsertTextValue, Table) {
  struct Case {
    const wchar_t* text;
    const wchar_t* value;
    const wchar_t* expected;
  } cases[] = {
      {L"Cannot find a %s printer installed on this system.\r\n", L"QV Vestra",
       L"Cannot find a QV Vestra printer installed on this system.\r\n"},
      // An empty series name leaves two blanks in a row.
      {L"Cannot find a %s printer installed.", L"", L"Cannot find a  printer installed."},
      {L"Cannot find a %s printer installed.", nullptr, L"Cannot find a  printer installed."},
      // The value is data: directives in it are shown as they are.
      {L"[%s]", L"100%s %n %d %ls %%", L"[100%s %n %d %ls %%]"},
      // Only the first string directive takes the value; others stay literal.
      {L"%ls and %s", L"x", L"x and %s"},
      {L"%S!", L"x", L"x!"},
      {L"%d%% of %s", L"y", L"%d% of y"},
      {L"no directive", L"x", L"no directive"},
      {L"trailing %", L"x", L"trailing %"},
      {L"%l", L"x", L"%l"},
  };
  for (const Case& c : cases) {
    wchar_t out[128];
    size_t n = InsertTextValue(out, 128, c.text, c.value);
    EXPECT_EQ(std::wstring(out), std::wstring(c.expected)) << c.text;
    EXPECT_EQ(n, std::wstring(c.expected).size());
  }
}

TEST(InsertTextValue, CutsAtTheBuffer) {
  std::wstring longValue(3000, L'v');
  wchar_t out[1024];
  size_t n = InsertTextValue(out, 1024, L"a %s b", longValue.c_str());
  EXPECT_EQ(n, 1023u);
  EXPECT_EQ(std::wstring(out), L"a " + longValue.substr(0, 1021));
  wchar_t tiny[1] = {L'x'};
  EXPECT_EQ(InsertTextValue(tiny, 1, L"abc", L"v"), 0u);
  EXPECT_EQ(tiny[0], 0);
}
