// The USB transport against the simulated printer: natively a device handle
// is a descriptor, here a TCP connection to the simulator, so the product's
// own WriteData/ReadData carry every exchange and the simulator checks it.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "firmware/versions.h"
#include "support/fake_clock.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/printer_sim.h"
#include "transport/usb_download.h"

namespace {

// A connection to the simulator as a device handle, closed with the object.
struct Device {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  explicit Device(const PrinterSim& sim) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(static_cast<uint16_t>(sim.port()));
    inet_pton(AF_INET, sim.address().c_str(), &a.sin_addr);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  }
  ~Device() { close(fd); }
  DeviceHandle handle() const { return reinterpret_cast<DeviceHandle>(static_cast<intptr_t>(fd)); }
};

}  // namespace

TEST(DeviceSimExchange, UsbQueriesNvramFixImageBurnAndTheNewVersion) {
  FakeClock clock;
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.62.1.1";
  o.args = {"--version", "4321", "--info-lead", "0d0a", "--restart-ms", "0", "--quiet"};
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  CFWDownloadUSB usb;
  FirmwareFileInfo info;
  std::string text;
  {
    Device dev(sim);
    // A reply in two pieces is read whole (one network receive would fall short).
    ASSERT_TRUE(sim.SetFaults({"split-reply:at=8,delay_ms=200,cmd=version"}));
    EXPECT_EQ(usb.GetFWVersion(&info, dev.handle(), &text), 4321u);
    char out[ACL_TEXT_BUFFER_SIZE];
    EXPECT_EQ(usb.GetPrinterFwInfo(dev.handle(), out, ACLCMD_GET_PRINTER_INFO), 1);
    EXPECT_STREQ(out, "MDL:Tideway Sim 100;CMD:ACL,PJL;");
    EXPECT_EQ(usb.FixNvRam(dev.handle(), 1), 0);
    EXPECT_EQ(PrinterSim::Num(sim.Control(R"({"op":"state"})"), "nvram_mode"), 1);

    std::wstring path = fwtest::TempPath(L"usb-sim.bin");
    fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1300, 4400));
    EXPECT_EQ(usb.DownLoadFirmware(&info, dev.handle(), path.c_str(), L"", L""), 1);
    std::string burn = sim.Events("command").back();
    EXPECT_EQ(PrinterSim::Str(burn, "cmd"), "BURN_FLASH");
    EXPECT_EQ(PrinterSim::Num(burn, "received"), 1300);
    EXPECT_TRUE(PrinterSim::Bool(burn, "ok")) << PrinterSim::Str(burn, "reason");
  }
  EXPECT_TRUE(sim.Events("garbage").empty());
  ASSERT_TRUE(sim.WaitUntilUp());
  Device after(sim);
  ASSERT_TRUE(sim.SetFaults({"status:value=2"}));
  LogCapture log;
  EXPECT_EQ(usb.GetFWVersion(&info, after.handle(), &text), 0u);
  EXPECT_TRUE(log.Contains(L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."));
  ASSERT_TRUE(sim.SetFaults({}));
  EXPECT_EQ(usb.GetFWVersion(&info, after.handle(), &text), 4400u);
}
