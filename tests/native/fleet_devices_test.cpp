// One device, one update: three queues of one simulated printer (two on one
// port, one on a second port that resolves to the same address), named on the
// command line more than once in any letter case. The printer is written once,
// and every queue reports the one outcome, its RFU switch-off's included.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "ntwk_sim_fixture.h"
#include "printer/tcp_port_data.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"
#include "net/snmp_rfu.h"
#include "update/fleet_run.h"

using nettest::SimPrinter;

namespace {
struct Case {
  const char* name;
  uint32_t printerVersion;
  RfuConsent rfu;
  std::deque<int> reads, writes;  // the RFU setting's scripted SNMP answers
  bool rfuLeftOn;
};
}  // namespace

TEST(FleetDevices, QueuesOfOnePrinterAreUpdatedOnce) {
  const std::wstring file = fwtest::TempPath(L"devices.bin");
  fwtest::WriteFileBytes(file, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, 20230115));
  // The switch-on taken, the switch-off never, however often it is tried.
  std::deque<int> neverOff(1000, RFU_SNMP_NO_ANSWER);
  neverOff.front() = 0;
  const Case cases[] = {
      {"below the date", 1000, RfuConsent::None, {}, {}, false},
      // Every queue of the printer has the setting left on.
      {"gated, onoff: left on", 20150101, RfuConsent::OnOff, {RFU_OFF}, neverOff, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SimPrinter sim;
    const std::string address = "127.63." + std::to_string(5 + ++n) + ".1";
    const std::wstring ip = L"IP_" + std::wstring(address.begin(), address.end());
    ASSERT_TRUE(sim.Start(address, {"--version", std::to_string(c.printerVersion), "--fault", "no-restart"}, 5000))
        << sim.error();
    FakeSpooler spooler({{L"B\u00fcro 2", ip, L"QV Driver", L"", 0},
                         {L"B\u00fcro 2 (Duplex)", ip, L"QV Driver", L"", 0},
                         {L"B\u00fcro 2 PS", L"buero2.example", L"QV Driver", L"", 0}});
    FakePortSource ports;
    ports.AddXcvAnswer(ip, sim.Address());
    ports.AddXcvAnswer(L"buero2.example", sim.Address());
    FakeClock clock;
    LogCapture log;
    ScriptedRfuPlatform rfu;
    rfu.port = ip;
    rfu.reads = c.reads;
    rfu.writes = c.writes;
    FleetEnvironment env;
    env.tables.binfileList = {L"*", L"devices.bin"};
    env.tables.programDirectory = file.substr(0, file.size() - wcslen(L"devices.bin"));
    env.driverNames = {L"QV Driver"};
    env.rfuSystem = &rfu;
    // Each history line with the SNMP calls made before it.
    std::vector<std::pair<PrinterReport, size_t>> recorded;
    env.recordUpdate = [&](const PrinterReport& p) { recorded.emplace_back(p, rfu.calls.size()); };
    FleetOptions options;
    options.parallel = 8;
    options.rfu = c.rfu;
    options.printers = {L"B\u00dcRO 2", L"b\u00fcro 2 ps", L"B\u00fcro 2 (duplex)", L"b\u00fcro 2"};

    const RunReport report = RunFleetUpdate(options, env);
    size_t burns = 0;
    for (const std::string& e : sim.sim().Events("command")) burns += PrinterSim::Str(e, "cmd") == "BURN_FLASH";
    EXPECT_EQ(burns, 1u);
    ASSERT_EQ(report.printers.size(), 3u);
    const std::vector<std::wstring> names = {L"B\u00fcro 2", L"B\u00fcro 2 PS", L"B\u00fcro 2 (Duplex)"};
    const std::wstring leftOn = c.rfuLeftOn ? L" The RFU setting could not be switched off again." : L"";
    for (size_t i = 0; i < 3; ++i) {
      const PrinterReport& p = report.printers[i];
      EXPECT_EQ(p.name, names[i]);
      EXPECT_EQ(p.outcome, UpdateOutcome::Updated) << i;
      EXPECT_EQ(p.rfuLeftOn, c.rfuLeftOn) << i;
      EXPECT_EQ(p.versionAfter.number, 20230115u) << i;
      // A rider's report tells what its printer ran before and which file it got, as the carrier's does.
      EXPECT_EQ(p.versionBefore.number, c.printerVersion) << i;
      EXPECT_EQ(p.file, file) << i;
      if (i > 0) {
        EXPECT_EQ(p.detail, names[i] + L": same printer as B\u00fcro 2" + leftOn);
        EXPECT_EQ(p.seconds, report.printers[0].seconds);
      }
    }
    EXPECT_EQ(report.printers[1].port, L"buero2.example");
    // The carrier's line at its end; the riders' once the switch-off is done, as the report has them.
    ASSERT_EQ(recorded.size(), 3u);
    EXPECT_EQ(recorded[0].first.name, names[0]);
    for (size_t i = 1; i < 3; ++i) {
      EXPECT_EQ(recorded[i].second, rfu.calls.size()) << i;
      EXPECT_EQ(recorded[i].first.detail, report.printers[i].detail) << i;
      EXPECT_EQ(recorded[i].first.seconds, report.printers[0].seconds) << i;
    }
  }
}

