#include "app/unattended_startup.h"

#include <filesystem>
#include <system_error>

#include "app/history_listing.h"
#include "app/run_report.h"
#include "host/logger.h"
#include "host/program_data.h"
#include "host/properties.h"
#include "host/strings.h"
#include "host/text_insert.h"
#include "printer/installed_printers.h"
#include "printer/product_name.h"
#include "printer/services.h"
#include "resources/resource.h"
#include "resources/version.h"
#include "update/firmware_choice.h"
#include "update/run_rescue.h"

namespace {
constexpr uint32_t kBoxErrorOk = 16;  // MB_ICONERROR | MB_OK
constexpr size_t kPathMax = 260;
constexpr size_t kMessageMax = 1024;

void Say(const RunOutput& output, const std::wstring& text) {
  if (output) output(text);
}

// Splits the usage into lines for the output.
void SayLines(const RunOutput& output, const std::wstring& text) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(L"\r\n", start);
    if (end == std::wstring::npos) end = text.size();
    Say(output, text.substr(start, end - start));
    start = end + 2;
  }
}

// The history's folder and files, when they are fit to use: `folder` empty
// when the computer has none. False (logged, `why` says so) for a folder or
// file that is a junction or link, of the wrong kind or another account's.
bool HistoryPlaceUsable(std::wstring* folder, std::wstring* why) {
  folder->clear();
  std::wstring found;
  const ProgramDataStatus status = GetProgramDataFolder(&found, why);
  if (status == PROGRAM_DATA_REFUSED) return false;
  if (status == PROGRAM_DATA_FOUND && !HistoryFilesUsable(found, why)) return false;
  if (status == PROGRAM_DATA_FOUND) *folder = found;
  return true;
}

// /history: the listing, which needs neither the configuration nor the
// instance lock.
int ListHistory(const CommandLine& line, const RunOutput& output) {
  std::wstring folder;
  std::wstring why;
  std::vector<HistoryEntry> entries;
  if (!HistoryPlaceUsable(&folder, &why)) {
    // What a standard user could have laid there is neither listed nor reported.
    Say(output, L"ERROR: " + why);
    return EXITCODE_FAILED;
  }
  if (!folder.empty()) entries = ReadHistory(folder, static_cast<size_t>(line.history));
  SayLines(output, HistoryTable(entries));
  // A tool that asked for the JSON must not take a missing file for an empty history.
  if (!line.reportPath.empty() && !WriteReportFile(HistoryJson(entries), line.reportPath)) {
    Say(output, L"The report could not be written to " + line.reportPath);
    return EXITCODE_FAILED;
  }
  return EXITCODE_OK;
}

// While the run goes, a console close has the report written from what the
// run knows by then; the run's own report replaces it after.
class RescuedReport {
 public:
  explicit RescuedReport(const std::wstring& path) {
    if (path.empty()) return;
    SetRescueReportWriter([path](const RunReport& known) {
      RunReport report = known;
      report.exitCode = RunExitCode(report);
      WriteRunReport(report, path);
    });
  }
  ~RescuedReport() { SetRescueReportWriter(nullptr); }
  RescuedReport(const RescuedReport&) = delete;
  RescuedReport& operator=(const RescuedReport&) = delete;
};

