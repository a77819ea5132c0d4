// The USB path and the USB information reads of the controller. Natively the
// device handle is a descriptor: each open of the USB device connects a
// socket to the simulated printer, and the test decides which opens fail.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "app/fw_download.h"
#include "app/main_window_link.h"
#include "ntwk_sim_fixture.h"
#include "printer/product_name.h"
#include "printer/usb_device.h"
#include "support/fake_clock.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "transport/acl_protocol.h"
#include "transport/device_link.h"

using nettest::SimPrinter;

namespace {

// The opens of the USB device: the first `allowed` reach the printer.
struct UsbOpens {
  std::string address;
  int port = 0;
  int allowed = 0;
  int calls = 0;
};
UsbOpens g_opens;

UsbDeviceHandle OpenSimDevice(const wchar_t*) {
  if (++g_opens.calls > g_opens.allowed) return USB_DEVICE_NONE;
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<uint16_t>(g_opens.port));
  inet_pton(AF_INET, g_opens.address.c_str(), &sa.sin_addr);
  if (connect(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    close(fd);
    return USB_DEVICE_NONE;
  }
  return reinterpret_cast<UsbDeviceHandle>(static_cast<intptr_t>(fd));
}

// The simulator answers within milliseconds; only the reads that find nothing
// (the CORVINE read of what an earlier job left) would wait their seconds.
class ShortWaitChannel : public ByteChannel {
 public:
  explicit ShortWaitChannel(DeviceHandle device) : m_channel(device) {}
  int Write(const uint8_t* data, uint32_t count) override { return m_channel.Write(data, count); }
  int Read(uint8_t* buffer, uint32_t count, uint32_t waitMs) override {
    return m_channel.Read(buffer, count, waitMs < 300 ? waitMs : 300);
  }

 private:
  DeviceChannel m_channel;
};

// A printer on USB001 served by the simulator at `address`.
struct UsbScene {
  UsbScene(const wchar_t* product, const std::string& address, std::vector<std::string> simArgs, int allowed)
      : spooler({{L"QV USB", L"USB001", L"QV Driver", L"", 0}}) {
    SetProductName(product);
    started = sim.Start(address, std::move(simArgs), 5000);
    g_opens = UsbOpens{address, sim.sim().port(), allowed, 0};
    previousHook = SetUsbOpenHookForTesting(OpenSimDevice);
    previousFactory = SetDeviceChannelFactoryForTesting(&shortWaits);
    g_hMainWnd = this;
    previousSender = SetMainWindowSenderForTesting(
        [this](void*, unsigned, uintptr_t, intptr_t percent) { progress.push_back(static_cast<int>(percent)); });
  }
  ~UsbScene() {
    SetMainWindowSenderForTesting(previousSender);
    g_hMainWnd = nullptr;
    SetDeviceChannelFactoryForTesting(previousFactory);
    SetUsbOpenHookForTesting(previousHook);
    SetProductName(L"");
  }
  std::vector<std::string> Commands(const std::string& name) {
    std::vector<std::string> out;
    for (const std::string& e : sim.sim().Events("command")) {
      if (PrinterSim::Str(e, "cmd") == name) out.push_back(e);
    }
    return out;
  }

