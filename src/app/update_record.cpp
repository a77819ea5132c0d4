#include "app/update_record.h"

#include <mutex>

#include "app/printer_state.h"
#include "host/computer_names.h"
#include "host/program_data.h"
#include "host/utc_time.h"
#include "resources/version.h"

HistoryEntry HistoryEntryNow(const PrinterReport& report) {
  HistoryEntry entry;
  entry.time = UtcIso8601(UnixTimeNow());
  entry.computer = ComputerName();
  entry.user = UserName();
  entry.printer = report;
  entry.programVersion = L"" TIDEWAY_VERSION_TEXT;
  return entry;
}

void RecordUpdate(const PrinterReport& report) {
  // One line at a time: a rotation must not move the file under another
  // update's append. Never destroyed: a worker may still record at exit.
  static std::mutex& lock = *new std::mutex;
  const HistoryEntry entry = HistoryEntryNow(report);
  std::lock_guard<std::mutex> hold(lock);
  std::wstring folder;
  if (GetProgramDataFolder(&folder) == PROGRAM_DATA_FOUND) AppendHistory(folder, entry);
  if (report.outcome != UpdateOutcome::NotFound) WritePrinterState(report, entry.time);
}