// The checks after the instance check, then the run: `report` gets the exit
// code and the printers. True when the run took place (its summary is due).
bool RunAfterInstanceCheck(const CommandLine& line, StartupPlatform& platform, CProperties& properties,
                           RfuPlatform& rfuSystem, const RunOutput& output, RunBoard* board, RunReport* report) {
  Logger* log = Logger::Instance();
  if (!platform.IsUserAdmin()) {
    log->ShowStringError(IDS_NOT_ADMIN);
    log->Write(
        L"ERROR: User does NOT have administrator priviledges. Cannot install the printer software without "
        L"administrator priviledges.");
    Say(output, LocalString(IDS_NOT_ADMIN));
    report->exitCode = EXITCODE_NOT_ADMIN;
    return false;
  }

  wchar_t programDirectory[kPathMax];
  if (!platform.ProgramDirectory(programDirectory)) programDirectory[0] = 0;
  if (!InitProperties(properties, programDirectory, platform.FirmwareTrustPolicy())) {
    properties.Dump();
    log->ShowStringError(IDS_MISSING_CONFIG);
    Say(output, LocalString(IDS_MISSING_CONFIG));
    report->exitCode = EXITCODE_CONFIGURATION;
    return false;
  }
  properties.Dump();

  wchar_t seriesName[DLG_NAME_MAX] = {0};
  wchar_t product[PRODUCT_NAME_MAX] = {0};
  properties.GetProperty(L"PRINTER_SERIESNAME", seriesName, DLG_NAME_MAX);
  properties.GetProperty(L"PRODUCT", product, PRODUCT_NAME_MAX);
  SetProductName(product);

  UnattendedEnvironment env;
  properties.GetPropertyList(L"DRIVER_NAMES", env.driverNames);
  properties.GetPropertyList(L"BIN_FILES", env.tables.binfileList);
  properties.GetPropertyList(L"ASIAN_BIN_FILES", env.tables.asianBinfileList);
  properties.GetPropertyList(L"BIN_FILES_AND_IDS", env.tables.binfileListWithIDs);
  env.tables.programDirectory = programDirectory;
  env.rfuSystem = &rfuSystem;
  env.output = output;
  env.board = board;

  PrinterNameList found;
  // A run that was cut off (killed, a crash, a power cut) can leave the
  // spooler stopped: no printer would be listed, the run would end as if none
  // were installed, and nothing on this computer would print again.
  // A check changes nothing on this computer: a stopped spooler stays so, and
  // without it no printer can be listed.
  if (line.checkOnly && !ServiceIsRunning()) {
    const wchar_t* text = L"The print spooler is stopped; a check (/c) does not start it: no printer can be listed.";
    log->Write(L"ERROR: %ls", text);
    Say(output, text);
    report->exitCode = EXITCODE_FAILED;
    return false;
  }
  if (!EnsureServiceRunning()) {
    const wchar_t* text = L"The print spooler is not running and could not be started: no printer can be listed.";
    log->Write(L"ERROR: %ls", text);
    Say(output, text);
    report->exitCode = EXITCODE_FAILED;
    return false;
  }
  if (FindInstalledPrinters(&found, env.driverNames, 0) == 0) {
    wchar_t message[kMessageMax];
    InsertTextValue(message, kMessageMax, LocalString(IDS_NO_PRINTER).c_str(), seriesName);
    log->ShowMessageTyped(kBoxErrorOk, L"%ls", message);
    Say(output, message);
    report->exitCode = EXITCODE_NO_DEVICE;
    return false;
  }
  log->Write(L"++ Found %d printers", static_cast<int>(found.size()));
  // The updates go on without their history; the tool learns it from the
  // exit code, as for a report that cannot be written.
  std::wstring historyFolder;
  std::wstring why;
  const bool historyUsable = HistoryPlaceUsable(&historyFolder, &why);
  if (!historyUsable) Say(output, L"ERROR: " + why + L"; the updates are not recorded in the history.");
  RescuedReport rescued(line.reportPath);
  *report = RunUnattended(line, env);
  if (!historyUsable) report->exitCode = WorseExitCode(static_cast<ExitCode>(report->exitCode), EXITCODE_FAILED);
  return true;
}

// Puts the report where /report asked, when it did. A tool that asked for it
// reads its exit code from it: one that cannot be written fails the run.
void WriteRequestedReport(RunReport* report, const std::wstring& path, const RunOutput& output) {
  if (path.empty() || WriteRunReport(*report, path)) return;
  report->exitCode = WorseExitCode(static_cast<ExitCode>(report->exitCode), EXITCODE_FAILED);
  Logger::Instance()->Write(L"The report could not be written to %ls: exit code %d", path.c_str(), report->exitCode);
  Say(output, L"The report could not be written to " + path);
}

}  // namespace

int RunCommandLine(const std::vector<std::wstring>& args, StartupPlatform& platform, CProperties& properties,
                   RfuPlatform& rfuSystem, const RunOutput& output, RunBoard* board) {
  CommandLine line;
  std::wstring error;
  const bool parsed = ParseCommandLine(args, &line, &error);
  if (parsed && line.help) {
    SayLines(output, UsageText());
    return EXITCODE_OK;
  }

  Logger* log = Logger::Instance();
  // Silent before anything can show a box.
  log->SetBoxesSilent(parsed ? line.silent : true);
  if (parsed && !line.logPath.empty()) {
    // A bare name would go to the Windows folder's Temp: take it from where
    // the run was started, as a script means it.
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(line.logPath), error);
    log->InitLogFileNamed(error ? line.logPath.c_str() : full.wstring().c_str());
  } else {
    platform.InitLogFile();
  }
  log->SetTag(L"TIDWY");
  log->SetCaption(L"Error");
  log->Write(L"================= Firmware Update ========================");
  log->Write(L"Version: %ls", L"" TIDEWAY_VERSION_TEXT);
  log->Write(L"Command line:%ls", CommandLineForLog(args).c_str());

  RunReport report;
  if (!parsed) {
    log->Write(L"Bad command line: %ls", error.c_str());
    Say(output, L"Bad command line: " + error);
    Say(output, L"");
    SayLines(output, UsageText());
    report.exitCode = EXITCODE_USAGE;
    WriteRequestedReport(&report, ReportPathOfRefusedLine(args), output);
    log->Write(L"Unattended run ends with exit code %d", report.exitCode);
    return report.exitCode;
  }

  if (line.history) return ListHistory(line, output);

  const bool locked = OwnsInstanceLock(platform.CreateInstanceMutex(APP_INSTANCE_MUTEX_NAME));
  bool ran = false;
  if (!locked) {
    log->ShowStringMessage();
    log->Write(L"There is already a copy of the firmware update program.  Aborting...");
    Say(output, LocalString(IDS_ALREADY_RUNNING));
    report.exitCode = EXITCODE_ALREADY_RUNNING;
  } else {
    ran = RunAfterInstanceCheck(line, platform, properties, rfuSystem, output, board, &report);
  }
  // Before the mutex goes: the next run starts after this one's report is in place.
  WriteRequestedReport(&report, line.reportPath, output);
  if (ran) SayLines(output, SummaryText(report));
  log->Write(L"Unattended run ends with exit code %d", report.exitCode);
  if (locked) platform.ReleaseInstanceMutex();
  return report.exitCode;
}
