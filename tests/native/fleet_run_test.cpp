// Whole updates of several network printers at once, each a simulated printer
// on a loopback address of its own: every printer is written once with the
// file's image, its report is its own, and the lines of its update name it.
// ./scripts/test also runs this program built with ThreadSanitizer; a race it
// sees ends the program (halt_on_error) and fails the run.
#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/unattended_run.h"
#include "host/logger.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/printer_sim.h"
#include "support/scripted_rfu_platform.h"
#include "transport/ntwk_download.h"

#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() {
  return "halt_on_error=1:second_deadlock_stack=1";
}
#endif

namespace {
constexpr uint32_t kFileVersion = 20230115;
constexpr int kPrinters = 4;

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}
}  // namespace

TEST(FleetRun, FourNetworkPrintersAtOnce) {
  if (geteuid() != 0) GTEST_SKIP() << "each simulated printer needs port 9100 on an address of its own (root)";
  const std::wstring file = fwtest::TempPath(L"fleet.bin");
  const std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, kFileVersion);
  fwtest::WriteFileBytes(file, image);

  std::vector<std::unique_ptr<PrinterSim>> sims;
  std::vector<FakePrinter> installed;
  FakePortSource ports;
  for (int i = 0; i < kPrinters; ++i) {
    PrinterSimOptions o;
    o.address = "127.64.0." + std::to_string(i + 1);
    o.port = NTWK_PRINTER_PORT;
    // Versions of their own, so a report that took another printer's shows.
    o.args = {"--version", std::to_string(1000 + i), "--fault", "no-restart"};
    sims.push_back(std::make_unique<PrinterSim>());
    ASSERT_TRUE(sims.back()->Start(o)) << sims.back()->error();
    const std::wstring port = L"IP_" + Wide(o.address);
    installed.push_back({L"QV Fleet " + std::to_wstring(i + 1), port, L"QV Driver", L"", 0});
    ports.AddXcvAnswer(port, Wide(o.address));
  }
  FakeSpooler spooler(installed);
  NtwkSettings settings;
  settings.receiveTimeoutMs = settings.resetTimeoutMs = settings.burnReplyTimeoutMs = 5000;
  const NtwkSettings* previousSettings = SetNtwkSettingsForTesting(&settings);
  FakeClock clock;
  LogCapture log;

  std::vector<RunReport> reports(kPrinters);
  std::vector<std::thread> threads;
  for (int i = 0; i < kPrinters; ++i) {
    threads.emplace_back([&, i] {
      ScriptedRfuPlatform rfu;
      UnattendedEnvironment env;
      env.tables.binfileList = {L"*", L"fleet.bin"};
      env.tables.programDirectory = file.substr(0, file.size() - wcslen(L"fleet.bin"));
      env.driverNames = {L"QV Driver"};
      env.rfuSystem = &rfu;
      CommandLine line;
      line.printers = {installed[i].name};
      reports[i] = RunUnattended(line, env);
    });
  }
  for (std::thread& t : threads) t.join();
  SetNtwkSettingsForTesting(previousSettings);

  for (int i = 0; i < kPrinters; ++i) {
    SCOPED_TRACE(i + 1);
    ASSERT_EQ(reports[i].printers.size(), 1u);
    const PrinterReport& p = reports[i].printers[0];
    EXPECT_EQ(p.name, installed[i].name);
    EXPECT_EQ(p.address, Wide(sims[i]->address()));
    EXPECT_EQ(p.outcome, L"updated");
    EXPECT_EQ(p.versionBefore.number, 1000u + i);
    EXPECT_EQ(p.versionAfter.number, kFileVersion);
    std::vector<std::string> burns;
    for (const std::string& e : sims[i]->Events("command")) {
      if (PrinterSim::Str(e, "cmd") == "BURN_FLASH") burns.push_back(e);
    }
    ASSERT_EQ(burns.size(), 1u);
    EXPECT_TRUE(PrinterSim::Bool(burns[0], "ok")) << burns[0];
    EXPECT_EQ(PrinterSim::Num(burns[0], "received"), static_cast<long long>(image.size()));
    EXPECT_EQ(PrinterSim::Num(burns[0], "file_version"), kFileVersion);
    // The burn's line names the printer whose address it went to.
    const std::wstring burnLine = L"CFWDownloadNtwk::BurnFlash(" + Wide(sims[i]->address()) + L")";
    size_t named = 0;
    for (const std::wstring& line : log.FileLines()) {
      if (line.find(burnLine) != std::wstring::npos) {
        EXPECT_NE(line.find(L" [" + installed[i].name + L"]: "), std::wstring::npos) << line;
        ++named;
      }
    }
    EXPECT_EQ(named, 1u);
  }
}
