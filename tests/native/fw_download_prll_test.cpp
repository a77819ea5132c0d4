// The parallel path of the controller: every opening of the port, and every
// handle closed exactly once. Natively the port is /dev/null: writes go
// through, the printer never answers.

#include <fcntl.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "update/fw_download.h"
#include "fw_download_scene.h"
#include "host/text_utils.h"
#include "support/fake_service.h"
#include "support/fake_tcp_channel.h"
#include "transport/prll_device.h"
#include "update/spooler_hold.h"

using fwdltest::ControllerScene;
using fwdltest::ImageFile;

namespace {

// The port is /dev/null, with every open and close counted; the read-write
// opening numbered `failOpen` (from 1) fails.
class CountingPort : public PrllDevice {
 public:
  explicit CountingPort(int failOpen) : m_failOpen(failOpen), m_previous(SetPrllDeviceForTesting(this)) {}
  ~CountingPort() override { SetPrllDeviceForTesting(m_previous); }

  DeviceHandle OpenPort(uint32_t* error) override {
    if (++readWriteOpens == m_failOpen) {
      *error = 5;
      return DEVICE_NONE;
    }
    return Track(open("/dev/null", O_RDWR | O_CLOEXEC));
  }
  DeviceHandle OpenPortForReading(uint32_t*) override { return Track(open("/dev/null", O_RDONLY | O_CLOEXEC)); }
  void ClosePort(DeviceHandle port) override {
    if (m_open.erase(port) == 0) ++strayCloses;  // never opened, or closed before
    CloseDevice(port);
  }
  int RundllPath(char* out, size_t outSize) override { return CopyText(out, outSize, "rundll32.exe") ? 1 : 0; }
  int StartDefaultPrinter(const char*, const wchar_t* modelName, uint32_t*) override {
    defaultPrinter = modelName;
    return 1;
  }

  int readWriteOpens = 0;
  int strayCloses = 0;
  std::wstring defaultPrinter;
  size_t StillOpen() const { return m_open.size(); }

 private:
  DeviceHandle Track(int fd) {
    DeviceHandle port = reinterpret_cast<DeviceHandle>(static_cast<intptr_t>(fd));
    m_open.insert(port);
    return port;
  }
  int m_failOpen;
  PrllDevice* m_previous;
  std::set<DeviceHandle> m_open;
};

}  // namespace

TEST(FWDownloadPrll, OpeningsOfThePortAndTheirHandles) {
  struct Case {
    const char* name;
    const wchar_t* product;
    int failOpen;
    int status;
    int readWriteOpens;
    size_t progress;  // messages sent
    bool interrupted = false;  // the run, once the port was open for the download (milestone 50)
  } cases[] = {
      // Read-write openings: the version check's (1), its two further
      // questions when no answer comes (2, 3), the VESTRA preparation's, the
      // download's.
      {"port does not open", L"QV5000", 1, FWDL_NO_PARALLEL_PORT, 1, 0},
      {"port does not open for the download", L"QV5000", 4, FWDL_NO_PARALLEL_PORT, 4, 1},
      {"VESTRA preparation cannot open it", L"VESTRA", 4, FWDL_NO_PARALLEL_PORT, 4, 1},
      {"VESTRA download cannot open it", L"VESTRA", 5, FWDL_NO_PARALLEL_PORT, 5, 1},
      {"written", L"QV5000", 0, FWDL_UPDATED, 4, 2},
      {"written after the VESTRA preparation", L"VESTRA", 0, FWDL_UPDATED, 5, 2},
      // A parallel burn cannot stop part way: the interrupt is taken before its data.
      {"interrupted before the data", L"QV5000", 0, FWDL_FAILED, 4, 2, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ControllerScene scene(c.product, L"LPT1:");
    CountingPort port(c.failOpen);
    nettest::FakeNet net;
    if (c.interrupted) scene.interruptAt = 50;

    EXPECT_EQ(CFWDownload(&scene.progress).FWDownload(L"QV", L"", ImageFile().c_str(), L""), c.status);
    EXPECT_EQ(port.readWriteOpens, c.readWriteOpens);
    EXPECT_EQ(port.StillOpen(), 0u);
    EXPECT_EQ(port.strayCloses, 0);
    EXPECT_EQ(scene.Progress().size(), c.progress);
    // The port has no address: its information reads reach no printer.
    EXPECT_EQ(net.Connections(), 0);
    if (c.failOpen) {
      // Once by the opening, once by the path, both with the open's error.
      EXPECT_EQ(scene.LinesStarting({L"_DownLaodRequired Failed to open PrllPort"}),
                std::vector<std::wstring>(2, L"_DownLaodRequired Failed to open PrllPort(gle=5)"));
    } else if (c.interrupted) {
      EXPECT_TRUE(scene.LinesStarting({L"CFWDownloadPrll::DownLoadFirmware", L"BurnFlash"}).empty());
    } else {
      EXPECT_TRUE(scene.log.Contains(L"BurnFlashPrllPort(): Successful"));
      // No model name comes over the parallel port: the driver's name stands in.
      EXPECT_EQ(port.defaultPrinter, L"QV Driver");
    }
  }
}

// The port's openings and the download stop the spooler and start it again,
// each time with the services that stopped with it. One that will not start
// is an error in the log; in a fleet run it is left in the run's list, and the
// run's check after the parallel printers reports it with a spooler that did
// not come back.
TEST(FWDownloadPrll, TheSpoolerComesBackWithItsDependents) {
  for (bool fleet : {false, true}) {
    SCOPED_TRACE(fleet ? "fleet" : "dialog");
    ControllerScene scene(L"QV5000", L"LPT1:");
    CountingPort port(0);
    FakeSpoolerService service(scene.spooler);
    service.AddDependent(L"QV Fax", 1058);
    service.AddDependent(L"QV Lpd");
    StoppedServices runStops;
    PrinterLookup lookup;
    lookup.port = L"LPT1:";
    lookup.driver = L"QV Driver";
    lookup.stoppedServices = &runStops;

    EXPECT_EQ(CFWDownload(&scene.progress, fleet ? &lookup : nullptr)
                  .FWDownload(L"QV", L"", ImageFile().c_str(), L""),
              FWDL_UPDATED);
    EXPECT_TRUE(service.Running());
    EXPECT_TRUE(service.DependentRunning(L"QV Lpd"));
    EXPECT_FALSE(service.DependentRunning(L"QV Fax"));
    EXPECT_TRUE(scene.log.Contains(L"ERROR: the service QV Fax, stopped with Spooler, could not be started again"));
    EXPECT_EQ(runStops, fleet ? StoppedServices{L"QV Fax"} : StoppedServices{});
    if (!fleet) continue;

    SpoolerRestart restart = ConfirmSpoolerRestarted(&runStops);
    EXPECT_TRUE(restart.spoolerRuns);
    EXPECT_EQ(restart.dependentsStopped, StoppedServices{L"QV Fax"});
    EXPECT_TRUE(runStops.empty());
    service.SetRunning(false);
    service.startError = 1058;
    EXPECT_FALSE(ConfirmSpoolerRestarted(&runStops).spoolerRuns);
  }
}
