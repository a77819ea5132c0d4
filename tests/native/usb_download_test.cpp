// The USB transport against a scripted device: bytes and write sizes on the
// wire, read policies and waits, results and the lines support staff read.

#include "transport/usb_download.h"

#include <gtest/gtest.h>

#include <cstring>

#include "firmware/versions.h"
#include "host/file_io.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/fake_device.h"
#include "support/fake_tcp_channel.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "transport/acl_checksum.h"
#include "transport/ntwk_download.h"
#include "transport/prll_download.h"

using devtest::FakeDevice;
using devtest::Handle;
using nettest::Bytes;
using nettest::Concat;
using nettest::Hex;
using nettest::Response;
using Sleeps = std::vector<uint32_t>;

namespace {

const DeviceHandle kUsb = Handle(7);

struct ProductScope {
  explicit ProductScope(const wchar_t* name) { SetProductName(name); }
  ~ProductScope() { SetProductName(L""); }
};

struct TempFile {
  std::wstring path;
  FILE* f;
  TempFile(const std::wstring& name, const std::vector<uint8_t>& bytes) : path(fwtest::TempPath(name)) {
    fwtest::WriteFileBytes(path, bytes);
    f = OpenFileWide(path.c_str(), "rb");
  }
  ~TempFile() { fclose(f); }
};

std::vector<uint8_t> Be16(uint16_t v) {
  return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

}  // namespace

TEST(UsbExchange, VersionReplyInPiecesThenImageInChunksAfterTheCommand) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  std::vector<uint8_t> reply = Response(0x0001, 1, Bytes("00012345"));
  dev.replies = {devtest::Reply({reply.begin(), reply.begin() + 10}),
                 devtest::Reply({reply.begin() + 10, reply.end()})};
  FirmwareFileInfo info;
  info.fileType = BINTYPE_CODE_ONLY;
  std::string text;
  EXPECT_EQ(CFWDownloadUSB().GetFWVersion(&info, kUsb, &text), 12345u);
  EXPECT_EQ(dev.trace, (std::vector<std::string>{"h7 write 9 = 9", "h7 write 25 = 25", "h7 write 16 = 16",
                                                 "h7 read 16 3000 = 10", "h7 read 6 3000 = 6", "h7 write 9 = 9"}));
  EXPECT_EQ(clock.Sleeps(), (Sleeps{500, 500}));
  EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{L"CFWDownloadUSB::GetFWVersion", L"read 10 bytes", L"read 6 bytes",
                                                    L"GetFWVersion(): Get Firmware version.",
                                                    L"Retrieved version 12345 from firmware"}));

  FakeClock burnClock;
  FakeDevice burn;
  std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1300, 7);
  TempFile file(L"usb.bin", image);
  burn.replies = {devtest::Reply(Response(0x000F))};
  EXPECT_EQ(CFWDownloadUSB().BurnFlash(kUsb, file.f, ACL_IMAGE_CODE_ONLY), 1);
  EXPECT_EQ(burn.writeSizes, (std::vector<uint32_t>{9, 25, 16, 512, 512, 276}));
  std::vector<uint8_t> command = Concat(
      {{0x00, 0xAC, 0x00, 0x0F, 0x00, 0x03}, Be16(AclChecksum16(image.data(), 1300)), {0, 0, 0, 0, 0, 0, 0x05, 0x14}});
  EXPECT_EQ(Hex(burn.written), Hex(Concat({nettest::Uel(), nettest::EnterLang(), command, image})));
  EXPECT_EQ(burn.trace.back(), "h7 read 16 120000 = 16");
  EXPECT_EQ(burnClock.Sleeps(), (Sleeps{10000}));
}

