// The live board's console writer on a real console screen buffer: the block
// is found again after lines above it scrolled the buffer, a shorter text
// leaves nothing of a longer one behind, and the cursor stays below the block.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "app/console_board.h"

namespace {
std::wstring RowText(HANDLE buffer, SHORT row, SHORT columns) {
  std::wstring text(static_cast<size_t>(columns), L' ');
  DWORD read = 0;
  ReadConsoleOutputCharacterW(buffer, &text[0], static_cast<DWORD>(columns), {0, row}, &read);
  text.resize(read);
  return text.substr(0, text.find_last_not_of(L' ') + 1);
}
}  // namespace

TEST(ConsoleBoardWriter, RedrawsTheBlockInPlaceAndKeepsTheCursorBelowIt) {
  // A console of the test's own: under Wine the one a test inherits has no
  // screen buffers. The test's output keeps going where it went.
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  const HANDLE error = GetStdHandle(STD_ERROR_HANDLE);
  FreeConsole();
  ASSERT_TRUE(AllocConsole()) << GetLastError();
  constexpr SHORT kColumns = 40;
  constexpr SHORT kRows = 8;
  HANDLE buffer = CreateConsoleScreenBuffer(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                            CONSOLE_TEXTMODE_BUFFER, nullptr);
  ASSERT_NE(buffer, INVALID_HANDLE_VALUE) << GetLastError();
  const SMALL_RECT window = {0, 0, kColumns - 1, kRows - 1};
  SetConsoleWindowInfo(buffer, TRUE, &window);
  ASSERT_TRUE(SetConsoleScreenBufferSize(buffer, {kColumns, kRows})) << GetLastError();
  auto screen = [&] {
    std::vector<std::wstring> rows;
    for (SHORT row = 0; row < kRows; ++row) rows.push_back(RowText(buffer, row, kColumns));
    return rows;
  };

  DWORD written = 0;
  WriteConsoleW(buffer, L"C:\\>tideway /all\r\n", 18, &written, nullptr);
  ConsoleBoardWriter writer(buffer);
  EXPECT_EQ(writer.Columns(), static_cast<size_t>(kColumns));
  writer.WriteFromTop({L"Office 2  writing the firmware, long", L"Lab  waiting"}, 2);
  writer.Replace({{0, L"Office 2  47%"}});
  // A line above the block: written where the block began, the block below it.
  writer.WriteFromTop({L"one", L"Office 2  47%", L"Lab  waiting"}, 2);
  EXPECT_EQ(screen(), (std::vector<std::wstring>{L"C:\\>tideway /all", L"one", L"Office 2  47%", L"Lab  waiting", L"",
                                                 L"", L"", L""}));
  // Six lines from the block's top reach the buffer's end: it scrolls by one.
  writer.WriteFromTop({L"two", L"three", L"four", L"five", L"Office 2  47%", L"Lab  waiting"}, 2);
  writer.Replace({{1, L"Lab  failed"}});
  EXPECT_EQ(screen(), (std::vector<std::wstring>{L"one", L"two", L"three", L"four", L"five", L"Office 2  47%",
                                                 L"Lab  failed", L""}));
  CONSOLE_SCREEN_BUFFER_INFO info;
  ASSERT_TRUE(GetConsoleScreenBufferInfo(buffer, &info));
  EXPECT_EQ(info.dwCursorPosition.X, 0);
  EXPECT_EQ(info.dwCursorPosition.Y, 7);

  CloseHandle(buffer);
  FreeConsole();
  SetStdHandle(STD_OUTPUT_HANDLE, output);
  SetStdHandle(STD_ERROR_HANDLE, error);
}
