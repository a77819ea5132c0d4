// One device, one update: three queues of one simulated printer (two on one
// port, one on a second port that resolves to the same address), named on the
// command line more than once in any letter case. The printer is written once,
// and every queue reports the one outcome.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "ntwk_sim_fixture.h"
#include "printer/tcp_port_data.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"
#include "update/fleet_run.h"

using nettest::SimPrinter;

TEST(FleetDevices, QueuesOfOnePrinterAreUpdatedOnce) {
  const std::wstring file = fwtest::TempPath(L"devices.bin");
  fwtest::WriteFileBytes(file, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, 20230115));
  SimPrinter sim;
  ASSERT_TRUE(sim.Start("127.63.6.1", {"--version", "1000", "--fault", "no-restart"}, 5000)) << sim.error();
  FakeSpooler spooler({{L"B\u00fcro 2", L"IP_127.63.6.1", L"QV Driver", L"", 0},
                       {L"B\u00fcro 2 (Duplex)", L"IP_127.63.6.1", L"QV Driver", L"", 0},
                       {L"B\u00fcro 2 PS", L"buero2.example", L"QV Driver", L"", 0}});
  FakePortSource ports;
  ports.AddXcvAnswer(L"IP_127.63.6.1", sim.Address());
  ports.AddXcvAnswer(L"buero2.example", sim.Address());
  FakeClock clock;
  LogCapture log;
  ScriptedRfuPlatform rfu;
  FleetEnvironment env;
  env.tables.binfileList = {L"*", L"devices.bin"};
  env.tables.programDirectory = file.substr(0, file.size() - wcslen(L"devices.bin"));
  env.driverNames = {L"QV Driver"};
  env.rfuSystem = &rfu;
  FleetOptions options;
  options.parallel = 8;
  options.printers = {L"B\u00dcRO 2", L"b\u00fcro 2 ps", L"B\u00fcro 2 (duplex)", L"b\u00fcro 2"};

  const RunReport report = RunFleetUpdate(options, env);
  size_t burns = 0;
  for (const std::string& e : sim.sim().Events("command")) burns += PrinterSim::Str(e, "cmd") == "BURN_FLASH";
  EXPECT_EQ(burns, 1u);
  ASSERT_EQ(report.printers.size(), 3u);
  const std::vector<std::wstring> names = {L"B\u00fcro 2", L"B\u00fcro 2 PS", L"B\u00fcro 2 (Duplex)"};
  for (size_t i = 0; i < 3; ++i) {
    const PrinterReport& p = report.printers[i];
    EXPECT_EQ(p.name, names[i]);
    EXPECT_EQ(p.outcome, L"updated") << i;
    EXPECT_EQ(p.versionAfter.number, 20230115u) << i;
    // A rider's report tells what its printer ran before and which file it got, as the carrier's does.
    EXPECT_EQ(p.versionBefore.number, 1000u) << i;
    EXPECT_EQ(p.file, file) << i;
    if (i > 0) {
      EXPECT_EQ(p.detail, names[i] + L": same printer as B\u00fcro 2");
    }
  }
  EXPECT_EQ(report.printers[1].port, L"buero2.example");
}

// A print server with three printers: three raw ports on one address, each
// leading to a printer of its own (here three simulators on ports other than
// 9100; nothing listens at 9100 there). Each printer is asked, written and
// verified at its queue's port, none is taken for another.
TEST(FleetDevices, RawPortsOfOnePrintServerAreThreePrinters) {
  const std::wstring file = fwtest::TempPath(L"server.bin");
  fwtest::WriteFileBytes(file, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, 20230115));
  const std::string address = "127.63.7.1";
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
    EXPECT_EQ(p.outcome, L"updated") << p.detail;
    EXPECT_EQ(p.versionBefore.number, 1001u + i);
    EXPECT_EQ(p.versionAfter.number, 20230115u);
  }
  EXPECT_FALSE(log.ContainsPart(L"same printer as"));
}
