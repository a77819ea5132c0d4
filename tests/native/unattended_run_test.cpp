// An unattended run of one network printer on the simulated printer, with the
// RFU setting's SNMP answers scripted: what is written (the burns the printer
// received), the outcome, and every SNMP read and write the gate made without
// a person to ask (the platform under the run sees no prompt and no question).
#include "app/unattended_run.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <set>
#include <string>
#include <vector>

#include "firmware/versions.h"
#include "net/snmp_rfu.h"
#include "ntwk_sim_fixture.h"
#include "printer/usb_device.h"
#include "update/fw_download.h"
#include "update/switch_off_retry.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_service.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"
#include "transport/prll_device.h"

using nettest::SimPrinter;

namespace {
constexpr uint32_t kFileVersion = 20230115;

struct Case {
  const char* name;
  uint32_t printerVersion;
  std::vector<std::wstring> args;
  std::deque<int> reads, writes;  // the RFU setting's scripted SNMP answers
  const wchar_t* outcome;
  ExitCode code;
  size_t burns;
  std::vector<std::wstring> rfuCalls;
  const wchar_t* logLine;  // a line support staff read, or nullptr
  std::vector<std::string> simFaults = {};
  uint32_t spoolerStartError = 0;  // nonzero: the spooler cannot be started (again)
  uint32_t faxStartError = 0;      // nonzero: a service stopped with it cannot
};
}  // namespace