TEST(UsbExchange, Status2IsAskedThreeTimesASecondApart) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  for (int i = 0; i < 3; ++i) dev.replies.push_back(devtest::Reply(Response(0x0001, 2, Bytes("00000009"))));
  std::wstring path = fwtest::TempPath(L"status2.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 600, 5));
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadUSB().CheckFirmwareVersion(L"", L"", &info, kUsb, path.c_str()), -1);
  EXPECT_EQ(clock.Sleeps(), (Sleeps{500, 1000, 500, 1000, 500, 1000}));
  EXPECT_EQ(dev.writeSizes.size(), 12u);  // each job still ends with its PJL_UEL
  EXPECT_TRUE(log.Contains(L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."));
  EXPECT_EQ(log.Lines().back(), L"Failed to get the Firmware Version");
  EXPECT_EQ(CFWDownloadUSB().CheckFirmwareVersion(L"", L"", &info, DEVICE_NONE, path.c_str()), -1);
  EXPECT_EQ(log.Lines().back(), L"OpenUSBDevice = INVALID_HANDLE_VALUE");
}

// Only what comes after all data was written is forgiven, and only outside
// VESTRA and KORM (image) or short of a refused status (SPI).
TEST(UsbExchange, BurnLeniency) {
  struct Case {
    const char* what;
    const wchar_t* product;
    bool spi;
    std::vector<std::pair<int, int>> writes;
    std::deque<devtest::Piece> replies;
    int result;
    std::wstring line;
  } cases[] = {
      {"no answer", L"", false, {}, {}, 1, L"Read  acl response failed"},
      {"no answer, VESTRA", L"VESTRA", false, {}, {}, 0, L"BurnFlash(): ReadData() Failed."},
      {"status 2",
       L"",
       false,
       {},
       {devtest::Reply(Response(0x000F, 2))},
       1,
       L"Read  acl response status != ACLCMD_STATUS_SUCCESS"},
      {"status 2, KORM",
       L"KORM 2",
       false,
       {},
       {devtest::Reply(Response(0x000F, 2))},
       0,
       L"Read  acl response status != ACLCMD_STATUS_SUCCESS"},
      {"enter-language short",
       L"",
       false,
       {{1, 3}},
       {devtest::Reply(Response(0x000F))},
       0,
       L"Write  PJL_ENTERLANG failed"},
      {"data fails", L"", false, {{4, -1}}, {devtest::Reply(Response(0x000F))}, 0, L"Write  data failed"},
      {"SPI wrong cmdID",
       L"",
       true,
       {},
       {devtest::Reply(Response(0x000F))},
       1,
       L"Read  acl response cmdID != ACLCMD_WRITE_SPIMEM"},
      {"SPI short answer", L"", true, {}, {devtest::Reply({0x00})}, 1, L"Read  acl response prefix != ACL_PREFIX"},
      {"SPI status 2",
       L"",
       true,
       {},
       {devtest::Reply(Response(0x0005, 2))},
       0,
       L"Read  acl response status != ACLCMD_STATUS_SUCCESS"},
      {"SPI command fails", L"", true, {{2, -1}}, {devtest::Reply(Response(0x0005))}, 0, L"Write  acl cmd failed"},
      {"SPI closing UEL short",
       L"",
       true,
       {{5, 2}},
       {devtest::Reply(Response(0x0005))},
       1,
       L"ERROR: failed to send terminating UEL."},
  };
  for (Case& c : cases) {
    ProductScope product(c.product);
    FakeClock clock;
    LogCapture log;
    FakeDevice dev;
    dev.writeResults = c.writes;
    dev.replies = c.replies;
    TempFile file(L"lenient.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1000, 7));
    CFWDownloadUSB usb;
    EXPECT_EQ(c.spi ? usb.BurnSpiFlash(kUsb, file.f) : usb.BurnFlash(kUsb, file.f, 3), c.result) << c.what;
    EXPECT_TRUE(log.Contains(c.line)) << c.what;
  }
}

TEST(UsbExchange, InfoTextFromItsThirdByte) {
  for (const wchar_t* product : {L"", L"CORVINE"}) {
    ProductScope scope(product);
    FakeClock clock;
    LogCapture log;
    FakeDevice dev;
    const std::string text = "\r\nMDL:Tideway 100;";
    if (*product) dev.replies.push_back(devtest::Reply(Bytes("left")));
    dev.replies.push_back(devtest::Reply(Response(0x0006, 1, Be16(static_cast<uint16_t>(text.size())))));
    dev.replies.push_back(devtest::Reply(Bytes(text.substr(0, 5))));
    dev.replies.push_back(devtest::Reply(Bytes(text.substr(5))));
    char out[ACL_TEXT_BUFFER_SIZE];
    EXPECT_EQ(CFWDownloadUSB().GetPrinterFwInfo(kUsb, out, ACLCMD_GET_PRINTER_INFO), 1);
    EXPECT_STREQ(out, "MDL:Tideway 100;");
    EXPECT_TRUE(log.Contains(L"Send acl cmd 0x6"));
    EXPECT_TRUE(log.Contains(L"asking for 13 bytes, read 13 bytes"));
    EXPECT_EQ(log.Contains(L"Pax: first read 4: [left]"), *product != 0);
    EXPECT_EQ(clock.Sleeps(), (Sleeps{1000, 500, 500, 500}));
  }
}

TEST(UsbExchange, NvramFixAndResets) {
  FakeClock clock;
  FakeDevice dev;
  dev.replies = {devtest::Reply(Response(0xEC1D))};
  EXPECT_EQ(CFWDownloadUSB().FixNvRam(kUsb, 1), 0);
  std::vector<uint8_t> block = {'K', 'T', '4', '8',  '2',  'M', 0, 0, 0, 0, 0,   0,
                                0,   0,   0,   0x5D, 0x17, 0,   0, 0, 0, 0, 0x02};
  EXPECT_EQ(Hex(dev.written), Hex(Concat({nettest::Uel(),
                                          nettest::EnterLang(),
                                          {0x00, 0xAC, 0xEC, 0x1D, 0, 0, 0x01, 0x3F, 0, 0, 0, 0x17, 0, 0, 0, 0},
                                          block,
                                          nettest::Uel()})));
  EXPECT_EQ(dev.trace.back(), "h7 read 16 50000 = 16");
  EXPECT_EQ(clock.Sleeps(), (Sleeps{3000}));

  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> writes;
    std::deque<devtest::Piece> replies;
    int nvram;
    int reset;
  } cases[] = {
      {"answered", {}, {devtest::Reply(Response(0xEC1D))}, 0, 1},
      {"wrong cmdID", {}, {devtest::Reply(Response(0x000F))}, 325, 1},
      {"UEL short", {{0, 4}}, {}, 325, 325},
      {"enter-language fails", {{1, -1}}, {}, 325, 325},
      {"command short", {{2, 8}}, {}, 325, 0},
  };
  for (Case& c : cases) {
    FakeClock caseClock;
    LogCapture log;
    FakeDevice d;
    d.writeResults = c.writes;
    d.replies = c.replies;
    EXPECT_EQ(CFWDownloadUSB().FixNvRam(kUsb, 0), c.nvram) << c.what;
    d.replies.clear();
    d.writeSizes.clear();
    EXPECT_EQ(CFWDownloadUSB().ResetPrinter(kUsb), c.reset) << c.what;
  }
}

TEST(UsbExchange, NandPackagesThenReset) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  fwtest::NandFileLayout layout;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(200));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_BINARY).Version(50));
  TempFile file(L"usb.pkg", fwtest::BuildNand(layout));
  dev.replies = {devtest::Reply(Response(0x000F)), devtest::Reply(Response(0xD1EE))};
  FirmwareFileInfo info;
  ParseVersionString(&info.components, "print = 100\r\nbinary = 100\r\n");
  EXPECT_EQ(CFWDownloadUSB().BurnNandFlash(kUsb, &info, file.f, ACL_IMAGE_NAND_PKG, L"", L""), 1);
  EXPECT_TRUE(log.Contains(L"--NAND package 001 up to date, Do not burn."));
  EXPECT_EQ(log.Lines().back(), L"read 16 bytes");  // the reset's answer
  EXPECT_EQ(Hex({dev.written.end() - 25, dev.written.end()}),
            Hex(Concat({{0x00, 0xAC, 0xD1, 0xEE}, std::vector<uint8_t>(12, 0), nettest::Uel()})));
}

// Every transport refuses a file the reader calls corrupt before talking to the printer.
TEST(DeviceTransports, DownloadRefusesACorruptFile) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  nettest::FakeNet net;
  std::wstring path = fwtest::TempPath(L"corrupt.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::Corrupt, 70000, 5));
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadUSB().DownLoadFirmware(&info, kUsb, path.c_str(), L"", L""), -1);
  EXPECT_EQ(CFWDownloadNtwk().DownLoadFirmware(&info, L"127.60.0.1", path.c_str(), L"", L""), -1);
  EXPECT_EQ(CFWDownloadPrll().DownLoadFirmware(L"Model", &info, Handle(1), path.c_str()), -1);
  EXPECT_TRUE(dev.trace.empty());
  EXPECT_EQ(net.Connections(), 0);
  EXPECT_EQ(log.Lines().back(), L"ERROR: the firmware file is corrupt, nothing is sent.");
}
