#include "app/printer_state.h"

const wchar_t PRINTER_STATE_KEY_PATH[] = L"SOFTWARE\\Local AppWizard-Generated Applications\\tideway\\Printers";

std::wstring PrinterStateKeyName(const std::wstring& queue) {
  std::wstring name = queue;
  for (wchar_t& c : name) {
    if (c == L'\\') c = L',';
  }
  return name;
}

std::vector<PrinterStateValue> PrinterStateValues(const PrinterReport& report, const std::wstring& time) {
  const ReportVersion* now = nullptr;
  if (report.versionAfter.known) {
    now = &report.versionAfter;
  } else if (report.outcome == UpdateOutcome::Updated) {
    if (report.fileVersion.known) now = &report.fileVersion;
  } else if (report.versionBefore.known) {
    now = &report.versionBefore;
  }
  std::vector<PrinterStateValue> values;
  if (now) values.push_back({L"FirmwareVersion", ReportVersionText(*now)});
  values.push_back({L"LastOutcome", OutcomeText(report.outcome)});
  values.push_back({L"LastUpdate", time});
  values.push_back({L"FirmwareFile", report.file});
  return values;
}