TEST(UnattendedRun, OnePrinterTable) {
  const std::wstring file = fwtest::TempPath(L"update.bin");
  const std::wstring folder = file.substr(0, file.size() - wcslen(L"update.bin"));
  fwtest::WriteFileBytes(file, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, kFileVersion));

  // A printer that never takes the switch-off: asked each second for as long
  // as its restart could last, with the protocol's waits the first time only.
  const std::wstring retry = L"set(tarnel,1) within " + std::to_wstring(SWITCH_OFF_RETRY_ANSWER_WAIT_MS) + L" ms";
  std::deque<int> neverOff = {0};
  std::vector<std::wstring> neverOffCalls = {L"get(tarnel)", L"set(tarnel,2)"};
  for (uint32_t waited = 0; waited <= FWDL_RESTART_LIMIT_MS; waited += FWDL_VERIFY_PASS_WAIT_MS) {
    neverOff.push_back(RFU_SNMP_NO_ANSWER);
    neverOffCalls.push_back(waited == 0 ? L"set(tarnel,1)" : retry);
  }

  const Case cases[] = {
      {"version not readable: nothing written",
       1000,
       {},
       {},
       {},
       L"failed",
       EXITCODE_FAILED,
       0,
       {},
       nullptr,
       {"--fault", "status:value=2,cmd=version"}},
      // /f writes also a printer whose version could not be read.
      {"version not readable, forced: written",
       1000,
       {L"/f"},
       {},
       {},
       L"updated",
       EXITCODE_OK,
       1,
       {},
       nullptr,
       {"--fault", "status:value=2,cmd=version,times=3"}},
      {"check only: nothing written", 1000, {L"/c"}, {}, {}, L"would-update", EXITCODE_OK, 0, {}, nullptr},
      {"check only, current", kFileVersion, {L"/c"}, {}, {}, L"current", EXITCODE_CURRENT, 0, {}, nullptr},
      // /c says what the run would do: /f writes a current printer, and the RFU gate is read, never written.
      {"check only, forced, RFU on",
       kFileVersion,
       {L"/c", L"/f"},
       {RFU_ON},
       {},
       L"would-update",
       EXITCODE_OK,
       0,
       {L"get(tarnel)"},
       nullptr},
      {"check only, gated, no consent",
       20150101,
       {L"/c"},
       {RFU_OFF},
       {},
       L"not-applicable",
       EXITCODE_NOT_APPLICABLE,
       0,
       {L"get(tarnel)"},
       nullptr},
      {"check only, gated, onoff",
       20150101,
       {L"/c", L"/rfu:onoff", L"/getcommunity:pub"},
       {RFU_OFF},
       {},
       L"would-update",
       EXITCODE_OK,
       0,
       {L"get(pub)"},
       nullptr},
      {"below the date: written without the gate", 1000, {}, {}, {}, L"updated", EXITCODE_OK, 1, {}, nullptr},
      {"same version: nothing written", kFileVersion, {}, {}, {}, L"current", EXITCODE_CURRENT, 0, {}, nullptr},
      {"newer printer: nothing written",
       kFileVersion + 1,
       {L"/rfu:on"},
       {},
       {},
       L"current",
       EXITCODE_CURRENT,
       0,
       {},
       nullptr},
      // Forced over the date: the setting was on already and stays on, also with onoff.
      {"forced, RFU already on",
       kFileVersion,
       {L"/f", L"/rfu:onoff"},
       {RFU_ON},
       {},
       L"updated",
       EXITCODE_OK,
       1,
       {L"get(tarnel)"},
       nullptr},
      {"gated, no consent",
       20150101,
       {},
       {RFU_OFF},
       {},
       L"not-applicable",
       EXITCODE_NOT_APPLICABLE,
       0,
       {L"get(tarnel)"},
       nullptr},
      {"gated, on: left on",
       20150101,
       {L"/rfu:on"},
       {RFU_OFF},
       {0},
       L"updated",
       EXITCODE_OK,
       1,
       {L"get(tarnel)", L"set(tarnel,2)"},
       nullptr},
      {"gated, onoff with the switches' communities",
       20150101,
       {L"/rfu:onoff", L"/getcommunity:pub", L"/setcommunity:priv"},
       {RFU_OFF},
       {0, 0},
       L"updated",
       EXITCODE_OK,
       1,
       {L"get(pub)", L"set(priv,2)", L"set(priv,1)"},
       nullptr},
      // The switch-off meets the printer still restarting from its burn.
      {"gated, onoff: switched off once the printer answers again",
       20150101,
       {L"/rfu:onoff"},
       {RFU_OFF},
       {0, RFU_SNMP_NO_ANSWER, RFU_SNMP_NO_ANSWER, 0},
       L"updated",
       EXITCODE_OK,
       1,
       {L"get(tarnel)", L"set(tarnel,2)", L"set(tarnel,1)", retry, retry},
       nullptr},
      {"gated, onoff: left on, the run failed",
       20150101,
       {L"/rfu:onoff"},
       {RFU_OFF},
       neverOff,
       L"updated",
       EXITCODE_FAILED,
       1,
       neverOffCalls,
       L"Unattended: QV Office: the RFU setting could not be switched off again"},
      {"spooler not started again: the run failed",
       1000,
       {},
       {},
       {},
       L"updated",
       EXITCODE_FAILED,
       1,
       {},
       L"ERROR: Unattended: the spooler could not be started again after the run's downloads; nothing on this "
       L"computer prints until it runs",
       {},
       1058},
      {"a service stopped with the spooler not started again: the run failed",
       1000,
       {},
       {},
       {},
       L"updated",
       EXITCODE_FAILED,
       1,
       {},
       L"ERROR: the service QV Fax, stopped with Spooler, could not be started again",
       {},
       0,
       1058},
      {"wrong get community: failed, no prompt answered",
       20150101,
       {L"/rfu:on"},
       {-1},
       {},
       L"failed",
       EXITCODE_FAILED,
       0,
       {L"get(tarnel)"},
       L"--- FailedStep ---"},
      {"refused SET: failed",
       20150101,
       {L"/rfu:on"},
       {RFU_OFF},
       {-7},
       L"failed",
       EXITCODE_FAILED,
       0,
       {L"get(tarnel)", L"set(tarnel,2)"},
       L"--- FailedStep ---"},
      {"off and locked: failed",
       20150101,
       {L"/rfu:on"},
       {RFU_OFF_LOCKED},
       {},
       L"failed",
       EXITCODE_FAILED,
       0,
       {L"get(tarnel)"},
       L"No box (silent): Error: The firmware cannot be updated because the RFU option is currently set to \"Off and "
       L"Locked\". This setting must be changed to \"On\" at the product control panel before attempting to update the "
       L"product firmware."},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimPrinter sim;
    const std::string address = "127.63.0." + std::to_string(++n);
    std::vector<std::string> simArgs = {"--version", std::to_string(c.printerVersion), "--fault", "no-restart"};
    simArgs.insert(simArgs.end(), c.simFaults.begin(), c.simFaults.end());
    ASSERT_TRUE(sim.Start(address, simArgs, 5000)) << sim.error();
    const std::wstring port = L"IP_" + std::wstring(address.begin(), address.end());
    FakeSpooler spooler({{L"QV Office", port, L"QV Driver", L"", 0}});
    FakeSpoolerService service(spooler);
    service.startError = c.spoolerStartError;
    service.AddDependent(L"QV Fax", c.faxStartError);
    FakePortSource ports;
    ports.AddXcvAnswer(port, sim.Address());
    FakeClock clock;
    LogCapture log;
    Logger::Instance()->SetBoxesSilent(true);

    ScriptedRfuPlatform rfu;
    rfu.port = port;
    rfu.reads = c.reads;
    rfu.writes = c.writes;
    UnattendedEnvironment env;
    env.tables.binfileList = {L"*", L"update.bin"};
    env.tables.programDirectory = folder;
    env.driverNames = {L"QV Driver"};
    env.rfuSystem = &rfu;
    CommandLine line;
    std::wstring error;
    std::vector<std::wstring> args = c.args;
    args.push_back(L"/printer:qv office");
    ASSERT_TRUE(ParseCommandLine(args, &line, &error)) << error;

    const RunReport report = RunUnattended(line, env);
    Logger::Instance()->SetBoxesSilent(false);
    ASSERT_EQ(report.printers.size(), 1u);
    const PrinterReport& p = report.printers[0];
    EXPECT_EQ(p.name, L"QV Office");
    EXPECT_EQ(p.kind, L"network");
    EXPECT_EQ(p.address, sim.Address());
    EXPECT_EQ(p.file, file);
    EXPECT_EQ(OutcomeText(p.outcome), std::wstring(c.outcome));
    EXPECT_EQ(report.exitCode, c.code);
    EXPECT_EQ(service.Running(), c.spoolerStartError == 0);
    EXPECT_EQ(report.dependentsLeftStopped,
              c.spoolerStartError || c.faxStartError ? std::vector<std::wstring>{L"QV Fax"} : std::vector<std::wstring>{});
    size_t burns = 0;
    for (const std::string& e : sim.sim().Events("command")) burns += PrinterSim::Str(e, "cmd") == "BURN_FLASH";
    EXPECT_EQ(burns, c.burns);
    EXPECT_EQ(rfu.calls, c.rfuCalls);
    EXPECT_TRUE(rfu.reads.empty() && rfu.writes.empty()) << "scripted answers left over";
    EXPECT_EQ(p.versionBefore.number, c.simFaults.empty() ? c.printerVersion : 0u);
    EXPECT_EQ(p.fileVersion.number, kFileVersion);
    EXPECT_EQ(p.versionAfter.known, c.burns > 0);
    if (c.burns > 0) {
      EXPECT_EQ(p.versionAfter.number, kFileVersion);
    }
    if (c.logLine) {
      EXPECT_TRUE(log.Contains(c.logLine));
    }
  }
}

