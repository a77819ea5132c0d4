#include "app/run_report.h"

#include <cstdio>
#include <cwchar>

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

namespace {

constexpr int kTemporaryTries = 4;

// A file of this process's own beside `path`, created new under a name drawn
// at random: the folder may be one where others create files (the root of
// %ProgramData%), and a name they could foresee could be theirs already, a
// link to a file elsewhere included. Empty when none could be made.
std::wstring CreateTemporaryBeside(const std::wstring& path, UniqueFile* file) {
  for (int attempt = 0; attempt < kTemporaryTries; ++attempt) {
    unsigned char random[8];
    if (!RandomBytes(random, sizeof random)) return std::wstring();
    wchar_t name[2 * sizeof random + 1];
    for (size_t i = 0; i < sizeof random; ++i) swprintf(name + 2 * i, 3, L"%02x", static_cast<unsigned>(random[i]));
    const std::wstring temporary = path + L"." + name + L".tmp";
    file->reset(CreateNewFileWide(temporary.c_str()));
    if (*file) return temporary;
  }
  return std::wstring();
}

}  // namespace

bool WriteReportFile(const std::string& text, const std::wstring& path) {
  // A deployment tool may read the report at any moment, and a kill or a full
  // disk must not leave half a document: the whole text goes to a file of
  // this process's own beside it, then replaces the report in one step.
  Logger* log = Logger::Instance();
  std::wstring temporary;
  {
    UniqueFile file;
    temporary = CreateTemporaryBeside(path, &file);
    if (!file) {
      log->WriteError(LastSystemError(), L"Cannot write the report %ls: no file of its own beside it", path.c_str());
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
