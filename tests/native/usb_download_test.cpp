// The USB transport against a scripted device: bytes and write sizes on the
// wire, read policies and waits, results, and the lines support staff read.

#include "transport/usb_download.h"

#include <gtest/gtest.h>

#include "firmware/firmware_image.h"
#include "firmware/versions.h"
#include "host/file_io.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/fake_device.h"
#include "support/fake_signing.h"
#include "support/fake_tcp_channel.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "transport/acl_checksum.h"
#include "transport/burn_count.h"
#include "transport/ntwk_download.h"
#include "transport/prll_download.h"

using namespace nettest;
using devtest::FakeDevice;
using Sleeps = std::vector<uint32_t>;

namespace {

const DeviceHandle kUsb = devtest::Handle(7);

std::vector<devtest::Piece> Split(const std::vector<uint8_t>& b, size_t at) {
  return {devtest::Reply({b.begin(), b.begin() + at}), devtest::Reply({b.begin() + at, b.end()})};
}

// What a printer receives for one NAND package: framing, command, bytes.
std::vector<uint8_t> PackageJob(const std::vector<uint8_t>& pkg) {
  const uint16_t sum = AclChecksum16(pkg.data(), pkg.size());
  std::vector<uint8_t> command = {
      0x00, 0xAC, 0x00, 0x0F, 0x21, 0x01, static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum), 0, 0, 0, 0};
  for (int shift = 24; shift >= 0; shift -= 8) command.push_back(static_cast<uint8_t>(pkg.size() >> shift));
  return Concat({Uel(), EnterLang(), command, pkg});
}

int Burn(bool spi, const std::vector<uint8_t>& image) {
  std::wstring path = fwtest::TempPath(L"usb.bin");
  fwtest::WriteFileBytes(path, image);
  FILE* f = OpenFileWide(path.c_str(), "rb");
  int ok = spi ? CFWDownloadUSB().BurnSpiFlash(kUsb, f) : CFWDownloadUSB().BurnFlash(kUsb, f, 3);
  fclose(f);
  return ok;
}

}  // namespace

TEST(UsbExchange, VersionReplyInPiecesThenImageInChunksAfterTheCommand) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  for (const devtest::Piece& p : Split(Response(0x0001, 1, Bytes("00012345")), 10)) dev.replies.push_back(p);
  FirmwareFileInfo info;
  std::string text;
  EXPECT_EQ(CFWDownloadUSB().GetFWVersion(&info, kUsb, &text), 12345u);
  EXPECT_EQ(dev.trace, (std::vector<std::string>{"h7 write 9 = 9", "h7 write 25 = 25", "h7 write 16 = 16",
                                                 "h7 read 16 3000 = 10", "h7 read 6 3000 = 6", "h7 write 9 = 9"}));
  EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{L"CFWDownloadUSB::GetFWVersion", L"read 10 bytes", L"read 6 bytes",
                                                    L"GetFWVersion(): Get Firmware version.",
                                                    L"Retrieved version 12345 from firmware"}));

  FakeDevice burn;
  burn.replies = {devtest::Reply(Response(0x000F))};
  std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1300, 7);
  EXPECT_EQ(Burn(false, image), 1);
  EXPECT_EQ(burn.writeSizes, (std::vector<uint32_t>{9, 25, 16, 512, 512, 276}));
  uint16_t sum = AclChecksum16(image.data(), image.size());
  std::vector<uint8_t> command = {
      0x00, 0xAC, 0x00, 0x0F, 0x00, 0x03, static_cast<uint8_t>(sum >> 8), static_cast<uint8_t>(sum), 0, 0,
      0,    0,    0,    0,    0x05, 0x14};
  EXPECT_EQ(Hex(burn.written), Hex(Concat({Uel(), EnterLang(), command, image})));
  EXPECT_EQ(burn.trace.back(), "h7 read 16 120000 = 16");
  EXPECT_EQ(clock.Sleeps(), (Sleeps{500, 500, 10000}));
}