TEST(UnattendedRun, SelectionAndWorstCode) {
  SimPrinter sim;
  ASSERT_TRUE(sim.Start("127.63.1.1", {"--version", "1000"}, 5000)) << sim.error();
  const std::wstring port = L"IP_127.63.1.1";
  // A listed driver, one that is not listed, and a printer whose information cannot be read.
  FakeSpooler spooler({{L"QV A", port, L"QV Driver", L"", 0}, {L"Other", port, L"Other Driver", L"", 0}});
  FakePortSource ports;
  ports.AddXcvAnswer(port, sim.Address());
  FakeClock clock;
  LogCapture log;
  ScriptedRfuPlatform rfu;
  UnattendedEnvironment env;
  env.tables.binfileList = {L"QV Nothing*", L"none.bin"};
  env.driverNames = {L"QV Driver"};
  env.rfuSystem = &rfu;

  struct Case {
    std::vector<std::wstring> args;
    std::vector<std::wstring> names, outcomes;
    ExitCode code;
  } cases[] = {
      // No file fits the model: failed, and failed is worse than not found.
      {{L"/c"}, {L"QV A"}, {L"failed"}, EXITCODE_FAILED},
      {{L"/c", L"/printer:Other"}, {L"Other"}, {L"not-found"}, EXITCODE_NO_DEVICE},
      {{L"/c", L"/printer:Gone", L"/printer:QV A"}, {L"Gone", L"QV A"}, {L"not-found", L"failed"}, EXITCODE_FAILED},
  };
  for (const Case& c : cases) {
    CommandLine line;
    std::wstring error;
    ASSERT_TRUE(ParseCommandLine(c.args, &line, &error)) << error;
    const RunReport report = RunUnattended(line, env);
    std::vector<std::wstring> names, outcomes;
    for (const PrinterReport& p : report.printers) {
      names.push_back(p.name);
      outcomes.push_back(OutcomeText(p.outcome));
    }
    EXPECT_EQ(names, c.names);
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(report.exitCode, c.code);
  }
  for (const std::string& e : sim.sim().Events("command")) EXPECT_NE(PrinterSim::Str(e, "cmd"), "BURN_FLASH");
}