  FakeClock clock;
  LogCapture log;
  FakeSpooler spooler;
  SimPrinter sim;
  bool started = false;
  UsbOpenHook previousHook = nullptr;
  DeviceChannelFactory shortWaits = [](DeviceHandle device) { return std::make_unique<ShortWaitChannel>(device); };
  const DeviceChannelFactory* previousFactory = nullptr;
  MainWindowSender previousSender;
  std::vector<int> progress;
};

std::wstring ImageFile() {
  std::wstring path = fwtest::TempPath(L"controller-usb.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, 1100));
  return path;
}

}  // namespace

TEST(FWDownloadUsb, OpeningTheDeviceBeforeAndAfterTheDownload) {
  struct Case {
    const char* name;
    std::vector<std::string> faults;
    int allowed;  // opens that reach the printer: the model read's, the path's, the reopen's
    int status;
    int opens;
    std::vector<int> progress;
  } cases[] = {
      {"no device", {}, 0, FWDL_NO_USB_DEVICE, 2, {}},
      {"not back within 60 attempts", {"no-restart"}, 2, FWDL_NO_USB_DEVICE, 2 + FWDL_VERIFY_PASSES, {15, 50}},
      {"back and reports the new version", {"no-restart"}, 3, FWDL_UPDATED, 3, {15, 50}},
      {"back with the old version", {"no-restart", "keep-old-version"}, 3, FWDL_FAILED, 3, {15, 50}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<std::string> args = {"--version", "1000"};
    for (const std::string& f : c.faults) args.insert(args.end(), {"--fault", f});
    UsbScene scene(L"QV5000", "127.62.3." + std::to_string(++n), args, c.allowed);
    ASSERT_TRUE(scene.started) << scene.sim.error();

    EXPECT_EQ(CFWDownload().FWDownload(L"QV USB", L"", ImageFile().c_str(), L""), c.status);
    EXPECT_EQ(g_opens.calls, c.opens);
    EXPECT_EQ(scene.progress, c.progress);
    bool downloaded = c.allowed > 1;
    EXPECT_EQ(scene.log.Contains(L"StopAService(Spooler)"), downloaded);
    EXPECT_EQ(scene.log.Contains(L"StartAService(Spooler)"), downloaded);
    EXPECT_EQ(scene.Commands("BURN_FLASH").size(), downloaded ? 1u : 0u);
    if (c.opens == 2 + FWDL_VERIFY_PASSES) {
      std::vector<uint32_t> sleeps = scene.clock.Sleeps();
      std::vector<uint32_t> reopen(sleeps.end() - FWDL_VERIFY_PASSES - 1, sleeps.end());
      std::vector<uint32_t> expected(FWDL_VERIFY_PASSES + 1, FWDL_VERIFY_PASS_WAIT_MS);
      expected[0] = FWDL_RESTART_WAIT_MS;
      EXPECT_EQ(reopen, expected);
    }
  }
}

TEST(FWDownloadUsb, VestraNvramModeFollowsALowerCaseNInTheModelName) {
  struct Case {
    const char* model;
    int mode;
  } cases[] = {{"MDL:Vestra n200;", 1}, {"MDL:VESTRA N200;", 0}};
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.model);
    // The reset is not answered and the printer stays up, so the burn follows
    // on the same device.
    UsbScene scene(L"VESTRA", "127.62.4." + std::to_string(++n),
                   {"--printer-info", c.model, "--fault", "no-restart", "--fault", "no-reply:cmd=reset"}, 100);
    ASSERT_TRUE(scene.started) << scene.sim.error();

    EXPECT_EQ(CFWDownload().FWDownload(L"QV USB", L"", ImageFile().c_str(), L""), FWDL_UPDATED);
    std::vector<std::string> nvram = scene.Commands("WRITE_NVRAM");
    ASSERT_EQ(nvram.size(), 1u);
    EXPECT_EQ(PrinterSim::Num(nvram[0], "mode"), c.mode);
    EXPECT_EQ(scene.Commands("RESET").size(), 1u);
    EXPECT_EQ(scene.Commands("BURN_FLASH").size(), 1u);
    EXPECT_EQ(g_opens.calls, 2);  // no verification for VESTRA
  }
}

TEST(FWDownloadUsb, InformationReadRetries) {
  struct Case {
    const wchar_t* product;
    uint16_t cmdID;
    int opens;
    std::vector<std::wstring> retries;
  } cases[] = {
      {L"CORVINE",
       ACLCMD_GET_PRINTER_INFO,
       6,
       {L"Pax: retry 1", L"Pax: retry 2", L"Pax: retry 3", L"Pax: retry 4", L"Pax: retry 5", L"Pax: retry 6"}},
      {L"QV5000", ACLCMD_GET_PRINTER_INFO, 1, {}},
      {L"CORVINE", ACLCMD_GET_BUILD_INFO, 2, {L"Pax: retry 1", L"Pax: retry 3"}},
      {L"QV5000", ACLCMD_GET_BUILD_INFO, 1, {L"Pax: retry 1"}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(++n));
    UsbScene scene(c.product, "127.62.5." + std::to_string(n), {"--fault", "status:value=2,cmd=info+build"}, 100);
    ASSERT_TRUE(scene.started) << scene.sim.error();
    wchar_t text[FWDL_INFO_TEXT_MAX] = L"kept";
    EXPECT_EQ(CFWDownload().GetPrinterFWInfo(L"QV USB", c.cmdID, text), 0);
    EXPECT_STREQ(text, L"kept");
    EXPECT_EQ(g_opens.calls, c.opens);
    std::vector<std::wstring> retries;
    for (const std::wstring& line : scene.log.Lines()) {
      if (line.compare(0, 10, L"Pax: retry") == 0) retries.push_back(line);
    }
    EXPECT_EQ(retries, c.retries);
  }

  // A printer that answers the second attempt.
  UsbScene scene(L"CORVINE", "127.62.5.9", {"--fault", "status:value=2,cmd=info,times=1"}, 100);
  ASSERT_TRUE(scene.started) << scene.sim.error();
  wchar_t name[FWDL_NAME_MAX] = {};
  EXPECT_EQ(CFWDownload().GetFwPrinterName(L"QV USB", name), 1);
  EXPECT_STREQ(name, L"Tideway Sim 100");
  EXPECT_EQ(g_opens.calls, 2);
}
