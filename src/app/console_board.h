#pragma once
// Draws the live board on a console screen buffer in place: the block's rows
// are rewritten where they stand, so the cursor (and whatever follows, the
// summary) stays below the block. Windows only (console_board_win32.cpp).

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "app/live_board.h"

class ConsoleBoardWriter : public LiveBoardWriter {
 public:
  // `console`: a console screen buffer handle, open for reading and writing.
  explicit ConsoleBoardWriter(void* console) : m_console(console) {}
  size_t Columns() override;
  void WriteFromTop(const std::vector<std::wstring>& lines, size_t blockLines) override;
  void Replace(const std::vector<std::pair<size_t, std::wstring>>& lines) override;

 private:
  void* m_console;
  int m_top = 0;  // the block's first row in the screen buffer
  size_t m_blockLines = 0;
};
