#include "app/run_report.h"

#include <cstdio>

#include "app/report_json.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "host/unique_file.h"

std::string RunReportJson(const RunReport& report) {
  ReportJson printers = ReportJson::array();
  for (const PrinterReport& p : report.printers) printers.push_back(PrinterReportJson(p));
  const ReportJson document = {{"exitCode", static_cast<int>(report.exitCode)}, {"printers", printers}};
  return ReportJsonText(document, 2) + "\n";
}

bool WriteRunReport(const RunReport& report, const std::wstring& path) {
  return WriteReportFile(RunReportJson(report), path);
}

bool WriteReportFile(const std::string& text, const std::wstring& path) {
  UniqueFile file(OpenFileWide(path.c_str(), "wb"));
  if (!file) {
    Logger::Instance()->WriteError(LastSystemError(), L"Cannot write the report %ls", path.c_str());
    return false;
  }
  if (fwrite(text.data(), 1, text.size(), file.get()) != text.size() || fflush(file.get()) != 0) {
    Logger::Instance()->Write(L"Cannot write the report %ls", path.c_str());
    return false;
  }
  return true;
}
