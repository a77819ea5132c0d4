// The USB and parallel transports against the simulated printer: natively a
// device handle is a descriptor, here a TCP connection to the simulator, so
// the product's own WriteData/ReadData carry every exchange.

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
#include "transport/prll_device.h"
#include "transport/prll_download.h"
#include "transport/usb_download.h"

namespace {

int ConnectTo(const PrinterSim& sim) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(static_cast<uint16_t>(sim.port()));
  inet_pton(AF_INET, sim.address().c_str(), &a.sin_addr);
  if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    close(fd);
    fd = -1;
  }
  return fd;
}

DeviceHandle AsHandle(int fd) {
  return reinterpret_cast<DeviceHandle>(static_cast<intptr_t>(fd));
}

struct Device {
  int fd;
  explicit Device(const PrinterSim& sim) : fd(ConnectTo(sim)) {}
  ~Device() {
    if (fd >= 0) close(fd);
  }
  DeviceHandle handle() const { return AsHandle(fd); }
};

// The parallel port as the simulator: the write handle is a connection, the
// read-only handle a second descriptor of the same connection.
class SimPort : public PrllDevice {
 public:
  explicit SimPort(const PrinterSim& sim) : m_sim(sim), m_previous(SetPrllDeviceForTesting(this)) {}
  ~SimPort() override { SetPrllDeviceForTesting(m_previous); }
  DeviceHandle OpenPort(uint32_t*) override {
    int fd = ConnectTo(m_sim);
    m_reader = fd >= 0 ? dup(fd) : -1;
    return AsHandle(fd);
  }
  DeviceHandle OpenPortForReading(uint32_t*) override { return AsHandle(m_reader); }
  void ClosePort(DeviceHandle port) override {
    close(static_cast<int>(reinterpret_cast<intptr_t>(port)));
    ++closed;
  }
  int RundllPath(char*, size_t) override { return 0; }
  int StartDefaultPrinter(const char*, const wchar_t*, uint32_t*) override { return 0; }
  int closed = 0;

 private:
  const PrinterSim& m_sim;
  int m_reader = -1;
  PrllDevice* m_previous;
};

}  // namespace

TEST(DeviceSimExchange, UsbQueriesNvramFixAndImageBurn) {
  FakeClock clock;
  LogCapture log;
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.62.1.1";
  o.args = {"--version", "4321", "--info-lead", "0d0a", "--restart-ms", "0", "--quiet"};
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  CFWDownloadUSB usb;
  {
    Device dev(sim);
    FirmwareFileInfo info;
    info.fileType = BINTYPE_CODE_ONLY;
    std::string text;
    EXPECT_EQ(usb.GetFWVersion(&info, dev.handle(), &text), 4321u);
    char out[ACL_TEXT_BUFFER_SIZE];
    EXPECT_EQ(usb.GetPrinterFwInfo(dev.handle(), out, ACLCMD_GET_PRINTER_INFO), 1);
    EXPECT_STREQ(out, "MDL:Tideway Sim 100;CMD:ACL,PJL;");
    EXPECT_EQ(usb.FixNvRam(dev.handle(), 1), 0);
    EXPECT_EQ(PrinterSim::Num(sim.Control(R"({"op":"state"})"), "nvram_mode"), 1);

    std::wstring path = fwtest::TempPath(L"usb-sim.bin");
    fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1300, 4400));
    EXPECT_EQ(usb.DownLoadFirmware(&info, dev.handle(), path.c_str(), L"", L""), 1);
    std::vector<std::string> burns = sim.Events("command");
    ASSERT_FALSE(burns.empty());
    EXPECT_EQ(PrinterSim::Str(burns.back(), "cmd"), "BURN_FLASH");
    EXPECT_EQ(PrinterSim::Num(burns.back(), "received"), 1300);
    EXPECT_TRUE(PrinterSim::Bool(burns.back(), "ok")) << PrinterSim::Str(burns.back(), "reason");
  }
  // Every job ended in PJL, none left garbage behind.
  EXPECT_TRUE(sim.Events("garbage").empty());
  ASSERT_TRUE(sim.WaitUntilUp());
  Device after(sim);
  FirmwareFileInfo info;
  std::string text;
  EXPECT_EQ(usb.GetFWVersion(&info, after.handle(), &text), 4400u);
}

// The network's fault rows that apply to a device: a reply in two pieces is
// read whole here, where one receive over the network falls short.
TEST(DeviceSimExchange, UsbVersionQueryUnderReplyFaults) {
  FakeClock clock;
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.62.1.2";
  o.args = {"--version", "77", "--quiet"};
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  struct Row {
    const char* fault;
    uint32_t version;
    std::wstring line;
  } rows[] = {
      {"status:value=2", 0, L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."},
      {"wrong-cmdid", 0, L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed."},
      {"wrong-prefix", 0, L"GetFWVersion(): ReadData() ACL_PREFIX Failed."},
      {"split-reply:at=8,delay_ms=200", 77, L"Retrieved version 77 from firmware"},
  };
  Device dev(sim);
  for (const Row& r : rows) {
    ASSERT_TRUE(sim.SetFaults({r.fault}));
    LogCapture log;
    FirmwareFileInfo info;
    std::string text;
    EXPECT_EQ(CFWDownloadUSB().GetFWVersion(&info, dev.handle(), &text), r.version) << r.fault;
    EXPECT_TRUE(log.Contains(r.line)) << r.fault;
  }
}

TEST(DeviceSimExchange, ParallelVersionQuestionWithItsReadHandle) {
  FakeClock clock;
  LogCapture log;
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.62.1.3";
  o.args = {"--version", "2468", "--quiet"};
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  SimPort port(sim);
  CFWDownloadPrll prll;
  uint32_t error = 0;
  DeviceHandle given = port.OpenPort(&error);
  ASSERT_NE(given, DEVICE_NONE);
  EXPECT_EQ(prll.GetPrllFWVersion(given), 2468u);
  EXPECT_EQ(port.closed, 2);
  EXPECT_TRUE(log.Contains(L"GetPrllFWVersion(): read 16 prll bytes"));
}