// Short writes and answers mark the question failed; only the closing
// PJL_UEL comes after the answer, so its failure keeps the version. Each
// failure gives one line.
TEST(UsbExchange, VersionQueryOutcomes) {
  const std::vector<uint8_t> answer = Response(0x0001, 1, Bytes("00012345"));
  std::deque<devtest::Piece> oneByte = {devtest::Reply({0x00})};
  for (int i = 1; i < ACL_CHANNEL_RESPONSE_READS; ++i) oneByte.push_back(devtest::Reply({}));
  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> writes;
    std::deque<devtest::Piece> replies;
    uint32_t version;
    std::vector<std::wstring> failures;
  } cases[] = {
      {"closing PJL_UEL short",
       {{3, 4}},
       {devtest::Reply(answer)},
       12345,
       {L"GetFWVersion(): ReadData() Failed-> strlen PJL_UEL2 != nBytesRead ."}},
      {"command short",
       {{2, 8}},
       {devtest::Reply(answer)},
       0,
       {L"GetFWVersion(): WriteData() Failed-> strlen g_aclCmd != nBytesRead ."}},
      {"answer of one byte", {}, oneByte, 0, {L"GetFWVersion(): ReadData() Failed-> g_aclResponse != nBytesRead ."}},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    LogCapture log;
    FakeDevice dev;
    dev.writeResults = c.writes;
    dev.replies = c.replies;
    FirmwareFileInfo info;
    EXPECT_EQ(CFWDownloadUSB().GetFWVersion(&info, kUsb, nullptr), c.version);
    std::vector<std::wstring> failures;
    for (const std::wstring& line : log.Lines()) {
      if (line.find(L"Failed") != std::wstring::npos) failures.push_back(line);
    }
    EXPECT_EQ(failures, c.failures);
    EXPECT_EQ(dev.writeSizes.back(), 9u);  // the job still ends with its PJL_UEL
  }
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
}

// Only what comes after all data was written is forgiven, outside VESTRA and
// KORM (image), and never a whole answer that refuses the image.
TEST(UsbExchange, BurnLeniency) {
  struct Case {
    const wchar_t* product;
    bool spi;
    std::vector<std::pair<int, int>> writes;
    std::deque<devtest::Piece> replies;
    int result;
    std::wstring line;
    bool endsWithUel;  // the printer is taken out of ACL
  } cases[] = {
      {L"", false, {}, {}, 1, L"Read  acl response failed", false},
      {L"VESTRA", false, {}, {}, 0, L"BurnFlash(): ReadData() Failed.", false},
      {L"",
       false,
       {},
       {devtest::Reply(Response(0x000F, 2))},
       0,
       L"Read  acl response status != ACLCMD_STATUS_SUCCESS",
       true},
      {L"", false, {}, {devtest::Reply(Response(0x0010, 2))}, 1, L"Read  acl response cmdID != ACLCMD_BURN_FLASH", true},
      {L"KORM 2",
       false,
       {},
       {devtest::Reply(Response(0x000F, 2))},
       0,
       L"Read  acl response status != ACLCMD_STATUS_SUCCESS",
       true},
      {L"", false, {{1, 3}}, {devtest::Reply(Response(0x000F))}, 0, L"Write  PJL_ENTERLANG failed", true},
      {L"", false, {{4, -1}}, {devtest::Reply(Response(0x000F))}, 0, L"Write  data failed", true},
      {L"", true, {}, {devtest::Reply(Response(0x000F))}, 1, L"Read  acl response cmdID != ACLCMD_WRITE_SPIMEM", true},
      {L"", true, {}, {}, 1, L"Read  acl response failed", false},
      {L"", true, {}, {devtest::Reply({0x00})}, 1, L"BurnFlash(): ReadData() Failed.", true},
      {L"",
       true,
       {},
       {devtest::Reply(Response(0x0005, 2))},
       0,
       L"Read  acl response status != ACLCMD_STATUS_SUCCESS",
       true},
      {L"", true, {{2, -1}}, {devtest::Reply(Response(0x0005))}, 0, L"Write  acl cmd failed", true},
      {L"", true, {{5, 2}}, {devtest::Reply(Response(0x0005))}, 1, L"ERROR: failed to send terminating UEL.", true},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(&c - cases));
    SetProductName(c.product);
    FakeClock clock;
    LogCapture log;
    FakeDevice dev;
    dev.writeResults = c.writes;
    dev.replies = c.replies;
    EXPECT_EQ(Burn(c.spi, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1000, 7)), c.result);
    EXPECT_TRUE(log.Contains(c.line));
    EXPECT_EQ(dev.writeSizes.back() == 9, c.endsWithUel);
  }
  SetProductName(L"");
}

