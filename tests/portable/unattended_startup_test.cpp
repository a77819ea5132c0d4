// The command line's start-up: the dialog's checks become exit codes, and with
// /s the boxes become log lines, driven through the platform seam with a fake
// spooler and a properties file in a folder of the test's own.
#include "app/unattended_startup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "app/history_listing.h"
#include "app/update_history.h"
#include "host/logger.h"
#include "host/program_data.h"
#include "host/properties.h"
#include "host/text_utils.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_service.h"
#include "support/fake_spooler.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"
#include "update/run_rescue.h"

namespace fs = std::filesystem;

namespace {
class FakePlatform : public StartupPlatform {
 public:
  int mutexResult = INSTANCE_MUTEX_OWNED;
  int admin = 1;
  std::wstring directory;
  std::vector<std::string> calls;

  void InitCommonControls() override { calls.push_back("controls"); }
  void InitLogFile() override { calls.push_back("log"); }
  int CreateInstanceMutex(const wchar_t*) override {
    calls.push_back("mutex");
    return mutexResult;
  }
  void ReleaseInstanceMutex() override { calls.push_back("release"); }
  int IsUserAdmin() override {
    calls.push_back("admin");
    return admin;
  }
  int ProgramDirectory(wchar_t* out) override {
    CopyText(out, 260, directory.c_str());
    return 1;
  }
  int RunMainDialog() override {
    calls.push_back("dialog");
    return 2;
  }
  FirmwarePolicy policy;
  FirmwarePolicy FirmwareTrustPolicy() override { return policy; }
};

FirmwarePolicy RequiredByPolicy() {
  FirmwarePolicy policy;
  policy.requireState = POLICY_VALUE_SET;
  policy.require = 1;
  return policy;
}

std::vector<FakePrinter> OnePrinterOrNone(bool installed) {
  if (!installed) return {};
  return {{L"QV T1", L"IP_127.64.0.1", L"QV T Driver", L"", 0}};
}

// A fresh program folder (with "properties.ini" when given), the platform's
// answers, and the spooler with the one printer or none.
struct StartupScene {
  StartupScene(const fs::path& dir, int mutex, int admin, const char* properties, bool printerInstalled)
      : spooler(OnePrinterOrNone(printerInstalled)) {
    fs::remove_all(dir);
    fs::create_directories(dir);
    if (properties) std::ofstream(dir / "properties.ini", std::ios::binary) << properties;
    platform.mutexResult = mutex;
    platform.admin = admin;
    platform.directory = (dir / "").wstring();
  }
  FakePlatform platform;
  FakeSpooler spooler;
  FakeSpoolerService service{spooler};
  FakeClock clock;
  CProperties table;
};

const char kProperties[] =
    "PRINTER_SERIESNAME = \"QV T\"\n"
    "DRIVER_NAMES = \"QV T Driver\"\n"
    "BIN_FILES = \"Nothing*, none.bin\"\n";
}  // namespace