namespace {
sockaddr_in g_usbPrinter{};
int g_usbOpens = 0;

// Each open of the USB device is a connection to the simulated printer.
UsbDeviceHandle OpenSimDevice(const wchar_t*) {
  ++g_usbOpens;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&g_usbPrinter), sizeof g_usbPrinter) != 0) {
    close(fd);
    return USB_DEVICE_NONE;
  }
  return reinterpret_cast<UsbDeviceHandle>(static_cast<intptr_t>(fd));
}
}  // namespace

// A check over USB with a NAND package file: the printer is asked on its own
// device, and both sides report per part.
TEST(UnattendedRun, CheckOnlyOverUsbWithANandFile) {
  SimPrinter sim;
  ASSERT_TRUE(sim.Start("127.63.2.1", {"--version", "1000"}, 5000)) << sim.error();
  g_usbPrinter.sin_family = AF_INET;
  g_usbPrinter.sin_port = htons(static_cast<uint16_t>(sim.sim().port()));
  inet_pton(AF_INET, "127.63.2.1", &g_usbPrinter.sin_addr);
  g_usbOpens = 0;
  UsbOpenHook previousHook = SetUsbOpenHookForTesting(OpenSimDevice);

  const std::wstring file = fwtest::TempPath(L"pkg.bin");
  fwtest::NandFileLayout layout;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(3).Target("QV-1").Version(120));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(4).Target("QVFAM").Version(7).Enabled(0));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(2).Version(3));
  fwtest::WriteFileBytes(file, fwtest::BuildNand(layout));

  FakeSpooler spooler({{L"QV Desk", L"USB001", L"QV Driver", L"", 0}});
  FakeClock clock;
  LogCapture log;
  ScriptedRfuPlatform rfu;
  UnattendedEnvironment env;
  env.tables.binfileList = {L"*", L"pkg.bin"};
  env.tables.programDirectory = file.substr(0, file.size() - wcslen(L"pkg.bin"));
  env.driverNames = {L"QV Driver"};
  env.rfuSystem = &rfu;
  CommandLine line;
  line.checkOnly = true;
  const RunReport report = RunUnattended(line, env);
  SetUsbOpenHookForTesting(previousHook);

  ASSERT_EQ(report.printers.size(), 1u);
  const PrinterReport& p = report.printers[0];
  EXPECT_EQ(p.kind, L"usb");
  EXPECT_EQ(p.address, L"");
  EXPECT_EQ(p.outcome, UpdateOutcome::WouldUpdate);
  EXPECT_EQ(report.exitCode, EXITCODE_OK);
  using Parts = std::vector<std::pair<std::string, uint32_t>>;
  // The disabled package is not what the printer would take.
  EXPECT_EQ(p.fileVersion.parts, (Parts{{"print", 120}, {"NandLDR", 3}}));
  EXPECT_EQ(p.versionBefore.parts,
            (Parts{{"NandLDR", 3}, {"NandBoot", 3}, {"print", 100}, {"binary", 100}, {"Kinset", 100}}));
  std::vector<std::string> commands;
  for (const std::string& e : sim.sim().Events("command")) commands.push_back(PrinterSim::Str(e, "cmd"));
  EXPECT_EQ(commands, (std::vector<std::string>{"GET_PRINTER_INFO", "GET_COMP_VERSION"}));
  EXPECT_EQ(g_usbOpens, 2);  // the model, then the version: no third open, nothing written
  EXPECT_TRUE(rfu.calls.empty());
}

