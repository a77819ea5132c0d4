#pragma once
// The run's printers on a real console: one line each, rewritten in place
// (name, percent, phase; the outcome once ended). The board decides what the
// lines read and when they are drawn; a thin writer (console_board_win32.cpp)
// puts them on the screen. Redraws are throttled, so 64 printers reporting
// every data piece do not keep the console busy.

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/text_board.h"

// Puts the board's block of lines on the screen. Lines come cut to fit one
// console line; the writer clears what an earlier, longer text left behind.
class LiveBoardWriter {
 public:
  virtual ~LiveBoardWriter() = default;
  // Character cells in a console line.
  virtual size_t Columns() = 0;
  // Writes `lines` as whole lines from where the block begins (the cursor,
  // before there is a block); the last `blockLines` of them are the block from
  // then on. The cursor is left below the block.
  virtual void WriteFromTop(const std::vector<std::wstring>& lines, size_t blockLines) = 0;
  // Each (index, text): line `index` of the block now reads `text`. The cursor
  // stays below the block.
  virtual void Replace(const std::vector<std::pair<size_t, std::wstring>>& lines) = 0;
};

// The cells `c` takes on a console: 2 for East Asian wide characters, 0 for
// combining marks, 1 otherwise.
int CellWidth(uint32_t c);

// The cells `text` takes on a console.
size_t TextCells(const std::wstring& text);

// The longest start of `text` that takes at most `cells` cells, never ending
// in half a surrogate pair or leaving a character's combining marks behind.
std::wstring FitToCells(const std::wstring& text, size_t cells);

class LiveBoard : public RunBoard {
 public:
  // A redraw for data or waiting at most this often; a new phase, an end or a
  // line of the run draws at once.
  static constexpr uint32_t kRedrawMs = 250;

  explicit LiveBoard(LiveBoardWriter& writer) : m_writer(writer) {}
  void Begin(const std::vector<std::wstring>& names) override;
  void Progress(size_t index, const UpdateProgressState& state, UpdateProgressEvent what) override;
  void End(size_t index, UpdateOutcome outcome, const std::wstring& detail) override;
  void Line(const std::wstring& text) override;

 private:
  struct Printer {
    std::wstring name;
    std::wstring padded;  // to the width of the longest name
    std::wstring text;    // what the line reads now, before the cut
    std::wstring drawn;   // what was last put on the screen
    bool ended = false;
  };
  std::wstring Row(const std::wstring& text) const;
  std::vector<std::wstring> Block() const;
  void Draw();

  LiveBoardWriter& m_writer;
  std::mutex m_lock;
  std::vector<Printer> m_printers;
  size_t m_nameCells = 0;
  size_t m_columns = 0;
  uint32_t m_lastDraw = 0;
};
