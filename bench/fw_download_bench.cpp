// One whole network update (model name, version check, burn, restart,
// verification) against the simulated printer with the product's real waits.
// The clock seam records every wait the path asks for; wall time over those
// waits is what the program adds on top of the time the printer is given.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "update/fw_download.h"
#include "host/clock.h"
#include "host/file_io.h"
#include "host/logger.h"
#include "printer/product_name.h"
#include "support/fake_ports.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/printer_sim.h"
#include "transport/ntwk_download.h"

namespace {

const char kAddress[] = "127.62.250.1";
const wchar_t kPort[] = L"IP_127.62.250.1";

// The real clock, with a record of what was waited.
class RecordingClock : public Clock {
 public:
  RecordingClock() : m_previous(SetClockForTesting(this)) {}
  ~RecordingClock() override { SetClockForTesting(m_previous); }
  void Sleep(uint32_t ms) override {
    m_waited += ms;
    SystemClock().Sleep(ms);
  }
  uint32_t TickCount() override { return SystemClock().TickCount(); }
  uint64_t Waited() const { return m_waited; }

 private:
  uint64_t m_waited = 0;
  Clock* m_previous;
};

}  // namespace

int main(int argc, char** argv) {
  const unsigned mib = argc > 1 ? static_cast<unsigned>(atoi(argv[1])) : 4;
  std::wstring image = fwtest::TempPath(L"fw-download-bench.bin");
  fwtest::WriteFileBytes(image, fwtest::BuildBin(fwtest::BinKind::CodeOnly, uint64_t{mib} << 20, 1100));
  std::wstring logPath = fwtest::TempPath(L"fw-download-bench.log");
  Logger::Instance()->SetLogFilePathForTesting(logPath.c_str());

  PrinterSimOptions options;
  options.address = kAddress;
  options.port = geteuid() == 0 ? NTWK_PRINTER_PORT : 0;
  options.args = {"--version", "1000", "--quiet"};  // restarts in 3 s, within the 5 s before verification
  options.store_data = false;
  PrinterSim sim;
  if (!sim.Start(options)) {
    fprintf(stderr, "printer-sim: %s\n", sim.error().c_str());
    return 1;
  }
  NtwkSettings settings;
  settings.port = static_cast<uint16_t>(sim.port());
  SetNtwkSettingsForTesting(&settings);

  SetProductName(L"QV5000");
  FakeSpooler spooler({{L"QV Bench", kPort, L"QV Driver", L"", 0}});
  FakePortSource ports;
  ports.AddXcvAnswer(kPort, L"127.62.250.1");

  RecordingClock clock;
  auto start = std::chrono::steady_clock::now();
  int status = CFWDownload().FWDownload(L"QV Bench", L"", image.c_str(), L"");
  double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double waits = static_cast<double>(clock.Waited()) / 1000.0;

  SetNtwkSettingsForTesting(nullptr);
  sim.Stop();
  RemoveFileWide(image.c_str());
  RemoveFileWide(logPath.c_str());
  printf("image: %u MiB, status %d (1 = updated and verified)\n", mib, status);
  printf("wall time %.3f s, mandated waits %.3f s\n", wall, waits);
  printf("ratio wall/waits: %.4f (goal <= 1.02)\n", waits > 0 ? wall / waits : 0.0);
  return status == FWDL_UPDATED ? 0 : 1;
}
