// Whole updates of several network printers at once, each a simulated printer
// on a loopback address of its own: every printer is written once with the
// file's image, read once and shared by all four, released after the last of
// them ended; a signed file's signature is checked once when it is chosen and
// once a send; its report and its history line are its own, and the RFU gate
// of the one that needs it goes on before and off after.
// ./scripts/test also runs this program built with ThreadSanitizer; a race it
// sees ends the program (halt_on_error) and fails the run.
#include <gtest/gtest.h>
#include <sanitizer/common_interface_defs.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/unattended_run.h"
#include "app/update_history.h"
#include "host/program_data.h"
#include "host/sha256.h"
#include "net/snmp_rfu.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_service.h"
#include "support/fake_signing.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/printer_sim.h"
#include "support/scripted_rfu_platform.h"
#include "transport/ntwk_download.h"

namespace {
// A sanitizer's report ends this program at once: the simulators it started
// must not stay behind on their addresses.
std::vector<long> g_simPids;
#if defined(__SANITIZE_THREAD__) || defined(__SANITIZE_ADDRESS__)
void StopSimsAtDeath() {
  for (long pid : g_simPids) kill(static_cast<pid_t>(pid), SIGTERM);
}
void StopAtDeath(long pid) {
  g_simPids.push_back(pid);
  __sanitizer_set_death_callback(StopSimsAtDeath);
}
#else
void StopAtDeath(long) {}
#endif
}  // namespace

#if defined(__SANITIZE_THREAD__)
extern "C" const char* __tsan_default_options() {
  return "halt_on_error=1:second_deadlock_stack=1";
}
#endif

namespace {
constexpr uint32_t kFileVersion = 20230115;
constexpr int kPrinters = 4;
// Its firmware is new enough for the RFU gate; the others are written without it.
constexpr int kGated = 3;

uint32_t Version(int printer) {
  return printer == kGated ? 20150101 : 1000 + printer;
}

std::wstring Wide(const std::string& text) {
  return std::wstring(text.begin(), text.end());
}
}  // namespace

