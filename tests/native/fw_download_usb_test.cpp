// The USB path and the USB information reads. Natively a device handle is a
// descriptor: each open of the USB device connects a socket to the simulated
// printer, and the test decides how many opens succeed.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "fw_download_scene.h"
#include "ntwk_sim_fixture.h"
#include "printer/usb_device.h"
#include "transport/acl_protocol.h"
#include "transport/device_link.h"
#include "update/fw_download.h"

using fwdltest::ControllerScene;
using fwdltest::ImageFile;
using fwdltest::SimCommands;

namespace {

struct UsbOpens {
  sockaddr_in printer{};
  int allowed = 0;  // the first opens that reach the printer
  int calls = 0;
};
UsbOpens g_opens;

UsbDeviceHandle OpenSimDevice(const wchar_t*) {
  if (++g_opens.calls > g_opens.allowed) return USB_DEVICE_NONE;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (connect(fd, reinterpret_cast<sockaddr*>(&g_opens.printer), sizeof g_opens.printer) != 0) {
    close(fd);
    return USB_DEVICE_NONE;
  }
  return reinterpret_cast<UsbDeviceHandle>(static_cast<intptr_t>(fd));
}

// The simulator answers within milliseconds; only reads that find nothing
// (the CORVINE read of what an earlier job left) would wait their seconds.
class ShortWaitChannel : public DeviceChannel {
 public:
  using DeviceChannel::DeviceChannel;
  int Read(uint8_t* buffer, uint32_t count, uint32_t waitMs) override {
    return DeviceChannel::Read(buffer, count, waitMs < 300 ? waitMs : 300);
  }
};

// The printer "QV" on USB001, served by the simulator at `address`.
struct UsbScene : ControllerScene {
  UsbScene(const wchar_t* product, const std::string& address, std::vector<std::string> simArgs, int allowed)
      : ControllerScene(product, L"USB001") {
    started = sim.Start(address, simArgs, 5000);
    g_opens = UsbOpens{};
    g_opens.printer.sin_family = AF_INET;
    g_opens.printer.sin_port = htons(static_cast<uint16_t>(sim.sim().port()));
    inet_pton(AF_INET, address.c_str(), &g_opens.printer.sin_addr);
    g_opens.allowed = allowed;
    previousHook = SetUsbOpenHookForTesting(OpenSimDevice);
    previousFactory = SetDeviceChannelFactoryForTesting(&shortWaits);
  }
  ~UsbScene() {
    SetDeviceChannelFactoryForTesting(previousFactory);
    SetUsbOpenHookForTesting(previousHook);
  }

  nettest::SimPrinter sim;
  bool started = false;
  UsbOpenHook previousHook = nullptr;
  DeviceChannelFactory shortWaits = [](DeviceHandle device) { return std::make_unique<ShortWaitChannel>(device); };
  const DeviceChannelFactory* previousFactory = nullptr;
};

}  // namespace

