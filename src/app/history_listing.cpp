#include "app/history_listing.h"

#include <cwchar>

#include "app/unattended_run.h"

namespace {

// Marks that steer a terminal or the direction of text (C0, DEL, C1, the
// line and paragraph separators, the bidirectional embeddings, overrides and
// isolates): a line in the history may come from anyone who could write it.
bool IsControl(wchar_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0x200E || c == 0x200F || (c >= 0x2028 && c <= 0x202E) ||
         (c >= 0x2066 && c <= 0x2069);
}

// The text with each control shown as \xNN or \uNNNN.
std::wstring Visible(const std::wstring& text) {
  std::wstring shown;
  for (const wchar_t c : text) {
    if (!IsControl(c)) {
      shown += c;
      continue;
    }
    wchar_t escape[8];
    swprintf(escape, sizeof escape / sizeof escape[0], c < 0x100 ? L"\\x%02x" : L"\\u%04x", static_cast<unsigned>(c));
    shown += escape;
  }
  return shown;
}

std::wstring Cell(const std::wstring& text, size_t width) { return TableColumn(Visible(text), width); }

}  // namespace

std::wstring HistoryTable(const std::vector<HistoryEntry>& entries) {
  if (entries.empty()) return L"No update is recorded on this computer.\r\n";
  std::wstring text = TableColumn(L"time (UTC)", 20) + TableColumn(L"printer", 28) + TableColumn(L"kind", 8) +
                      TableColumn(L"version before", 16) + TableColumn(L"version after", 16) + L"outcome\r\n";
  for (const HistoryEntry& e : entries) {
    const PrinterReport& p = e.printer;
    text += Cell(e.time, 20) + Cell(p.name, 28) + Cell(p.kind.empty() ? L"-" : p.kind, 8) +
            Cell(ReportVersionText(p.versionBefore), 16) + Cell(ReportVersionText(p.versionAfter), 16) +
            OutcomeText(p.outcome) + L"\r\n";
  }
  return text;
}

std::string HistoryJson(const std::vector<HistoryEntry>& entries) {
  ReportJson list = ReportJson::array();
  for (const HistoryEntry& e : entries) list.push_back(HistoryEntryJson(e));
  return ReportJsonText(ReportJson{{"history", list}}, 2) + "\n";
}