// From an image the run's updates share, the SPI trailer follows it as if
// both were one buffer: the same pieces, whether the image ends inside a
// piece or at its end.
TEST(UsbExchange, SpiBurnOfASharedImageSendsTheTrailerInTheSamePieces) {
  for (const size_t size : {1000u, 1024u}) {
    SCOPED_TRACE(size);
    FakeClock clock;
    FakeDevice dev;
    dev.replies = {devtest::Reply(Response(0x0005))};
    const std::vector<uint8_t> bytes = fwtest::BuildBin(fwtest::BinKind::CodeOnly, size, 7);
    std::unique_ptr<uint8_t[]> copy(new uint8_t[size]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    const FirmwareImage image(L"spi.bin", std::move(copy), size);
    EXPECT_EQ(CFWDownloadUSB().BurnSpiFlash(kUsb, AclBurnSource(&image)), 1);

    const uint32_t length = static_cast<uint32_t>(size + ACL_SPI_TRAILER_SIZE);
    std::vector<uint32_t> pieces = {9, 25, 16};
    for (uint32_t sent = 0; sent < length; sent += 512) pieces.push_back(length - sent < 512 ? length - sent : 512);
    pieces.push_back(9);
    EXPECT_EQ(dev.writeSizes, pieces);
    std::vector<uint8_t> command = {0x00, 0xAC, 0x00, 0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    fwtest::PutBe32(&command, 4, length);
    std::vector<uint8_t> trailer(4);
    fwtest::PutBe32(&trailer, 0, AclChecksum(bytes.data(), bytes.size()));
    EXPECT_EQ(Hex(dev.written), Hex(Concat({Uel(), EnterLang(), command, bytes, trailer, Uel()})));
    EXPECT_EQ(std::vector<uint8_t>(image.Data(), image.Data() + size), bytes) << "the shared bytes are only read";
  }
}

TEST(UsbExchange, InfoTextFromItsThirdByteAfterWhatWasPending) {
  SetProductName(L"CORVINE");
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  const std::string text = "\r\nMDL:Tideway 100;";
  dev.replies = {devtest::Reply(Bytes("left")), devtest::Reply(Response(0x0006, 1, {0, 18}))};
  for (const devtest::Piece& p : Split(Bytes(text), 5)) dev.replies.push_back(p);
  char out[ACL_TEXT_BUFFER_SIZE];
  EXPECT_EQ(CFWDownloadUSB().GetPrinterFwInfo(kUsb, out, ACLCMD_GET_PRINTER_INFO), 1);
  SetProductName(L"");
  EXPECT_STREQ(out, "MDL:Tideway 100;");
  EXPECT_EQ(dev.trace[0], "h7 read 1000 10000 = 4");
  EXPECT_TRUE(log.Contains(L"Pax: first read 4: [left]"));
  EXPECT_TRUE(log.Contains(L"Send acl cmd 0x6"));
  EXPECT_TRUE(log.Contains(L"asking for 13 bytes, read 13 bytes"));
  EXPECT_EQ(clock.Sleeps(), (Sleeps{1000, 500, 500, 500}));
}

TEST(UsbExchange, NvramFixAndResetWithoutReply) {
  FakeClock clock;
  FakeDevice dev;
  dev.replies = {devtest::Reply(Response(0xEC1D))};
  EXPECT_EQ(CFWDownloadUSB().FixNvRam(kUsb, 1), 0);
  std::vector<uint8_t> block = {'K', 'T', '4', '8',  '2',  'M', 0, 0, 0, 0, 0,   0,
                                0,   0,   0,   0x5D, 0x17, 0,   0, 0, 0, 0, 0x02};
  EXPECT_EQ(
      Hex(dev.written),
      Hex(Concat(
          {Uel(), EnterLang(), {0x00, 0xAC, 0xEC, 0x1D, 0, 0, 0x01, 0x3F, 0, 0, 0, 0x17, 0, 0, 0, 0}, block, Uel()})));
  EXPECT_EQ(dev.trace.back(), "h7 read 16 50000 = 16");
  EXPECT_EQ(clock.Sleeps(), (Sleeps{3000}));
  // Reset without reply: which write fell short decides the result.
  const std::pair<int, int> writes[] = {{9, 0}, {0, 4}, {1, -1}, {2, 8}};
  const int results[] = {1, ACL_DEVICE_FAILED, ACL_DEVICE_FAILED, 0};
  for (int i = 0; i < 4; ++i) {
    FakeDevice d;
    d.writeResults = {writes[i]};
    EXPECT_EQ(CFWDownloadUSB().ResetPrinter(kUsb), results[i]) << i;
  }
}

// Every transport refuses a file the reader calls corrupt before talking to the printer.
TEST(DeviceTransports, DownloadRefusesACorruptFile) {
  LogCapture log;
  FakeDevice dev;
  FakeNet net;
  std::wstring path = fwtest::TempPath(L"corrupt.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::Corrupt, 70000, 5));
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadUSB().DownLoadFirmware(&info, kUsb, path.c_str(), L"", L""), -1);
  EXPECT_EQ(CFWDownloadNtwk().DownLoadFirmware(&info, L"127.60.0.1", path.c_str(), L"", L""), -1);
  EXPECT_EQ(CFWDownloadPrll().DownLoadFirmware(L"Model", &info, devtest::Handle(1), path.c_str()), -1);
  EXPECT_TRUE(dev.trace.empty());
  EXPECT_EQ(net.Connections(), 0);
  EXPECT_EQ(log.Lines().back(), L"ERROR: the firmware file is corrupt, nothing is sent.");
}

// With signers configured every burn of every transport sends only bytes the
// signature covers, checked as read for sending: a file changed since it was
// signed is refused before anything reaches the printer, and is told apart
// from a failed burn; the signed file goes out.
TEST(DeviceTransports, EveryBurnSendsOnlyTheBytesItsSignatureCovers) {
  enum Transport { USB, NTWK, PRLL };
  fwtest::NandFileLayout nand;
  nand.packages.push_back(fwtest::NandPackageLayout().Type(COMP_NANDLDR).Version(1).Target("ABC"));
  const std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 70000, 1100);
  const Thumbprint signer = fwtest::SignerThumbprint(0x5E);
  struct Case {
    const char* name;
    Transport transport;
    const wchar_t* product;
    std::vector<uint8_t> file;
  } cases[] = {
      {"USB image", USB, L"", image},
      {"USB SPI image", USB, L"MIRO", image},
      {"USB NAND package file", USB, L"", fwtest::BuildNand(nand)},
      {"network image", NTWK, L"", image},
      {"network SPI image", NTWK, L"SELUNAR", image},
      {"network NAND package file", NTWK, L"", fwtest::BuildNand(nand)},
      {"parallel image", PRLL, L"", image},
  };
  const std::wstring path = fwtest::TempPath(L"signed-transport.bin");
  for (const Case& c : cases) {
    for (bool changed : {true, false}) {
      SCOPED_TRACE(std::string(c.name) + (changed ? ", changed after signing" : ", as signed"));
      SetProductName(c.product);
      fwtest::FakeSigning signing({signer});
      FakeClock clock;
      LogCapture log;
      FakeDevice dev;
      FakeNet net;
      std::vector<uint8_t> onDisk = c.file;
      if (changed) onDisk[onDisk.size() / 2] ^= 0x01;
      fwtest::WriteFileBytes(path, onDisk);
      fwtest::WriteFakeSignature(path, signer, c.file);
      FirmwareFileInfo info;
      ParseVersionString(&info.components, "NandLDR = 3\r\n");  // a loader is always burned
      // Every transport's burn counts as one under way while it runs: the
      // session is asked to wait meanwhile (app/session_end.h).
      std::vector<bool> burning;
      SetBurnWatcher([&burning](bool now) { burning.push_back(now); });
      int result = 0;
      if (c.transport == USB) result = CFWDownloadUSB().DownLoadFirmware(&info, kUsb, path.c_str(), L"ABC", L"");
      if (c.transport == NTWK) {
        result = CFWDownloadNtwk().DownLoadFirmware(&info, L"127.60.0.1", path.c_str(), L"ABC", L"");
      }
      if (c.transport == PRLL) result = CFWDownloadPrll().DownLoadFirmware(L"QV", &info, kUsb, path.c_str());
      SetBurnWatcher(nullptr);
      EXPECT_EQ(burning, (std::vector<bool>{true, false}));
      const bool sent = !dev.trace.empty() || net.Connections() > 0;
      EXPECT_EQ(sent, !changed);
      EXPECT_EQ(result == ACL_DOWNLOAD_NOT_TRUSTED, changed);
      EXPECT_EQ(log.Contains(L"ERROR: the signature does not match the firmware file (signer " +
                             Sha256Hex(signer.data()) + L"), nothing is sent."),
                changed);
    }
  }
  SetProductName(L"");
}

// One job a package out of date (and the loader, whatever its version), each
// answer read once with the long wait; the restart only after a burned package.
TEST(UsbExchange, NandBurnSendsOutOfDatePackagesThenResets) {
  fwtest::NandFileLayout layout;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(200).Target("ABC"));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_BINARY).Version(50).Target("ABC"));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_NANDLDR).Version(1).Target("abc"));
  const std::vector<uint8_t> first = fwtest::BuildNandPackage(layout.packages[0]);
  const std::vector<uint8_t> loader = fwtest::BuildNandPackage(layout.packages[2]);
  const std::vector<uint8_t> reset =
      Concat({Uel(), EnterLang(), {0x00, 0xAC, 0xD1, 0xEE, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, Uel()});
  const std::string burnRead = "h7 read 16 120000 = 16";
  const std::string resetRead = "h7 read 16 3000 = 16";
  struct Case {
    const char* what;
    const char* printer;
    std::deque<devtest::Piece> replies;
    int result;
    std::vector<uint8_t> written;
    std::vector<std::string> reads;
    std::vector<uint32_t> sleeps;
  } cases[] = {
      {"two out of date",
       "NandLDR = 3\r\nprint = 100\r\nbinary = 100\r\n",
       {devtest::Reply(Response(0x000F)), devtest::Reply(Response(0x000F)), devtest::Reply(Response(0xD1EE))},
       1,
       Concat({PackageJob(first), PackageJob(loader), reset}),
       {burnRead, burnRead, resetRead},
       {ACL_USB_QUERY_PAUSE_MS, ACL_CHANNEL_READ_PAUSE_MS}},
      {"all current", "print = 200\r\nbinary = 50\r\n", {}, ACL_BURN_NOTHING_WRITTEN, {}, {}, {}},
      {"first package refused",
       "NandLDR = 3\r\nprint = 100\r\n",
       {devtest::Reply(Response(0x000F, 2))},
       0,
       Concat({PackageJob(first), Uel()}),
       {burnRead},
       {}},
  };
  const std::wstring path = fwtest::TempPath(L"usb-nand.pkg");
  fwtest::WriteFileBytes(path, fwtest::BuildNand(layout));
  for (Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    LogCapture log;
    FakeDevice dev;
    dev.replies = c.replies;
    FirmwareFileInfo info;
    info.fileType = BINTYPE_NAND_PKG;
    ParseVersionString(&info.components, c.printer);
    FILE* f = OpenFileWide(path.c_str(), "rb");
    EXPECT_EQ(CFWDownloadUSB().BurnNandFlash(kUsb, &info, f, ACL_IMAGE_NAND_PKG, L"ABC", L""), c.result);
    fclose(f);
    EXPECT_EQ(Hex(dev.written), Hex(c.written));
    std::vector<std::string> reads;
    for (const std::string& call : dev.trace) {
      if (call.find(" read ") != std::string::npos) reads.push_back(call);
    }
    EXPECT_EQ(reads, c.reads);
    EXPECT_EQ(clock.Sleeps(), c.sleeps);
    EXPECT_EQ(log.Contains(L"BurnFlash succeeded."), c.result != 0);
  }
}
