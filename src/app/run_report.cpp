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
  // A deployment tool may read the report at any moment, and a kill or a full
  // disk must not leave half a document: the whole text goes to a file of
  // this process's own beside it, then replaces the report in one step.
  const std::wstring temporary = path + L"." + std::to_wstring(CurrentProcessId()) + L".tmp";
  Logger* log = Logger::Instance();
  {
    UniqueFile file(OpenFileWide(temporary.c_str(), "wb"));
    if (!file) {
      log->WriteError(LastSystemError(), L"Cannot write the report %ls", temporary.c_str());
      return false;
    }
    bool written = fwrite(text.data(), 1, text.size(), file.get()) == text.size() && FlushFileToDisk(file.get());
    // Closed before a removal: an open file cannot be deleted on Windows.
    written = fclose(file.release()) == 0 && written;
    if (!written) {
      log->WriteError(LastSystemError(), L"Cannot write the report %ls", temporary.c_str());
      RemoveFileWide(temporary.c_str());
      return false;
    }
  }
  if (!ReplaceFileWide(temporary.c_str(), path.c_str())) {
    log->WriteError(LastSystemError(), L"Cannot put the report in place as %ls", path.c_str());
    RemoveFileWide(temporary.c_str());
    return false;
  }
  return true;
}
