// Fleet runs against simulated network printers with the product's real waits
// (each update ~35-40 s, nearly all of it the printer's own time): one
// unattended run over 16 printers against one over a single printer, its peak
// memory against the images the updates at once would hold each and against
// the one image they share, 64 printers sixteen at a time against four single
// runs, and 64 printers all at once against one printer alone, with its peak
// memory. The printers run in processes of their own, so the peak memory is
// the program's alone. The service control has no
// spooler here (every call fails at once, as the program goes on past a failed
// stop), and the spooler's printers and ports are fakes.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "app/unattended_run.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "support/fake_ports.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/printer_sim.h"
#include "transport/ntwk_download.h"

namespace {
constexpr uint32_t kFileVersion = 20230115;
constexpr size_t kPrinters = 64;
constexpr size_t kAtOnce = 16;

// The printers are below the firmware date, so the RFU gate never asks.
class NoRfu : public RfuPlatform {
 public:
  int AskCommunity(const wchar_t*, std::wstring&) override { return 0; }
  int AskRemoteUpgrade() override { return 0; }
  void ShowUnableToCommunicate() override {}
  long SaveValue(const wchar_t*, const wchar_t*, const void*, uint32_t, uint32_t) override { return 0; }
  long SaveInstallCrashed(const wchar_t*) override { return 0; }
  long DeleteValue(const wchar_t*, const wchar_t*) override { return 0; }
};

std::wstring Wide(const std::string& s) {
  return std::wstring(s.begin(), s.end());
}

struct Fleet {
  std::vector<std::unique_ptr<PrinterSim>> sims;
  std::wstring folder;
  NoRfu rfu;
};

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// One unattended run over the first `count` printers, `parallel` at once:
// the wall time in seconds, or a negative value when a printer was not updated.
double TimedRun(Fleet& fleet, size_t count, int parallel) {
  std::vector<FakePrinter> printers;
  FakePortSource ports;
  for (size_t i = 0; i < count; ++i) {
    PrinterSim& sim = *fleet.sims[i];
    sim.Control(R"({"op":"set","version":1000})");
    const std::wstring port = L"IP_" + Wide(sim.address());
    printers.push_back({L"QV Bench " + std::to_wstring(i + 1), port, L"QV Driver", L"", 0});
    ports.AddXcvAnswer(port, Wide(sim.address()));
  }
  FakeSpooler spooler(printers);
  UnattendedEnvironment env;
  env.tables.binfileList = {L"*", L"update.bin"};
  env.tables.programDirectory = fleet.folder;
  env.driverNames = {L"QV Driver"};
  env.rfuSystem = &fleet.rfu;
  CommandLine line;
  std::wstring error;
  if (!ParseCommandLine({L"/s", L"/all", L"/parallel:" + std::to_wstring(parallel)}, &line, &error)) {
    fprintf(stderr, "command line: %ls\n", error.c_str());
    return -1;
  }
  const auto start = std::chrono::steady_clock::now();
  const double cpuBefore = CpuSeconds();
  const RunReport report = RunUnattended(line, env);
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  size_t updated = 0;
  for (const PrinterReport& p : report.printers) updated += p.outcome == UpdateOutcome::Updated;
  // The program's own processor time: what of the wall time is not waiting.
  printf("  %zu printers, %d at once: %.1f s (program CPU %.1f s), %zu of %zu updated\n", count, parallel, wall,
         CpuSeconds() - cpuBefore, updated, report.printers.size());
  fflush(stdout);
  return updated == count && report.printers.size() == count ? wall : -1;
}

void Ratio(const char* what, double value, double goal) {
  printf("%-62s %.3f (goal <= %.2f) %s\n", what, value, goal, value > 0 && value <= goal ? "MET" : "NOT MET");
}

// The process's peak resident memory so far, in bytes.
double PeakMemory() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) * 1024.0;  // KiB on Linux
}

// Sharing one image, `printers` at once may hold the file once with a fifth
// more for the program, and 2 MiB per printer.
double SharedGoal(double imageBytes, size_t printers) {
  return 1.2 + 2.0 * (1 << 20) * static_cast<double>(printers) / imageBytes;
}
}  // namespace

int main(int argc, char** argv) {
  const unsigned mib = argc > 1 ? static_cast<unsigned>(atoi(argv[1])) : 32;
  Fleet fleet;
  const std::wstring image = fwtest::TempPath(L"update.bin");
  fleet.folder = image.substr(0, image.size() - wcslen(L"update.bin"));
  const uint64_t imageBytes = uint64_t{mib} << 20;
  fwtest::WriteFileBytes(image, fwtest::BuildBin(fwtest::BinKind::CodeOnly, imageBytes, kFileVersion));
  const std::wstring logPath = fwtest::TempPath(L"fleet-run-bench.log");
  Logger::Instance()->SetLogFilePathForTesting(logPath.c_str());
  Logger::Instance()->SetBoxesSilent(true);

  for (size_t i = 0; i < kPrinters; ++i) {
    PrinterSimOptions options;
    options.address = "127.72." + std::to_string(i / 200) + "." + std::to_string(i % 200 + 1);
    options.port = NTWK_PRINTER_PORT;
    // Restarts in 3 s after the burn, within the 5 s before verification.
    options.args = {"--version", "1000", "--quiet", "--skip-checksum"};
    options.store_data = false;
    fleet.sims.push_back(std::make_unique<PrinterSim>());
    if (!fleet.sims.back()->Start(options)) {
      fprintf(stderr, "printer-sim %s: %s\n", options.address.c_str(), fleet.sims.back()->error().c_str());
      return 1;
    }
  }
  NtwkSettings settings;
  settings.port = NTWK_PRINTER_PORT;
  SetNtwkSettingsForTesting(&settings);

  printf("image %u MiB, %zu simulated printers in their own processes\n", mib, kPrinters);
  const double one = TimedRun(fleet, 1, kAtOnce);
  const double sixteen = TimedRun(fleet, kAtOnce, kAtOnce);
  const double peak = PeakMemory();
  const double sixtyFour = TimedRun(fleet, kPrinters, kAtOnce);
  const double allAtOnce = TimedRun(fleet, kPrinters, static_cast<int>(kPrinters));
  const double peakAllAtOnce = PeakMemory();

  SetNtwkSettingsForTesting(nullptr);
  for (auto& sim : fleet.sims) sim->Stop();
  RemoveFileWide(image.c_str());
  RemoveFileWide(logPath.c_str());

  const bool ok = one > 0 && sixteen > 0 && sixtyFour > 0 && allAtOnce > 0;
  const double waves = static_cast<double>(kPrinters / kAtOnce);
  const double size = static_cast<double>(imageBytes);
  printf("peak memory %.1f MiB after the %zu-printer run, %.1f MiB after %zu at once\n", peak / (1 << 20), kAtOnce,
         peakAllAtOnce / (1 << 20), kPrinters);
  Ratio("16 printers at once / one printer (wall time)", ok ? sixteen / one : -1, 1.25);
  Ratio("peak memory / (image size x 16 printers at once)", peak / (size * kAtOnce), 1.10);
  Ratio("64 printers, 16 at once / 4 x one printer (wall time)", ok ? sixtyFour / (waves * one) : -1, 1.10);
  Ratio("peak memory, 16 printers at once sharing the file / file size", peak / size, SharedGoal(size, kAtOnce));
  Ratio("64 printers at once / one printer (wall time)", ok ? allAtOnce / one : -1, 1.10);
  Ratio("peak memory, 64 printers at once / file size", peakAllAtOnce / size, SharedGoal(size, kPrinters));
  return ok ? 0 : 1;
}
