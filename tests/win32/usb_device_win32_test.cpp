// USB device discovery against Wine's setup interface, with device nodes made
// for the test, and the device I/O on the found device: usb-relay serves its
// interface path and relays it to the simulated printer.

#include "printer/usb_device_win32.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/printer_sim.h"
#include "support/usb_stand_in_win32.h"
#include "transport/device_io.h"
#include "transport/usb_download.h"

namespace {

const uint8_t UEL[] = {0x1B, '%', '-', '1', '2', '3', '4', '5', 'X'};
const char ENTER_ACL[] = "@PJL ENTER LANGUAGE=ACL\r\n";
const uint8_t GET_VERSION[16] = {0x00, 0xAC, 0x00, 0x01};

// Two printers; the one on USB001 is listed first.
const std::vector<FakeUsbPrinter> TWO_PRINTERS = {{L"A0001", L"USB001", 0}, {L"B0002", L"USB002", 0x400}};

class UsbDevice : public ::testing::Test {
 protected:
  // The simulated printer behind B0002's interface path.
  void StartPrinter(const std::vector<std::string>& args) {
    PrinterSimOptions o;
    o.address = "127.53.0.1";
    o.args = args;
    ASSERT_TRUE(sim.Start(o)) << sim.error();
    ASSERT_TRUE(relay.Start(L"tideway-usb-B0002", {FakeUsbDeviceTree::LinkName(L"B0002")}, sim.address(), sim.port()))
        << relay.error();
  }

  void SendVersionQuery(DeviceHandle device) {
    EXPECT_EQ(WriteData(device, UEL, sizeof UEL), 9);
    EXPECT_EQ(WriteData(device, reinterpret_cast<const uint8_t*>(ENTER_ACL), 25), 25);
    EXPECT_EQ(WriteData(device, GET_VERSION, sizeof GET_VERSION), 16);
  }

  PrinterSim sim;
  UsbRelay relay;
};

TEST_F(UsbDevice, FindsItsPortBehindAnotherAndReadsAReplyInPieces) {
  FakeUsbDeviceTree tree(TWO_PRINTERS);
  ASSERT_TRUE(tree.ok());
  StartPrinter({"--version", "4321", "--fault", "split-reply:at=6,delay_ms=300"});
  LogCapture log;

  DeviceHandle device = OpenUSBDevice(L"USB002");
  ASSERT_NE(device, DEVICE_NONE);
  const std::wstring b = FakeUsbDeviceTree::InstanceId(L"B0002");
  const auto lines = log.Lines();
  auto at = [&](const std::wstring& line) { return std::find(lines.begin(), lines.end(), line) - lines.begin(); };
  EXPECT_LT(at(L"Device: " + FakeUsbDeviceTree::InstanceId(L"A0001")), at(L"Device: " + b));
  // Configuration flags other than 0: not installed, and used all the same.
  EXPECT_TRUE(log.Contains(L" Found a device connected that is NOT installed: " + b));
  EXPECT_TRUE(log.Contains(L"pPortname \"USB002\" = devinst \"" + b + L"\""));
  EXPECT_TRUE(
      log.Contains(L" Found device name \\\\?\\usb#vid_0a5f&pid_00d1#b0002#{28d78fad-5a12-11d1-ae5b-0000f803a8c2}"));

  SendVersionQuery(device);
  uint8_t reply[16] = {};
  ASSERT_EQ(ReadData(device, reply, 16, 3000), 6);
  ASSERT_EQ(ReadData(device, reply + 6, 10, 3000), 10);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 6), 8), "00004321");
  CloseDevice(device);
}

// Only the whole name with its case finds a device; the log says none was.
TEST_F(UsbDevice, PortNamesMatchWholeAndWithTheirCase) {
  FakeUsbDeviceTree tree(TWO_PRINTERS);
  ASSERT_TRUE(tree.ok());
  for (const wchar_t* port : {L"usb002", L"USB00", L"SB002", L"USB0022"}) {
    LogCapture log;
    EXPECT_EQ(OpenUSBDevice(port), DEVICE_NONE) << port;
    EXPECT_TRUE(log.Contains(L"Found PortName = 'USB002'")) << port;
    EXPECT_FALSE(log.ContainsPart(L" = devinst ")) << port;
    EXPECT_TRUE(log.Contains(L"ERROR: The function parameter 'searchDevInstanceID' is empty.")) << port;
    EXPECT_TRUE(log.ContainsPart(L"Context: OpenUSBDevice Failed")) << port;
  }
}

TEST_F(UsbDevice, NoDeviceFailsTheOpen) {
  FakeUsbDeviceTree none({});
  LogCapture log;
  EXPECT_EQ(OpenUSBDevice(L"USB001"), DEVICE_NONE);
  EXPECT_TRUE(log.Contains(L"ERROR: The function parameter 'searchDevInstanceID' is empty."));
  EXPECT_TRUE(log.ContainsPart(L"Context: OpenUSBDevice Failed"));

  // A walk goes on only from the set its first call opened.
  win::UniqueDevInfo state;
  DWORD index = 1;
  wchar_t id[USB_INSTANCE_ID_MAX];
  int installed = 0;
  EXPECT_EQ(_GetUSBDevice(&index, &state, id, &installed), 0);
  EXPECT_TRUE(
      log.Contains(L" m_hDevInfo == INVALID_HANDLE_VALUE.  Make sure index = 0 on first call to this function."));
}

