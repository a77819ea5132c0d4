#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>

#include "host/text_utils.h"

TEST(WildcardMatch, Table) {
  struct Case {
    const wchar_t* pattern;
    const wchar_t* text;
    int expected;
  } cases[] = {
      {L"AB*", L"abc", 1},   {L"*12*", L"X12Y", 1}, {L"A*C", L"AXCX", 1}, {L"A*C", L"XAC", 0},
      {L"abc", L"ABC", 1},   {L"abc", L"ABCD", 0},  {L"*", L"", 1},       {L"a**b", L"ab", 1},
      {L"*b*a", L"ab", 0},   {L"Q*4*10", L"q-4410dn", 1},
      // Driver patterns of the firmware tables against printer model keys.
      {L"QV Model 7*", L"qv model 7100 extra", 1}, {L"*71*", L"QV Model 7100", 1},
      {L"QV Model 7100", L"qv model 7100", 1},    {L"QV Model 7100", L"QV Model 7100 series", 0},
      // The prefix is checked first; each later part is searched after the last one found.
      {L"ABC*", L"AB", 0},   {L"AB*", L"AB", 1},    {L"A*A", L"A", 0},    {L"*aba*aba", L"ababa", 0},
      {L"*aba*aba", L"abaaba", 1}, {L"", L"", 1},  {L"", L"x", 0},       {L"*", L"anything", 1},
      // Only a..z fold.
      {L"caf\u00e9*", L"CAF\u00c9", 0}, {L"caf\u00e9*", L"CAF\u00e9 au lait", 1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(WildcardMatch(c.pattern, c.text), c.expected) << c.pattern << L" vs " << c.text;
  }
  // Both are cut to 1023 characters before the match.
  std::wstring longPattern = std::wstring(1023, L'A') + L"B";
  std::wstring longText(1023, L'a');
  EXPECT_EQ(1, WildcardMatch(longPattern.c_str(), longText.c_str()));
  EXPECT_EQ(1, WildcardMatch((std::wstring(1023, L'A') + L"*Z").c_str(), longText.c_str()));
  EXPECT_EQ(0, WildcardMatch(nullptr, L"x"));
}

TEST(TextContains, EmptyPartsAndCase) {
  EXPECT_EQ(TextContains(L"HelloWorld", L"lowo"), 1);
  EXPECT_EQ(TextContains(L"Hello", L""), 0);
  EXPECT_EQ(TextContains(L"", L"a"), 0);
  EXPECT_EQ(TextContains(L"abc", L"abcd"), 0);
  EXPECT_EQ(TextEquals(L"Driver X", L"DRIVER x"), 1);
  EXPECT_EQ(TextEquals(L"Driver X", L"DRIVER"), 0);
  // Printer names are Unicode: letter case beyond ASCII folds too, natively and on Windows alike.
  EXPECT_EQ(TextEquals(L"B\u00fcro 2", L"B\u00dcRO 2"), 1);
  EXPECT_EQ(TextEquals(L"\u0394\u03b9\u03ba\u03c4\u03c5\u03bf", L"\u03b4\u0399\u039a\u03a4\u03a5\u039f"), 1);
  EXPECT_EQ(TextEquals(L"B\u00fcro", L"Buro"), 0);
}

TEST(Utf8, ConversionLimits) {
  char out[8];
  EXPECT_EQ(ToUtf8(L"abc", out, sizeof out), 3);
  EXPECT_STREQ(out, "abc");
  // Seven ASCII characters and the terminator fit exactly; eight do not.
  EXPECT_EQ(ToUtf8(L"abcdefg", out, sizeof out), 7);
  EXPECT_EQ(ToUtf8(L"abcdefgh", out, sizeof out), TEXT_ERROR_BAD_LENGTH);
  EXPECT_STREQ(out, "");
  // Characters below the buffer size but bytes over it must not overflow.
  EXPECT_EQ(ToUtf8(L"\u00e9\u00e9\u00e9\u00e9", out, sizeof out), TEXT_ERROR_BAD_LENGTH);
  EXPECT_EQ(ToUtf8(L"\u00e9\u00e9\u00e9", out, sizeof out), 6);
  EXPECT_STREQ(out, "\xc3\xa9\xc3\xa9\xc3\xa9");
  // ASCII ends at U+007F; U+0080 takes two bytes.
  EXPECT_EQ(ToUtf8(L"\u007f\u0080", out, sizeof out), 3);
  EXPECT_STREQ(out, "\x7f\xc2\x80");
  // ASCII and the rest mixed at the limit.
  EXPECT_EQ(ToUtf8(L"abcde\u00e9", out, sizeof out), 7);
  EXPECT_STREQ(out, "abcde\xc3\xa9");
  EXPECT_EQ(ToUtf8(L"abcdef\u00e9", out, sizeof out), TEXT_ERROR_BAD_LENGTH);
  EXPECT_EQ(ToUtf8(L"\u00e9abcdf", out, sizeof out), 7);
  EXPECT_STREQ(out, "\xc3\xa9" "abcdf");
}

TEST(Utf8, StaticBuffersRoundTripAndCut) {
  EXPECT_STREQ(ToUtf8Static(L"127.0.0.2"), "127.0.0.2");
  EXPECT_EQ(std::wstring(FromUtf8Static("\xe2\x82\xac x")), L"\u20ac x");
  std::wstring longText(5000, L'a');
  EXPECT_EQ(strlen(ToUtf8Static(longText.c_str())), 4095u);
  std::string longUtf8(6000, 'b');
  EXPECT_EQ(wcslen(FromUtf8Static(longUtf8.c_str())), 4095u);
  // Invalid sequences become U+FFFD, never read past the end.
  EXPECT_EQ(std::wstring(FromUtf8Static("a\xc3")), L"a\ufffd");
  EXPECT_EQ(std::wstring(FromUtf8Static("\xed\xa0\x80")), L"\ufffd\ufffd\ufffd");
  // Each thread has its own: another update's conversion leaves this one's text.
  const char* narrow = ToUtf8Static(L"127.0.0.2");
  const wchar_t* wide = FromUtf8Static("Office 2");
  std::thread([] {
    ToUtf8Static(L"10.0.0.9");
    FromUtf8Static("Lab 3");
  }).join();
  EXPECT_STREQ(narrow, "127.0.0.2");
  EXPECT_STREQ(wide, L"Office 2");
}

TEST(FormatText, TruncatesNeverOverflows) {
  wchar_t buf[8];
  FormatText(buf, 8, L"%ls-%d", L"abcdef", 12345);
  EXPECT_EQ(wcslen(buf), 7u);
  FormatText(buf, 8, L"%ls", L"ab");
  EXPECT_STREQ(buf, L"ab");
  wchar_t small[4] = L"xyz";
  EXPECT_EQ(AppendText(small, 4, L"q"), 3u);
  EXPECT_STREQ(small, L"xyz");
}