TEST(UnattendedStartup, ChecksBecomeExitCodes) {
  using Calls = std::vector<std::string>;
  struct Case {
    const char* name;
    std::vector<std::wstring> args;
    int mutex, admin;
    const char* properties;  // nullptr: no properties.ini
    bool printerInstalled;
    int code;
    Calls calls;
    const wchar_t* logLine;  // nullptr: the log is not opened
    const wchar_t* box;      // the one box shown, or nullptr for none
    const wchar_t* output;   // part of a line of the output
    // The spooler service as the run finds it; a start of it fails with this
    // error when nonzero.
    bool spoolerRunning = true;
    uint32_t spoolerStartError = 0;
  } cases[] = {
      {"usage",
       {L"/?"},
       INSTANCE_MUTEX_OWNED,
       1,
       kProperties,
       true,
       EXITCODE_OK,
       {},
       nullptr,
       nullptr,
       L"  /printer:NAME "},
      // A listing needs neither the lock nor administrator rights.
      {"history",
       {L"/history"},
       INSTANCE_MUTEX_EXISTS,
       0,
       nullptr,
       false,
       EXITCODE_OK,
       {"log"},
       L"Command line: /history",
       nullptr,
       L"No update is recorded on this computer."},
      {"bad switch",
       {L"/s", L"/printer"},
       INSTANCE_MUTEX_OWNED,
       1,
       kProperties,
       true,
       EXITCODE_USAGE,
       {"log"},
       L"Bad command line: \"/printer\": needs a value",
       nullptr,
       L"  6  another copy is running"},
      {"second copy",
       {L"/s"},
       INSTANCE_MUTEX_EXISTS,
       1,
       kProperties,
       true,
       EXITCODE_ALREADY_RUNNING,
       {"log", "mutex"},
       L"No box (silent): There is already a copy of the firmware update program running.",
       nullptr,
       L"There is already a copy"},
      // A lock another session's copy made that this account may not open.
      {"lock not taken",
       {L"/s"},
       INSTANCE_MUTEX_NONE,
       1,
       kProperties,
       true,
       EXITCODE_ALREADY_RUNNING,
       {"log", "mutex"},
       L"The single-instance lock could not be taken: taken for another copy.",
       nullptr,
       L"There is already a copy"},
      {"not an administrator",
       {L"/s", L"/c"},
       INSTANCE_MUTEX_OWNED,
       0,
       kProperties,
       true,
       EXITCODE_NOT_ADMIN,
       {"log", "mutex", "admin", "release"},
       L"No box (silent): Insufficient permissions.  You must have administrator rights to update the firmware for "
       L"this product.",
       nullptr,
       L"Insufficient permissions."},
      {"no configuration",
       {L"/s"},
       INSTANCE_MUTEX_OWNED,
       1,
       nullptr,
       true,
       EXITCODE_CONFIGURATION,
       {"log", "mutex", "admin", "release"},
       L"No box (silent): Missing a configuration file.",
       nullptr,
       L"Missing a configuration file."},
      {"no printer",
       {L"/s"},
       INSTANCE_MUTEX_OWNED,
       1,
       kProperties,
       false,
       EXITCODE_NO_DEVICE,
       {"log", "mutex", "admin", "release"},
       L"No box (silent): Cannot find a QV T printer installed on this system.",
       nullptr,
       L"Cannot find a QV T"},
      // The spooler left stopped by a run that was cut off is started before
      // the printers are listed (else none is found: 4).
      {"no file for the printer, the spooler left stopped",
       {L"/s"},
       INSTANCE_MUTEX_OWNED,
       1,
       kProperties,
       true,
       EXITCODE_FAILED,
       {"log", "mutex", "admin", "release"},
       L"Unattended run ends with exit code 1",
       nullptr,
       L"exit code 1",
       false},
      {"spooler cannot be started",
       {L"/s"},
       INSTANCE_MUTEX_OWNED,
       1,
       kProperties,
       true,
       EXITCODE_FAILED,
       {"log", "mutex", "admin", "release"},
       L"ERROR: The print spooler is not running and could not be started: no printer can be listed.",
       nullptr,
       L"The print spooler is not running and could not be started",
       false,
       1058},
      // A check changes nothing here: a stopped spooler is said, not started.
      {"check with the spooler stopped",
       {L"/s", L"/c"},
       INSTANCE_MUTEX_OWNED,
       1,
       kProperties,
       true,
       EXITCODE_FAILED,
       {"log", "mutex", "admin", "release"},
       L"ERROR: The print spooler is stopped; a check (/c) does not start it: no printer can be listed.",
       nullptr,
       L"a check (/c) does not start it",
       false},
      // Without /s the boxes are shown as from the dialog.
      {"not silent",
       {L"/c"},
       INSTANCE_MUTEX_OWNED,
       0,
       kProperties,
       true,
       EXITCODE_NOT_ADMIN,
       {"log", "mutex", "admin", "release"},
       nullptr,
       L"Insufficient permissions.  You must have administrator rights to update the firmware for this product.",
       L"Insufficient permissions."},
  };
  const fs::path dir = fs::temp_directory_path() / ("tideway-cli-" + std::to_string(std::random_device{}()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartupScene scene(dir, c.mutex, c.admin, c.properties, c.printerInstalled);
    FakePlatform& platform = scene.platform;
    scene.service.SetRunning(c.spoolerRunning);
    scene.service.startError = c.spoolerStartError;
    // Nothing listens there: the printer's questions fail at once.
    FakePortSource ports;
    ports.AddXcvAnswer(L"IP_127.64.0.1", L"127.64.0.1");
    LogCapture log;
    BoxCapture boxes;
    ScriptedRfuPlatform rfu;
    std::vector<std::wstring> output;

    const int code = RunCommandLine(c.args, platform, scene.table, rfu,
                                    [&output](const std::wstring& line) { output.push_back(line); });
    Logger::Instance()->SetBoxesSilent(false);

    EXPECT_EQ(code, c.code);
    const bool checkOnly = std::find(c.args.begin(), c.args.end(), L"/c") != c.args.end();
    EXPECT_EQ(scene.service.Running(), c.spoolerStartError == 0 && (c.spoolerRunning || !checkOnly));
    EXPECT_EQ(platform.calls, c.calls);
    if (c.logLine) {
      EXPECT_TRUE(log.Contains(c.logLine));
    }
    const std::vector<CapturedBox> shown = boxes.Boxes();
    EXPECT_EQ(shown.size(), c.box ? 1u : 0u);
    if (c.box && !shown.empty()) {
      EXPECT_EQ(shown[0].text, c.box);
    }
    bool said = false;
    for (const std::wstring& line : output) said |= line.find(c.output) != std::wstring::npos;
    EXPECT_TRUE(said) << "no output line with the expected text";
  }
  fs::remove_all(dir);
}

// Every exit after the switches were read answers the tool that reads the
// report, so no earlier run's report (with its code) is left in its place; a
// report that cannot be written makes the run a failure; the SNMP community
// names never reach the log.
TEST(UnattendedStartup, EveryExitWritesTheReport) {
  struct Case {
    const char* name;
    std::vector<std::wstring> args;  // /report:<folder>/report.json is added
    int mutex, admin;
    const char* properties;
    bool printerInstalled;
    int code;
    int reported;  // the report's exitCode; -1: no report
    FirmwarePolicy policy = {};
  } cases[] = {
      {"bad switch", {L"/bogus"}, INSTANCE_MUTEX_OWNED, 1, kProperties, true, EXITCODE_USAGE, EXITCODE_USAGE},
      {"two report files", {L"/report:other.json"}, INSTANCE_MUTEX_OWNED, 1, kProperties, true, EXITCODE_USAGE, -1},
      {"second copy",
       {},
       INSTANCE_MUTEX_EXISTS,
       1,
       kProperties,
       true,
       EXITCODE_ALREADY_RUNNING,
       EXITCODE_ALREADY_RUNNING},
      {"not an administrator", {}, INSTANCE_MUTEX_OWNED, 0, kProperties, true, EXITCODE_NOT_ADMIN, EXITCODE_NOT_ADMIN},
      {"no configuration", {}, INSTANCE_MUTEX_OWNED, 1, nullptr, true, EXITCODE_CONFIGURATION, EXITCODE_CONFIGURATION},
      {"no printer", {}, INSTANCE_MUTEX_OWNED, 1, kProperties, false, EXITCODE_NO_DEVICE, EXITCODE_NO_DEVICE},
      {"signed firmware required by policy, no signers",
       {},
       INSTANCE_MUTEX_OWNED,
       1,
       kProperties,
       true,
       EXITCODE_CONFIGURATION,
       EXITCODE_CONFIGURATION,
       RequiredByPolicy()},
      {"report not writable",
       {L"/report:missing/r.json"},
       INSTANCE_MUTEX_OWNED,
       1,
       kProperties,
       false,
       EXITCODE_FAILED,
       -1},
  };
  const fs::path dir = fs::temp_directory_path() / ("tideway-cli-" + std::to_string(std::random_device{}()));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartupScene scene(dir, c.mutex, c.admin, c.properties, c.printerInstalled);
    scene.platform.policy = c.policy;
    const fs::path report = dir / "report.json";
    std::ofstream(report, std::ios::binary) << "{\"exitCode\": 0, \"printers\": []}\n";
    LogCapture log;
    ScriptedRfuPlatform rfu;
    std::vector<std::wstring> args = {L"/s", L"/getcommunity:s3cret"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    for (std::wstring& arg : args) {
      if (arg.rfind(L"/report:", 0) == 0) arg = L"/report:" + (dir / arg.substr(8)).wstring();
    }
    if (std::string(c.name) != "report not writable") args.push_back(L"/report:" + report.wstring());

    EXPECT_EQ(RunCommandLine(args, scene.platform, scene.table, rfu, nullptr), c.code);
    Logger::Instance()->SetBoxesSilent(false);
    std::ifstream in(report, std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const int reported = c.reported < 0 ? 0 : c.reported;  // else the earlier report is left alone
    EXPECT_NE(text.find("\"exitCode\": " + std::to_string(reported) + ","), std::string::npos) << text;
    EXPECT_TRUE(log.ContainsPart(L" /getcommunity:*** "));
    EXPECT_FALSE(log.ContainsPart(L"s3cret"));
  }
  fs::remove_all(dir);
}

// A console close during the run has the report written from what the run
// knows by then: a deployment tool that finds it after the process was ended
// reads the failure, not the fleet's unset code.
TEST(UnattendedStartup, ACloseDuringTheRunReportsAFailure) {
  // The close comes at the run's first look at the clock once the report
  // can be rescued (a close before it has nothing to write).
  class ClosingClock : public FakeClock {
   public:
    explicit ClosingClock(fs::path report) : m_report(std::move(report)) {}
    uint32_t TickCount() override {
      // The run's threads look too; the rescue's own log lines come back here.
      std::lock_guard<std::recursive_mutex> lock(m_lock);
      if (m_rescued.empty() && !m_closing) {
        m_closing = true;
        RescueRun(L"the console was closed");
        std::ifstream in(m_report, std::ios::binary);
        m_rescued.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        m_closing = false;
      }
      return FakeClock::TickCount();
    }
    std::string m_rescued;

   private:
    fs::path m_report;
    std::recursive_mutex m_lock;
    bool m_closing = false;
  };
  const fs::path dir = fs::temp_directory_path() / ("tideway-cli-" + std::to_string(std::random_device{}()));
  StartupScene scene(dir, INSTANCE_MUTEX_OWNED, 1, kProperties, true);
  const fs::path report = dir / "report.json";
  ClosingClock clock(report);
  FakePortSource ports;
  ports.AddXcvAnswer(L"IP_127.64.0.1", L"127.64.0.1");
  LogCapture log;
  ScriptedRfuPlatform rfu;

  RunCommandLine({L"/s", L"/report:" + report.wstring()}, scene.platform, scene.table, rfu, nullptr);
  Logger::Instance()->SetBoxesSilent(false);
  EXPECT_NE(clock.m_rescued.find("\"exitCode\": 1,"), std::string::npos) << clock.m_rescued;
  RescueRecordRun(RunReport());
  fs::remove_all(dir);
}

TEST(UnattendedStartup, HistoryListsTheLastEntriesAndWritesThemAsJson) {
  const fs::path dir = fs::temp_directory_path() / ("tideway-history-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  const std::wstring folder = (dir / "").wstring();
  std::vector<HistoryEntry> written;
  for (const wchar_t* name : {L"Oldest", L"Middle", L"Newest"}) {
    HistoryEntry e;
    e.time = L"2024-03-01T09:05:07Z";
    e.printer.name = name;
    e.printer.kind = L"usb";
    e.printer.versionBefore = {true, 1000, {}};
    e.printer.outcome = UpdateOutcome::Current;
    e.programVersion = L"2.4.1.1";
    ASSERT_TRUE(AppendHistory(folder, e));
    written.push_back(e);
  }
  std::wstring previous;
  GetProgramDataFolder(&previous);
  SetProgramDataFolderForTesting(folder);
  FakePlatform platform;
  CProperties table;
  LogCapture log;
  ScriptedRfuPlatform rfu;
  std::vector<std::wstring> output;
  const std::wstring report = (dir / "history.json").wstring();
  const int code = RunCommandLine({L"/history:2", L"/report:" + report}, platform, table, rfu,
                                  [&output](const std::wstring& line) { output.push_back(line); });
  SetProgramDataFolderForTesting(previous);

  EXPECT_EQ(code, EXITCODE_OK);
  ASSERT_EQ(output.size(), 3u) << "the heading and two entries";
  EXPECT_EQ(output[1].find(L"2024-03-01T09:05:07Z Middle "), 0u) << output[1];
  EXPECT_EQ(output[2].find(L"2024-03-01T09:05:07Z Newest "), 0u) << output[2];
  EXPECT_NE(output[2].find(L" 1000 "), std::wstring::npos) << output[2];
  ReportJson document;
  {
    std::ifstream in(dir / "history.json", std::ios::binary);
    document = ReportJson::parse(in, nullptr, false);
  }
  fs::remove_all(dir);
  ASSERT_TRUE(document.is_object());
  EXPECT_EQ(document["history"], ReportJson({HistoryEntryJson(written[1]), HistoryEntryJson(written[2])}));
}

// A history file that is not what the program wrote (here a folder under its
// name, which once silently ended all recording) is neither listed nor
// reported: an ERROR line, and the exit code of a report that cannot be written.
TEST(UnattendedStartup, HistoryRefusesAFileNotFitToUse) {
  const fs::path dir = fs::temp_directory_path() / ("tideway-history-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir / "history.jsonl");
  std::wstring previous;
  GetProgramDataFolder(&previous);
  SetProgramDataFolderForTesting((dir / "").wstring());
  FakePlatform platform;
  CProperties table;
  LogCapture log;
  ScriptedRfuPlatform rfu;
  std::vector<std::wstring> output;
  const fs::path report = dir / "history.json";
  const int code = RunCommandLine({L"/history", L"/report:" + report.wstring()}, platform, table, rfu,
                                  [&output](const std::wstring& line) { output.push_back(line); });
  SetProgramDataFolderForTesting(previous);
  const bool reported = fs::exists(report);
  fs::remove_all(dir);

  EXPECT_EQ(code, EXITCODE_FAILED);
  ASSERT_EQ(output.size(), 1u);
  EXPECT_EQ(output[0].find(L"ERROR: "), 0u) << output[0];
  EXPECT_NE(output[0].find(L"history.jsonl"), std::wstring::npos) << output[0];
  EXPECT_TRUE(log.ContainsPart(L"ERROR: "));
  EXPECT_FALSE(reported);
}

// Anyone who could write a history line could put terminal sequences in it:
// the listing shows them as escapes, never as the controls themselves.
TEST(UnattendedStartup, HistoryShowsControlCharactersEscaped) {
  HistoryEntry e;
  e.time = L"2024-03-01T09:05:07Z";
  e.printer.name = L"A\x1b]0;owned\x07\r\nB\x7f\u202e";
  e.printer.kind = L"usb";
  e.printer.outcome = UpdateOutcome::Updated;
  const std::wstring table = HistoryTable({e});
  EXPECT_NE(table.find(L"A\\x1b]0;owned\\x07\\x0d\\x0aB\\x7f\\u202e "), std::wstring::npos) << table;
  EXPECT_NE(table.find(L"updated\r\n"), std::wstring::npos) << table;
  for (const wchar_t c : table) {
    if (c != L'\r' && c != L'\n') {
      EXPECT_TRUE(c >= 0x20 && c != 0x7f && c != 0x202e) << table;
    }
  }
}
