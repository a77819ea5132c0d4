#include "app/history_listing.h"

#include "app/unattended_run.h"

std::wstring HistoryTable(const std::vector<HistoryEntry>& entries) {
  if (entries.empty()) return L"No update is recorded on this computer.\r\n";
  std::wstring text = TableColumn(L"time (UTC)", 20) + TableColumn(L"printer", 28) + TableColumn(L"kind", 8) +
                      TableColumn(L"version before", 16) + TableColumn(L"version after", 16) + L"outcome\r\n";
  for (const HistoryEntry& e : entries) {
    const PrinterReport& p = e.printer;
    text += TableColumn(e.time, 20) + TableColumn(p.name, 28) + TableColumn(p.kind.empty() ? L"-" : p.kind, 8) +
            TableColumn(ReportVersionText(p.versionBefore), 16) + TableColumn(ReportVersionText(p.versionAfter), 16) +
            OutcomeText(p.outcome) + L"\r\n";
  }
  return text;
}

std::string HistoryJson(const std::vector<HistoryEntry>& entries) {
  ReportJson list = ReportJson::array();
  for (const HistoryEntry& e : entries) list.push_back(HistoryEntryJson(e));
  return ReportJsonText(ReportJson{{"history", list}}, 2) + "\n";
}
