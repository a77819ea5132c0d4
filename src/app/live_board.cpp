#include "app/live_board.h"

#include "host/clock.h"

namespace {
// Long names would leave no room for the progress of the others.
constexpr size_t kNameCellsMax = 32;

struct Range {
  uint32_t first;
  uint32_t last;
};

constexpr Range kWide[] = {
    {0x1100, 0x115F}, {0x2E80, 0x303E},   {0x3041, 0x33FF},   {0x3400, 0x4DBF},   {0x4E00, 0x9FFF},
    {0xA000, 0xA4CF}, {0xAC00, 0xD7A3},   {0xF900, 0xFAFF},   {0xFE30, 0xFE4F},   {0xFF00, 0xFF60},
    {0xFFE0, 0xFFE6}, {0x1F300, 0x1F64F}, {0x1F900, 0x1F9FF}, {0x20000, 0x3FFFD},
};
constexpr Range kZeroWidth[] = {
    {0x0300, 0x036F}, {0x1AB0, 0x1AFF}, {0x1DC0, 0x1DFF}, {0x200B, 0x200F},
    {0x20D0, 0x20FF}, {0xFE00, 0xFE0F}, {0xFE20, 0xFE2F},
};

template <size_t N>
bool InRanges(const Range (&ranges)[N], uint32_t c) {
  for (const Range& r : ranges) {
    if (c >= r.first && c <= r.last) return true;
  }
  return false;
}

// The code point at `pos` and how many units it takes (UTF-16 on Windows, a
// pair there for a character outside the BMP); a lone surrogate stands for itself.
size_t CodePointAt(const std::wstring& text, size_t pos, uint32_t* c) {
  const uint32_t unit = static_cast<uint32_t>(text[pos]);
  if (unit >= 0xD800 && unit <= 0xDBFF && pos + 1 < text.size()) {
    const uint32_t low = static_cast<uint32_t>(text[pos + 1]);
    if (low >= 0xDC00 && low <= 0xDFFF) {
      *c = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
      return 2;
    }
  }
  *c = unit;
  return 1;
}

std::wstring PercentColumn(int percent) {
  const std::wstring text = std::to_wstring(percent) + L"%";
  return std::wstring(text.size() < 4 ? 4 - text.size() : 0, L' ') + text;
}
}  // namespace

int CellWidth(uint32_t c) {
  if (InRanges(kZeroWidth, c)) return 0;
  return InRanges(kWide, c) ? 2 : 1;
}

size_t TextCells(const std::wstring& text) {
  size_t cells = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    uint32_t c = 0;
    pos += CodePointAt(text, pos, &c);
    cells += static_cast<size_t>(CellWidth(c));
  }
  return cells;
}

std::wstring FitToCells(const std::wstring& text, size_t cells) {
  size_t used = 0;
  size_t pos = 0;
  while (pos < text.size()) {
    uint32_t c = 0;
    const size_t units = CodePointAt(text, pos, &c);
    const size_t width = static_cast<size_t>(CellWidth(c));
    if (used + width > cells) break;
    used += width;
    pos += units;
  }
  return text.substr(0, pos);
}

std::wstring LiveBoard::Row(const std::wstring& text) const {
  // Writing the last cell moves a console's cursor to the next line; a full
  // line would then leave an empty one after it.
  return FitToCells(text, m_columns > 1 ? m_columns - 1 : 0);
}

std::vector<std::wstring> LiveBoard::Block() const {
  std::vector<std::wstring> rows;
  for (const Printer& p : m_printers) rows.push_back(Row(p.text));
  return rows;
}

void LiveBoard::Draw() {
  m_columns = m_writer.Columns();
  std::vector<std::pair<size_t, std::wstring>> changed;
  for (size_t i = 0; i < m_printers.size(); ++i) {
    std::wstring row = Row(m_printers[i].text);
    if (row == m_printers[i].drawn) continue;
    m_printers[i].drawn = row;
    changed.emplace_back(i, std::move(row));
  }
  if (!changed.empty()) m_writer.Replace(changed);
  m_lastDraw = TickCountMs();
}

void LiveBoard::Begin(const std::vector<std::wstring>& names) {
  std::lock_guard<std::mutex> lock(m_lock);
  m_columns = m_writer.Columns();
  m_nameCells = 0;
  for (const std::wstring& name : names) {
    const size_t cells = TextCells(name);
    if (cells > m_nameCells) m_nameCells = cells < kNameCellsMax ? cells : kNameCellsMax;
  }
  m_printers.assign(names.size(), Printer());
  for (size_t i = 0; i < names.size(); ++i) {
    Printer& p = m_printers[i];
    p.name = names[i];
    const size_t cells = TextCells(p.name);
    p.padded = p.name + std::wstring(cells < m_nameCells ? m_nameCells - cells : 0, L' ');
    p.text = p.padded + L"        waiting to start";
  }
  const std::vector<std::wstring> rows = Block();
  for (size_t i = 0; i < rows.size(); ++i) m_printers[i].drawn = rows[i];
  m_writer.WriteFromTop(rows, rows.size());
  m_lastDraw = TickCountMs();
}

void LiveBoard::Progress(size_t index, const UpdateProgressState& state, UpdateProgressEvent what) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (index >= m_printers.size() || m_printers[index].ended) return;
  // Set back to Idle: checked, and waiting for the run's next step (the gates,
  // the spooler, a place among those written at once). News before the first
  // phase changes nothing a person needs.
  const bool setBack = state.phase == UpdatePhase::Idle && what == UpdateProgressEvent::Phase;
  const wchar_t* phase = setBack ? L"waiting its turn" : RunPhaseText(state.phase);
  // Done carries no text of its own: End follows with the outcome.
  if (!phase) return;
  Printer& p = m_printers[index];
  int percent = state.percent;
  if (state.phase == UpdatePhase::Sending && state.bytesTotal > 0) {
    percent = static_cast<int>(state.bytesSent * 100 / state.bytesTotal);
  }
  p.text = p.padded + L"  " + PercentColumn(percent) + L"  " + phase;
  if (state.secondsWaited > 0) p.text += L", " + std::to_wstring(state.secondsWaited) + L" s";
  if (what == UpdateProgressEvent::Phase || TickCountMs() - m_lastDraw >= kRedrawMs) Draw();
}

void LiveBoard::End(size_t index, UpdateOutcome outcome, const std::wstring& detail) {
  std::lock_guard<std::mutex> lock(m_lock);
  if (index >= m_printers.size()) return;
  Printer& p = m_printers[index];
  p.ended = true;
  // The detail names the printer the line already names.
  const std::wstring prefix = p.name + L": ";
  const bool named = detail.compare(0, prefix.size(), prefix) == 0;
  p.text = p.padded + L"  " + OutcomeText(outcome) + L": " + (named ? detail.substr(prefix.size()) : detail);
  Draw();
}

void LiveBoard::Line(const std::wstring& text) {
  std::lock_guard<std::mutex> lock(m_lock);
  // Above the block, whole: the console wraps it if need be.
  std::vector<std::wstring> lines{text};
  const std::vector<std::wstring> rows = Block();
  for (size_t i = 0; i < rows.size(); ++i) m_printers[i].drawn = rows[i];
  lines.insert(lines.end(), rows.begin(), rows.end());
  m_writer.WriteFromTop(lines, rows.size());
}