// The read gives up, is cancelled, and the late reply neither lands in the
// abandoned buffer nor is lost: the next read gets it.
TEST_F(UsbDevice, ReadThatTimesOutLeavesTheLateReplyForTheNextRead) {
  FakeUsbDeviceTree tree(TWO_PRINTERS);
  ASSERT_TRUE(tree.ok());
  StartPrinter({"--version", "4321", "--fault", "slow:delay_ms=1000"});
  DeviceHandle device = OpenUSBDevice(L"USB002");
  ASSERT_NE(device, DEVICE_NONE);
  SendVersionQuery(device);

  LogCapture log;
  uint8_t abandoned[16];
  memset(abandoned, 0xEE, sizeof abandoned);
  EXPECT_EQ(ReadData(device, abandoned, 16, 200), -1);
  EXPECT_TRUE(log.Contains(L"ReadData(): WaitForSingleObject() Failed."));
  ASSERT_TRUE(sim.WaitForEvents("reply", 1, 5000));
  Sleep(300);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(abandoned), 16), std::string(16, '\xEE'));

  uint8_t reply[16] = {};
  ASSERT_EQ(ReadData(device, reply, 16, 3000), 16);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(reply + 6), 8), "00004321");
  CloseDevice(device);
}

// The user's path over USB: the transport finds the device by its port and
// runs its exchanges through the real device I/O.
TEST_F(UsbDevice, VersionQueryAndImageBurnEndToEnd) {
  FakeUsbDeviceTree tree(TWO_PRINTERS);
  ASSERT_TRUE(tree.ok());
  StartPrinter({"--version", "4321", "--restart-ms", "0"});
  FakeClock clock;  // the protocol's pauses; the device waits stay real
  const std::wstring path = fwtest::TempPath(L"usb-e2e.bin");
  const std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1300, 4400);
  ASSERT_EQ(fwtest::WriteFileBytes(path, image), 1);

  DeviceHandle device = OpenUSBDevice(L"USB002");
  ASSERT_NE(device, DEVICE_NONE);
  CFWDownloadUSB usb;
  FirmwareFileInfo info;
  std::string components;
  EXPECT_EQ(usb.GetFWVersion(&info, device, &components), 4321u);
  EXPECT_EQ(usb.DownLoadFirmware(&info, device, path.c_str(), L"", L""), 1);
  CloseDevice(device);

  const std::vector<std::string> commands = sim.Events("command");
  ASSERT_EQ(commands.size(), 2u);
  EXPECT_EQ(PrinterSim::Str(commands[1], "cmd"), "BURN_FLASH");
  EXPECT_TRUE(PrinterSim::Bool(commands[1], "ok")) << PrinterSim::Str(commands[1], "reason");
  const std::string stored = PrinterSim::Str(commands[1], "stored");
  const std::string storedHere = sim.store_dir() + "\\" + stored.substr(stored.find_last_of('/') + 1);
  HANDLE f = CreateFileA(storedHere.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(f, INVALID_HANDLE_VALUE) << storedHere;
  std::vector<uint8_t> burned(image.size() + 1);
  DWORD got = 0;
  ReadFile(f, burned.data(), static_cast<DWORD>(burned.size()), &got, nullptr);
  CloseHandle(f);
  burned.resize(got);
  EXPECT_EQ(burned, image);
  DeleteFileW(path.c_str());
}

// The device is unplugged in the middle of a burn (the relay ends): the burn
// ends at once rather than after its time-outs (10 s a write, 120 s for the
// answer). Gone during the data, it fails. Gone after the data, it looks like
// a printer that restarted before answering, which most products are allowed:
// the controller's verification then finds no device.
TEST_F(UsbDevice, DeviceGoneInTheMiddleOfABurnEndsAtOnce) {
  struct Case {
    const char* name;
    std::string fault;
    uint64_t imageSize;
    const char* gone;  // the simulator event after which the relay ends
    const wchar_t* product;
    int result;
    const wchar_t* line;
  } cases[] = {
      // The printer stops reading: the writes back up into the device.
      {"during the data", "stall-mid-data:at=65536,delay_ms=60000", 8u << 20, "fault", L"", -1, L"Write  data failed"},
      {"waiting for the answer", "no-reply:cmd=burn", 64u << 10, "command", L"", 1, L"Read  acl response failed"},
      {"waiting for the answer, no leniency", "no-reply:cmd=burn", 64u << 10, "command", L"KORM", -1,
       L"Read  acl response failed"},
  };
  FakeUsbDeviceTree tree(TWO_PRINTERS);
  ASSERT_TRUE(tree.ok());
  FakeClock clock;  // the pause after the data; the device waits stay real
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    StartPrinter({"--fault", c.fault});
    SetProductName(c.product);
    const std::wstring path = fwtest::TempPath(L"usb-gone.bin");
    ASSERT_EQ(fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, c.imageSize, 4400)), 1);
    DeviceHandle device = OpenUSBDevice(L"USB002");
    ASSERT_NE(device, DEVICE_NONE);
    LogCapture log;

    int result = 0;
    std::thread burn([&] {
      FirmwareFileInfo info;
      result = CFWDownloadUSB().DownLoadFirmware(&info, device, path.c_str(), L"", L"");
    });
    EXPECT_TRUE(sim.WaitForEvents(c.gone, 1, 20000));
    relay.Stop();
    const auto gone = std::chrono::steady_clock::now();
    burn.join();
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - gone).count();

    EXPECT_EQ(result, c.result);
    EXPECT_LT(ms, 5000);
    EXPECT_TRUE(log.Contains(c.line));
    SetProductName(L"");
    CloseDevice(device);
    sim.Stop();
    DeleteFileW(path.c_str());
  }
}

}  // namespace