namespace {
// The parallel port as /dev/null (the printer never answers), each handle
// counted open and closed.
class SilentPort : public PrllDevice {
 public:
  SilentPort() : m_previous(SetPrllDeviceForTesting(this)) {}
  ~SilentPort() override { SetPrllDeviceForTesting(m_previous); }
  DeviceHandle OpenPort(uint32_t*) override {
    ++readWriteOpens;
    return Track(open("/dev/null", O_RDWR | O_CLOEXEC));
  }
  DeviceHandle OpenPortForReading(uint32_t*) override { return Track(open("/dev/null", O_RDONLY | O_CLOEXEC)); }
  void ClosePort(DeviceHandle port) override {
    if (open_.erase(port) == 0) ++strayCloses;
    CloseDevice(port);
  }
  int RundllPath(char*, size_t) override { return 0; }
  int StartDefaultPrinter(const char*, const wchar_t*, uint32_t*) override { return 0; }

  int readWriteOpens = 0;
  int strayCloses = 0;
  std::set<DeviceHandle> open_;

 private:
  DeviceHandle Track(int fd) {
    DeviceHandle port = reinterpret_cast<DeviceHandle>(static_cast<intptr_t>(fd));
    open_.insert(port);
    return port;
  }
  PrllDevice* m_previous;
};
}  // namespace

// A parallel printer that never answers: three questions, each on a port
// opened for it and closed once, and nothing written.
TEST(UnattendedRun, ParallelPrinterThatDoesNotAnswerIsNotWritten) {
  const std::wstring file = fwtest::TempPath(L"lpt.bin");
  fwtest::WriteFileBytes(file, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, kFileVersion));
  FakeSpooler spooler({{L"QV Lpt", L"LPT1:", L"QV Driver", L"", 0}});
  FakeClock clock;
  LogCapture log;
  SilentPort port;
  ScriptedRfuPlatform rfu;
  UnattendedEnvironment env;
  env.tables.binfileList = {L"*", L"lpt.bin"};
  env.tables.programDirectory = file.substr(0, file.size() - wcslen(L"lpt.bin"));
  env.driverNames = {L"QV Driver"};
  env.rfuSystem = &rfu;
  CommandLine line;

  const RunReport report = RunUnattended(line, env);
  ASSERT_EQ(report.printers.size(), 1u);
  EXPECT_EQ(report.printers[0].kind, L"parallel");
  EXPECT_EQ(report.printers[0].outcome, UpdateOutcome::Failed);
  EXPECT_FALSE(report.printers[0].versionBefore.known);
  EXPECT_EQ(report.exitCode, EXITCODE_FAILED);
  EXPECT_TRUE(port.open_.empty()) << "a handle left open";
  EXPECT_EQ(port.strayCloses, 0);
  EXPECT_FALSE(log.ContainsPart(L"DownLoadFirmware"));
  EXPECT_EQ(port.readWriteOpens, VERSION_QUERY_ATTEMPTS);
}