// A print server with three printers: three raw ports on one address, each
// leading to a printer of its own (here three simulators on ports other than
// 9100; nothing listens at 9100 there). Each printer is asked, written and
// verified at its queue's port, none is taken for another.
TEST(FleetDevices, RawPortsOfOnePrintServerAreThreePrinters) {
  const std::wstring file = fwtest::TempPath(L"server.bin");
  fwtest::WriteFileBytes(file, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, 20230115));
  const std::string address = "127.63.8.1";
  const std::wstring wideAddress(address.begin(), address.end());
  std::vector<std::unique_ptr<PrinterSim>> sims;
  std::vector<FakePrinter> installed;
  FakePortSource ports;
  for (int i = 0; i < 3; ++i) {
    PrinterSimOptions o;
    o.address = address;
    o.args = {"--version", std::to_string(1001 + i), "--fault", "no-restart"};
    sims.push_back(std::make_unique<PrinterSim>());
    ASSERT_TRUE(sims.back()->Start(o)) << sims.back()->error();
    ASSERT_NE(sims.back()->port(), NTWK_PRINTER_PORT);
    const std::wstring port = L"IP_" + wideAddress + L"_" + std::to_wstring(i + 1);
    installed.push_back({L"Server " + std::to_wstring(i + 1), port, L"QV Driver", L"", 0});
    ports.AddXcvAnswer(port, wideAddress);
    ports.AddXcvConfig(port, TCP_PROTOCOL_RAW, static_cast<uint32_t>(sims.back()->port()));
  }
  FakeSpooler spooler(installed);
  NtwkSettings settings;
  settings.receiveTimeoutMs = settings.resetTimeoutMs = settings.burnReplyTimeoutMs = 5000;
  const NtwkSettings* previousSettings = SetNtwkSettingsForTesting(&settings);
  FakeClock clock;
  LogCapture log;
  ScriptedRfuPlatform rfu;
  FleetEnvironment env;
  env.tables.binfileList = {L"*", L"server.bin"};
  env.tables.programDirectory = file.substr(0, file.size() - wcslen(L"server.bin"));
  env.driverNames = {L"QV Driver"};
  env.rfuSystem = &rfu;
  FleetOptions options;
  options.parallel = 3;
  options.printers = {L"Server 1", L"Server 2", L"Server 3"};

  const RunReport report = RunFleetUpdate(options, env);
  SetNtwkSettingsForTesting(previousSettings);
  ASSERT_EQ(report.printers.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    std::vector<std::string> commands;
    for (const std::string& e : sims[i]->Events("command")) commands.push_back(PrinterSim::Str(e, "cmd"));
    EXPECT_EQ(std::count(commands.begin(), commands.end(), "BURN_FLASH"), 1);
    EXPECT_GT(std::count(commands.begin(), commands.end(), "GET_PRINTER_INFO"), 0);
    const PrinterReport& p = report.printers[i];
    EXPECT_EQ(p.outcome, UpdateOutcome::Updated) << p.detail;
    EXPECT_EQ(p.versionBefore.number, 1001u + i);
    EXPECT_EQ(p.versionAfter.number, 20230115u);
  }
  EXPECT_FALSE(log.ContainsPart(L"same printer as"));
}