TEST(FWDownloadUsb, OpeningTheDeviceBeforeAndAfterTheDownload) {
  struct Case {
    const char* name;
    std::vector<std::string> simArgs;
    int allowed;  // opens that reach the printer: the model read's, the path's, the reopening's
    int status;
    int opens;
    bool interrupted = false;  // the run, once the version was read (milestone 50)
  } cases[] = {
      {"no device", {}, 0, FWDL_NO_USB_DEVICE, 2},
      {"not back within 60 attempts", {"--fault", "no-restart"}, 2, FWDL_NO_USB_DEVICE, 2 + FWDL_VERIFY_PASSES},
      {"back with the new version", {"--fault", "no-restart"}, 3, FWDL_UPDATED, 3},
      {"back with the old version", {"--fault", "no-restart", "--fault", "keep-old-version"}, 3, FWDL_FAILED, 3},
      // A USB burn cannot stop part way: the interrupt is taken before its data.
      {"interrupted before the data", {"--fault", "no-restart"}, 3, FWDL_FAILED, 2, true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    UsbScene scene(L"QV5000", "127.62.3." + std::to_string(++n), c.simArgs, c.allowed);
    ASSERT_TRUE(scene.started) << scene.sim.error();
    if (c.interrupted) scene.interruptAt = 50;

    EXPECT_EQ(CFWDownload(&scene.progress).FWDownload(L"QV", L"", ImageFile().c_str(), L""), c.status);
    EXPECT_EQ(g_opens.calls, c.opens);
    bool downloaded = c.allowed > 1;
    bool written = downloaded && !c.interrupted;
    EXPECT_EQ(scene.Progress().size(), downloaded ? 2u : 0u);
    EXPECT_EQ(scene.LinesStarting({L"StopAService(", L"StartAService("}).size(), written ? 2u : 0u);
    EXPECT_EQ(SimCommands(scene.sim.sim(), "BURN_FLASH").size(), written ? 1u : 0u);
    if (c.opens == 2 + FWDL_VERIFY_PASSES) {
      std::vector<uint32_t> sleeps = scene.clock.Sleeps();
      // The restart wait by the second, then the passes.
      std::vector<uint32_t> expected(FWDL_RESTART_WAIT_MS / 1000, 1000);
      expected.insert(expected.end(), FWDL_VERIFY_PASSES, FWDL_VERIFY_PASS_WAIT_MS);
      ASSERT_GE(sleeps.size(), expected.size());
      EXPECT_EQ(std::vector<uint32_t>(sleeps.end() - expected.size(), sleeps.end()), expected);
    }
  }
}

TEST(FWDownloadUsb, VestraNvramModeFollowsALowerCaseNInTheModelName) {
  struct Case {
    const char* info;
    int mode;
  } cases[] = {{"MDL:Vestra n200;", 1}, {"MDL:VESTRA N200;", 0}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.info);
    // The reset is not answered and the printer stays up: the burn follows on
    // the same device.
    UsbScene scene(L"VESTRA", "127.62.4." + std::to_string(++n),
                   {"--printer-info", c.info, "--fault", "no-restart", "--fault", "no-reply:cmd=reset"}, 100);
    ASSERT_TRUE(scene.started) << scene.sim.error();

    EXPECT_EQ(CFWDownload(&scene.progress).FWDownload(L"QV", L"", ImageFile().c_str(), L""), FWDL_UPDATED);
    EXPECT_EQ(SimCommands(scene.sim.sim()),
              (std::vector<std::string>{"GET_PRINTER_INFO", "GET_VERSION", "WRITE_NVRAM", "RESET", "BURN_FLASH"}));
    EXPECT_EQ(PrinterSim::Num(SimCommands(scene.sim.sim(), "WRITE_NVRAM")[0], "mode"), c.mode);
    EXPECT_EQ(g_opens.calls, 2);  // no verification for VESTRA
  }
}

TEST(FWDownloadUsb, InformationReadRetries) {
  struct Case {
    const wchar_t* product;
    uint16_t cmdID;
    std::vector<std::wstring> retries;
  } cases[] = {
      {L"CORVINE",
       ACLCMD_GET_PRINTER_INFO,
       {L"Pax: retry 1", L"Pax: retry 2", L"Pax: retry 3", L"Pax: retry 4", L"Pax: retry 5", L"Pax: retry 6"}},
      {L"QV5000", ACLCMD_GET_PRINTER_INFO, {}},
      {L"CORVINE", ACLCMD_GET_BUILD_INFO, {L"Pax: retry 1", L"Pax: retry 3"}},
      {L"QV5000", ACLCMD_GET_BUILD_INFO, {L"Pax: retry 1"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(++n);
    UsbScene scene(c.product, "127.62.5." + std::to_string(n), {"--fault", "status:value=2,cmd=info+build"}, 100);
    ASSERT_TRUE(scene.started) << scene.sim.error();
    wchar_t text[FWDL_INFO_TEXT_MAX] = L"kept";
    EXPECT_EQ(CFWDownload().GetPrinterFWInfo(L"QV", c.cmdID, text), 0);
    EXPECT_STREQ(text, L"kept");
    EXPECT_EQ(scene.LinesStarting({L"Pax: retry"}), c.retries);
    // Each attempt opens the device once; one attempt without retries.
    size_t attempts = c.retries.empty() ? 1 : c.retries.size();
    EXPECT_EQ(static_cast<size_t>(g_opens.calls), attempts);
  }
}