TEST(FleetRun, FourNetworkPrintersAtOnce) {
  if (geteuid() != 0) GTEST_SKIP() << "each simulated printer needs port 9100 on an address of its own (root)";
  const std::wstring file = fwtest::TempPath(L"fleet.bin");
  const std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, kFileVersion);
  fwtest::WriteFileBytes(file, image);
  // Signed: the file is checked once when it is chosen, not once a printer
  // (each check reads it whole), and each send checks the bytes it sends.
  const Thumbprint signer = fwtest::SignerThumbprint(0x5a);
  fwtest::WriteFakeSignature(file, signer, image);
  fwtest::FakeSigning signing({signer});

  std::vector<std::unique_ptr<PrinterSim>> sims;
  std::vector<FakePrinter> installed;
  FakePortSource ports;
  for (int i = 0; i < kPrinters; ++i) {
    PrinterSimOptions o;
    o.address = "127.65.0." + std::to_string(i + 1);
    o.port = NTWK_PRINTER_PORT;
    // Versions of their own, so a report that took another printer's shows.
    o.args = {"--version", std::to_string(Version(i)), "--fault", "no-restart"};
    sims.push_back(std::make_unique<PrinterSim>());
    ASSERT_TRUE(sims.back()->Start(o)) << sims.back()->error();
    StopAtDeath(sims.back()->pid());
    const std::wstring port = L"IP_" + Wide(o.address);
    installed.push_back({L"QV Fleet " + std::to_wstring(i + 1), port, L"QV Driver", L"", 0});
    ports.AddXcvAnswer(port, Wide(o.address));
  }
  FakeSpooler spooler(installed);
  FakeSpoolerService service(spooler);
  NtwkSettings settings;
  settings.receiveTimeoutMs = settings.resetTimeoutMs = settings.burnReplyTimeoutMs = 5000;
  const NtwkSettings* previousSettings = SetNtwkSettingsForTesting(&settings);
  FakeClock clock;
  LogCapture log;
  Logger::Instance()->SetBoxesSilent(true);

  ScriptedRfuPlatform rfu;
  rfu.port = installed[kGated].port;
  rfu.reads = {RFU_OFF};
  rfu.writes = {0, 0};  // on before the update, off after the last
  std::wstring history;
  ASSERT_TRUE(GetProgramDataFolder(&history)) << "the test program's own (test_main.cc)";
  UnattendedEnvironment env;
  env.tables.binfileList = {L"*", L"fleet.bin"};
  env.tables.programDirectory = file.substr(0, file.size() - wcslen(L"fleet.bin"));
  env.driverNames = {L"QV Driver"};
  env.rfuSystem = &rfu;
  CommandLine line;
  std::wstring error;
  ASSERT_TRUE(ParseCommandLine({L"/parallel:4", L"/rfu:onoff"}, &line, &error)) << error;
  const RunReport report = RunUnattended(line, env);
  SetNtwkSettingsForTesting(previousSettings);
  Logger::Instance()->SetBoxesSilent(false);
  std::vector<HistoryEntry> recorded = ReadHistory(history, kPrinters + 1);
  uint8_t digest[SHA256_SIZE];
  Sha256Of(image.data(), image.size(), digest);

  // One read, one release: after the last update that sent it ended, and
  // with it, not with the run (the spooler is started once they all ended).
  const std::vector<std::wstring> lines = log.Lines();
  size_t reads = 0, trusted = 0, released = lines.size(), lastEnd = 0, runEnd = 0;
  for (size_t i = 0; i < lines.size(); ++i) {
    reads += lines[i].find(L"Reading the firmware image " + file) != std::wstring::npos;
    trusted += lines[i].find(L"signed by the trusted signer") != std::wstring::npos;
    if (lines[i].find(L"The firmware image " + file + L" is released") != std::wstring::npos) released = i;
    if (lines[i].find(L"---Firmware download Fininsh") != std::wstring::npos) lastEnd = i;
    if (!runEnd && lines[i].find(L"started again") != std::wstring::npos) runEnd = i;
  }
  EXPECT_EQ(reads, 1u);
  EXPECT_EQ(trusted, 1u + kPrinters);
  EXPECT_LT(lastEnd, released);
  EXPECT_LT(released, runEnd);
  ASSERT_EQ(recorded.size(), static_cast<size_t>(kPrinters));

  ASSERT_EQ(report.printers.size(), static_cast<size_t>(kPrinters));
  EXPECT_EQ(report.exitCode, EXITCODE_OK);
  EXPECT_EQ(rfu.calls, (std::vector<std::wstring>{L"get(tarnel)", L"set(tarnel,2)", L"set(tarnel,1)"}));
  for (int i = 0; i < kPrinters; ++i) {
    SCOPED_TRACE(i + 1);
    const PrinterReport& p = report.printers[i];
    EXPECT_EQ(p.name, installed[i].name);
    EXPECT_EQ(p.address, Wide(sims[i]->address()));
    EXPECT_EQ(p.outcome, UpdateOutcome::Updated);
    EXPECT_EQ(p.versionBefore.number, Version(i));
    EXPECT_EQ(p.versionAfter.number, kFileVersion);
    std::vector<std::string> burns;
    for (const std::string& e : sims[i]->Events("command")) {
      if (PrinterSim::Str(e, "cmd") == "BURN_FLASH") burns.push_back(e);
    }
    ASSERT_EQ(burns.size(), 1u);
    EXPECT_TRUE(PrinterSim::Bool(burns[0], "ok")) << burns[0];
    EXPECT_EQ(PrinterSim::Num(burns[0], "received"), static_cast<long long>(image.size()));
    EXPECT_EQ(PrinterSim::Num(burns[0], "file_version"), kFileVersion);
    EXPECT_EQ(p.fileSha256, Sha256Hex(digest));
    // The history holds the same record, each printer once.
    const auto mine =
        std::find_if(recorded.begin(), recorded.end(), [&](const HistoryEntry& e) { return e.printer.name == p.name; });
    ASSERT_NE(mine, recorded.end());
    EXPECT_EQ(HistoryEntryJson(*mine).dump(),
              HistoryEntryJson({mine->time, mine->computer, mine->user, p, mine->programVersion}).dump());
  }
  g_simPids.clear();  // stopped by their owners from here on
}
