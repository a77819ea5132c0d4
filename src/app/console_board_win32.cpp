#include <windows.h>

#include "app/console_board.h"

namespace {
constexpr size_t kColumnsUnknown = 80;

bool BufferInfo(HANDLE console, CONSOLE_SCREEN_BUFFER_INFO* info) {
  return GetConsoleScreenBufferInfo(console, info) != 0;
}
}  // namespace

size_t ConsoleBoardWriter::Columns() {
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!BufferInfo(m_console, &info)) return kColumnsUnknown;
  // What the window shows, not the buffer's width a person would scroll to.
  return static_cast<size_t>(info.srWindow.Right - info.srWindow.Left + 1);
}

void ConsoleBoardWriter::WriteFromTop(const std::vector<std::wstring>& lines, size_t blockLines) {
  HANDLE console = static_cast<HANDLE>(m_console);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!BufferInfo(console, &info)) return;
  // Without a block the lines follow what is there; with one they start on
  // its first row, which is cleared so no longer text shows through.
  if (m_blockLines > 0) {
    const COORD top = {0, static_cast<SHORT>(m_top)};
    DWORD cleared = 0;
    FillConsoleOutputCharacterW(console, L' ', static_cast<DWORD>(info.dwSize.X) * static_cast<DWORD>(m_blockLines),
                                top, &cleared);
    SetConsoleCursorPosition(console, top);
  }
  std::wstring text;
  for (const std::wstring& line : lines) text += line + L"\r\n";
  DWORD written = 0;
  WriteConsoleW(console, text.c_str(), static_cast<DWORD>(text.size()), &written, nullptr);
  // Written lines may have scrolled the buffer: the block ends where the cursor is.
  if (!BufferInfo(console, &info)) return;
  const int top = info.dwCursorPosition.Y - static_cast<int>(blockLines);
  m_top = top > 0 ? top : 0;
  m_blockLines = blockLines;
}

void ConsoleBoardWriter::Replace(const std::vector<std::pair<size_t, std::wstring>>& lines) {
  HANDLE console = static_cast<HANDLE>(m_console);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (!BufferInfo(console, &info)) return;
  for (const auto& line : lines) {
    if (line.first >= m_blockLines) continue;
    const SHORT row = static_cast<SHORT>(m_top + static_cast<int>(line.first));
    if (row >= info.dwSize.Y) continue;
    // Written to the buffer by position: the cursor stays below the block and
    // the window does not jump to a row out of sight.
    DWORD done = 0;
    WriteConsoleOutputCharacterW(console, line.second.c_str(), static_cast<DWORD>(line.second.size()), {0, row}, &done);
    const size_t cells = TextCells(line.second);
    const size_t width = static_cast<size_t>(info.dwSize.X);
    if (cells < width) {
      FillConsoleOutputCharacterW(console, L' ', static_cast<DWORD>(width - cells), {static_cast<SHORT>(cells), row},
                                  &done);
    }
  }
}
