// The network transport against a scripted printer: what it writes, byte for
// byte, what it waits, and what it logs on every path.

#include "transport/ntwk_download.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "firmware/firmware_image.h"
#include "firmware/versions.h"
#include "host/file_io.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/fake_signing.h"
#include "support/fake_tcp_channel.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "transport/acl_checksum.h"
#include "transport/acl_nand_burn.h"

using namespace nettest;
using Lines = std::vector<std::wstring>;
using Trace = std::vector<std::string>;

namespace {

const wchar_t kAddr[] = L"127.60.0.1";

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) out.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return out;
}

ConnScript Replies(std::initializer_list<Segment> replies) {
  ConnScript s;
  s.replies = replies;
  return s;
}

ConnScript FailingSend(int index, int64_t result, std::initializer_list<Segment> replies = {}) {
  ConnScript s = Replies(replies);
  s.sendResults.push_back({index, result});
  return s;
}

std::vector<uint8_t> Be16(uint16_t v) { return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)}; }
std::vector<uint8_t> Be32(uint32_t v) {
  return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
          static_cast<uint8_t>(v)};
}

int CountUels(const std::vector<uint8_t>& sent) {
  std::string hex = Hex(sent);
  std::string uel = Hex(Uel());
  int count = 0;
  for (size_t at = hex.find(uel); at != std::string::npos; at = hex.find(uel, at + 2)) {
    if (at % 2 == 0) ++count;
  }
  return count;
}

struct ProductScope {
  explicit ProductScope(const wchar_t* name) { SetProductName(name); }
  ~ProductScope() { SetProductName(L""); }
};

// A file in the test's temp folder, opened for reading for the burns.
struct TempFile {
  std::wstring path;
  FILE* f = nullptr;
  TempFile(const std::wstring& name, const std::vector<uint8_t>& bytes, const char* mode = "rb")
      : path(fwtest::TempPath(name)) {
    fwtest::WriteFileBytes(path, bytes);
    f = OpenFileWide(path.c_str(), mode);
  }
  ~TempFile() {
    if (f) fclose(f);
  }
};

}  // namespace

// ---------------------------------------------------------------- version query

TEST(NtwkGetFWVersion, AsksForTheVersionAndReadsTheDigits) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  net.AddConnection(Replies({Reply(Response(0x0001, 1, Bytes("00012345")))}));
  FirmwareFileInfo info;
  info.fileType = BINTYPE_CODE_ONLY;
  std::string text = "untouched";
  EXPECT_EQ(CFWDownloadNtwk().GetFWVersion(&info, kAddr, &text), 12345u);
  EXPECT_EQ(text, "untouched");
  EXPECT_EQ(net.Trace(), (Trace{"1 startup", "1 create", "1 rcvtimeo 20000", "1 sndtimeo 20000",
                                "1 connect 127.60.0.1:9100", "1 send 9 = 9", "1 send 25 = 25", "1 send 16 = 16",
                                "1 recv 16 -> 16", "1 send 9 = 9", "1 close", "1 cleanup"}));
  EXPECT_EQ(Hex(net.Sent(1)), Hex(Concat({Uel(), EnterLang(), FromHex("00ac0001000000000000000000000000"), Uel()})));
  EXPECT_EQ(log.Lines(), (Lines{L"CFWDownloadNtwk::GetFWVersion(127.60.0.1)",
                               L"GetNtwkPrinterFWVer(): Getting fw version...", L"GetFWVersion(): Get Firmware version.",
                               L"Successfully received fw version...Now sending end PJL UEL",
                               L"Retrieved version 12345 from firmware"}));
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(NtwkGetFWVersion, NandFileAsksForComponentVersions) {
  LogCapture log;
  FakeNet net;
  const std::string components = "NandLDR = 3\r\nprint  = 12\r\n";
  net.AddConnection(Replies({Reply(Concat({Response(0x0016, 1, Be16(static_cast<uint16_t>(components.size()))),
                                           Bytes(components)}))}));
  FirmwareFileInfo info;
  info.fileType = BINTYPE_NAND_PKG;
  std::string text;
  EXPECT_EQ(CFWDownloadNtwk().GetFWVersion(&info, kAddr, &text), 9999u);
  EXPECT_EQ(text, components);
  EXPECT_EQ(Hex(net.Sent(1)), Hex(Concat({Uel(), EnterLang(), FromHex("00ac0016000000000000000000000000"), Uel()})));
  // The text is one receive of at most 1023 bytes, whatever length the record announces.
  EXPECT_EQ(net.Trace()[8], "1 recv 16 -> 16");
  EXPECT_EQ(net.Trace()[9], "1 recv 1023 -> " + std::to_string(components.size()));
  EXPECT_TRUE(log.Contains(L"GetFWVersion(): Get package versions."));
  EXPECT_TRUE(log.Contains(L"Retrieved version 9999 from firmware"));
}

TEST(NtwkGetFWVersion, FailuresGiveVersionZeroWithTheirLine) {
  struct Case {
    const char* what;
    int32_t fileType;
    ConnScript script;
    std::wstring line;  // exact line, or a part when `part`
    bool part;
    bool retrievedLine;  // "Retrieved version 0 from firmware" is logged
  } cases[] = {
      {"status 2", BINTYPE_CODE_ONLY, Replies({Reply(Response(0x0001, 2, Bytes("00000005")))}),
       L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.", false, true},
      {"wrong cmdID", BINTYPE_CODE_ONLY, Replies({Reply(Response(0x0002, 1, Bytes("00000005")))}),
       L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.", false, true},
      {"wrong prefix", BINTYPE_CODE_ONLY, Replies({Reply(Response(0x0001, 1, Bytes("00000005"), 0x00AD))}),
       L"GetFWVersion(): ReadData() ACL_PREFIX Failed.", false, true},
      {"wrong cmdID, NAND", BINTYPE_NAND_PKG, Replies({Reply(Response(0x0001, 1, {0, 2})), Reply(Bytes("ab"))}),
       L"GetFWVersion(): ReadData() ACLCMD_GET_COMP_VERSION Failed.", false, true},
      {"status 2, NAND", BINTYPE_NAND_PKG, Replies({Reply(Response(0x0016, 2, {0, 2})), Reply(Bytes("ab"))}),
       L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.", false, true},
      {"NAND text never comes", BINTYPE_NAND_PKG, Replies({Reply(Response(0x0016, 1, {0, 2}))}),
       L"GetFWVersion(): Get package versions.", false, false},
      {"reply split in two", BINTYPE_CODE_ONLY,
       Replies({Reply(FromHex("00ac00010001303030")), Reply(FromHex("3030303035000000"))}),
       L"GetNtwkPrinterFWVer(): Getting fw version...", false, false},
      {"peer closed", BINTYPE_CODE_ONLY, Replies({ClosedReply()}), L"GetNtwkPrinterFWVer(): Getting fw version...",
       false, false},
      {"no answer", BINTYPE_CODE_ONLY, Replies({}), L"Context: Failed to get Firmware Version...", true, false},
      {"UEL send fails", BINTYPE_CODE_ONLY, FailingSend(0, -1), L"Context: Could not send PJL_UEL to the socket...",
       true, false},
      {"enter-language send fails", BINTYPE_CODE_ONLY, FailingSend(1, -1),
       L"Context: Could not send PJL_ENTERLANG to the socket...", true, false},
      {"command send fails", BINTYPE_CODE_ONLY, FailingSend(2, -1), L"Context: Could not send acl cmd to the socket...",
       true, false},
      {"command send short", BINTYPE_CODE_ONLY, FailingSend(2, 8), L"CFWDownloadNtwk::GetFWVersion(127.60.0.1)", false,
       false},
      {"closing UEL fails", BINTYPE_CODE_ONLY, FailingSend(3, -1, {Reply(Response(0x0001, 1, Bytes("00000005")))}),
       L"Context: Failed to send PJL_UEL to printer", true, true},
      {"closing UEL short", BINTYPE_CODE_ONLY, FailingSend(3, 4, {Reply(Response(0x0001, 1, Bytes("00000005")))}),
       L"Successfully received fw version...Now sending end PJL UEL", false, true},
  };
  for (Case& c : cases) {
    LogCapture log;
    FakeNet net;
    net.AddConnection(c.script);
    FirmwareFileInfo info;
    info.fileType = c.fileType;
    std::string text;
    EXPECT_EQ(CFWDownloadNtwk().GetFWVersion(&info, kAddr, &text), 0u) << c.what;
    EXPECT_TRUE(c.part ? log.ContainsPart(c.line) : log.Contains(c.line)) << c.what;
    EXPECT_EQ(log.Contains(L"Retrieved version 0 from firmware"), c.retrievedLine) << c.what;
    EXPECT_EQ(net.Trace().back(), "1 cleanup") << c.what;
  }
}

TEST(NtwkGetFWVersion, ConnectionSetUpFailures) {
  struct Case {
    const char* what;
    ConnScript script;
    const wchar_t* address;
    std::wstring line;
    bool part;
    Trace trace;
  } cases[] = {
      {"library not granted", [] { ConnScript s; s.startup = 0; return s; }(), kAddr,
       L"CFWDownloadNtwk::GetFWVersion(127.60.0.1)", false, {"1 startup failed"}},
      {"no socket", [] { ConnScript s; s.create = 0; return s; }(), kAddr, L"Context: Failed to create socket", true,
       {"1 startup", "1 create failed", "1 cleanup"}},
      {"time-out not set", [] { ConnScript s; s.setTimeoutFailAt = 0; return s; }(), kAddr,
       L"Failed to connect to socket", false,
       {"1 startup", "1 create", "1 rcvtimeo 20000 failed", "1 close", "1 cleanup"}},
      {"connect refused", [] { ConnScript s; s.connect = 0; return s; }(), kAddr, L"Could not connect to the socket...",
       false,
       {"1 startup", "1 create", "1 rcvtimeo 20000", "1 sndtimeo 20000", "1 connect 127.60.0.1:9100 failed", "1 close",
        "1 cleanup"}},
      {"not a dotted address", ConnScript(), L"printer.example", L"Could not connect to the socket...", false,
       {"1 startup", "1 create", "1 rcvtimeo 20000", "1 sndtimeo 20000", "1 close", "1 cleanup"}},
  };
  for (Case& c : cases) {
    LogCapture log;
    FakeNet net;
    net.AddConnection(c.script);
    FirmwareFileInfo info;
    std::string text;
    EXPECT_EQ(CFWDownloadNtwk().GetFWVersion(&info, c.address, &text), 0u) << c.what;
    EXPECT_TRUE(c.part ? log.ContainsPart(c.line) : log.Contains(c.line)) << c.what;
    EXPECT_EQ(log.Lines().back(), c.part ? log.Lines().back() : c.line) << c.what;
    EXPECT_EQ(net.Trace(), c.trace) << c.what;
  }
}

// ---------------------------------------------------------------- version check

TEST(NtwkCheckFirmwareVersion, UnansweredPrinterIsAskedThreeTimes) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  TempFile file(L"check.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 600, 5));
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadNtwk().CheckFirmwareVersion(L"", L"", &info, kAddr, file.path.c_str()), -1);
  EXPECT_EQ(net.Connections(), 3);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{1000, 1000, 1000}));
  EXPECT_EQ(log.Lines().front(), L"CFWDownloadNtwk::CheckFirmwareVersion");
  EXPECT_TRUE(log.Contains(L"binfileversion=5, fileType=2"));
  EXPECT_TRUE(log.Contains(L"binfile version=5, firmware version=0"));
  EXPECT_EQ(log.Lines().back(), L"Failed to get the Firmware Version");
}

TEST(NtwkCheckFirmwareVersion, ComparesWithThePrinter) {
  struct Case {
    const char* version;
    int result;
  } cases[] = {{"00000004", VERCHK_FILE_NEWER}, {"00000005", VERCHK_UP_TO_DATE}, {"00000009", VERCHK_UP_TO_DATE}};
  for (const Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    FakeNet net;
    net.AddConnection(Replies({ErrorReply()}));  // the first question goes unanswered
    net.AddConnection(Replies({Reply(Response(0x0001, 1, Bytes(c.version)))}));
    TempFile file(L"cmp.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 600, 5));
    FirmwareFileInfo info;
    EXPECT_EQ(CFWDownloadNtwk().CheckFirmwareVersion(L"", L"", &info, kAddr, file.path.c_str()), c.result) << c.version;
    EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{1000})) << c.version;
  }
}

// ---------------------------------------------------------------- image and SPI burns

TEST(NtwkBurnFlash, SendsFramingCommandAndImageThenWaitsForTheAnswer) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1300, 7);
  TempFile file(L"burn.bin", image);
  net.AddConnection(Replies({Reply(Response(0x000F))}));
  EXPECT_EQ(CFWDownloadNtwk().BurnFlash(file.f, kAddr, 3), 1);

  uint16_t sum = AclChecksum16(image.data(), image.size());
  EXPECT_EQ(Hex(net.Sent(1)), Hex(Concat({Uel(), EnterLang(), FromHex("00ac000f0003"), Be16(sum),
                                          FromHex("0000000000000514"), image})));
  EXPECT_EQ(net.Trace(), (Trace{"1 startup", "1 create", "1 rcvtimeo 20000", "1 sndtimeo 20000",
                                "1 connect 127.60.0.1:9100", "1 send 9 = 9", "1 send 25 = 25", "1 send 16 = 16",
                                "1 send 1300 = 1300", "1 rcvtimeo 60000", "1 recv 16 -> 16", "1 close", "1 cleanup"}));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{30000}));
  EXPECT_EQ(log.Lines(), (Lines{L"CFWDownloadNtwk::BurnFlash(127.60.0.1)"}));
}

TEST(NtwkBurnFlash, TalenWaitsEightySeconds) {
  ProductScope talen(L"TALEN");
  FakeClock clock;
  FakeNet net;
  TempFile file(L"talen.bin", fwtest::BuildBin(fwtest::BinKind::FullPart, 70000, 7));
  net.AddConnection(Replies({Reply(Response(0x000F))}));
  EXPECT_EQ(CFWDownloadNtwk().BurnFlash(file.f, kAddr, 4), 1);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{80000}));
  EXPECT_EQ(net.Trace()[9], "1 rcvtimeo 60000");
}

TEST(NtwkBurnSpiFlash, AppendsTheChecksumTrailer) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1001, 7);
  TempFile file(L"spi.bin", image);
  net.AddConnection(Replies({Reply(Response(0x0005))}));
  EXPECT_EQ(CFWDownloadNtwk().BurnSpiFlash(file.f, kAddr), 1);
  uint32_t sum = AclChecksum(image.data(), image.size());
  EXPECT_EQ(Hex(net.Sent(1)),
            Hex(Concat({Uel(), EnterLang(), FromHex("00ac0005000003ed0000000000000000"), image, Be32(sum)})));
  EXPECT_EQ(sum >> 16, 0xFFFFu);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{30000}));
  EXPECT_EQ(log.Lines(), (Lines{L"CFWDownloadNtwk::BurnSpiFlash(127.60.0.1)"}));
}

TEST(NtwkBurnFlash, EveryFailureFailsTheBurn) {
  struct Case {
    const char* what;
    bool spi;
    ConnScript script;
    std::wstring line;
    bool part;
    size_t sleeps;
  } cases[] = {
      {"no answer", false, Replies({}), L"Could not recv acl response from the socket.", false, 1},
      {"short answer", false, Replies({Reply(FromHex("00ac000f0001")), Reply(FromHex("00000000000000000000"))}),
       L"Failed to receive the correct amount of data from Network.", false, 1},
      {"wrong prefix", false, Replies({Reply(Response(0x000F, 1, {}, 0x00AD))}),
       L"GetFWVersion(): ReadData() ACL_PREFIX Failed.", false, 1},
      {"wrong cmdID", false, Replies({Reply(Response(0x0010))}), L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.",
       false, 1},
      {"status 2", false, Replies({Reply(Response(0x000F, 2))}),
       L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.", false, 1},
      {"SPI wrong cmdID", true, Replies({Reply(Response(0x000F))}),
       L"GetFWVersion(): ReadData() ACLCMD_WRITE_SPIMEM Failed.", false, 1},
      {"SPI status 2", true, Replies({Reply(Response(0x0005, 2))}),
       L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.", false, 1},
      {"UEL", false, FailingSend(0, -1), L"Could not send PJL_UEL to the socket.", false, 0},
      {"enter language", false, FailingSend(1, 3), L"Could not send PJL_ENTERLANG to the socket.", false, 0},
      {"command", true, FailingSend(2, -1), L"Could not send acl cmd to the socket.", false, 0},
      {"data closed midway", false, FailingSend(3, 600), L"Could not send bin file to the socket.", false, 0},
      {"data fails", true, FailingSend(3, -1), L"Could not send bin file to the socket.", false, 0},
      {"no socket", false, [] { ConnScript s; s.create = 0; return s; }(), L"Context: Failed to create socket", true, 0},
      {"first time-out", false, [] { ConnScript s; s.setTimeoutFailAt = 0; return s; }(), L"Failed to configure socket",
       false, 0},
      {"reply time-out", false, [] { ConnScript s; s.setTimeoutFailAt = 1; return s; }(),
       L"Context: Failed to configure socket", true, 1},
      {"refused", true, [] { ConnScript s; s.connect = 0; return s; }(), L"Failed to connect to socket", false, 0},
  };
  for (Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    FakeNet net;
    net.AddConnection(c.script);
    TempFile file(L"fail.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1300, 7));
    CFWDownloadNtwk ntwk;
    EXPECT_EQ(c.spi ? ntwk.BurnSpiFlash(file.f, kAddr) : ntwk.BurnFlash(file.f, kAddr, 3), 0) << c.what;
    EXPECT_TRUE(c.part ? log.ContainsPart(c.line) : log.Contains(c.line)) << c.what;
    EXPECT_EQ(clock.Sleeps().size(), c.sleeps) << c.what;
    // No closing UEL on this transport, after a failure either.
    EXPECT_EQ(net.Trace().back(), "1 cleanup") << c.what;
  }
}

// Ctrl+C while the image goes out: the printer never gets a whole image, so
// the burn stops before the next piece instead of sending the rest.
TEST(NtwkBurnFlash, InterruptEndsTheImageBeforeItsNextPiece) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  TempFile file(L"interrupted.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4 * ACL_FOLLOWED_PIECE, 7));
  bool interrupted = false;
  AclProgress progress;
  progress.sent = [&](uint32_t sent, uint32_t) { interrupted = sent >= ACL_FOLLOWED_PIECE; };
  progress.paused = [](uint32_t) {};
  progress.stopped = [&] { return interrupted; };
  CFWDownloadNtwk ntwk;
  ntwk.FollowBurns(&progress);
  EXPECT_EQ(ntwk.BurnFlash(file.f, kAddr, 3), 0);
  const Trace t = net.Trace();
  EXPECT_EQ(Trace(t.begin() + 5, t.end()), (Trace{"1 send 9 = 9", "1 send 25 = 25", "1 send 16 = 16",
                                                  "1 send 65536 = 65536", "1 close", "1 cleanup"}));
  EXPECT_TRUE(log.Contains(L"The run was interrupted: the exchange ends here."));
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(NtwkBurnFlash, UnreadableFileFailsBeforeConnecting) {
  LogCapture log;
  FakeNet net;
  TempFile file(L"wo.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 1300, 7), "ab");
  EXPECT_EQ(CFWDownloadNtwk().BurnFlash(file.f, kAddr, 3), 0);
  EXPECT_TRUE(log.ContainsPart(L"Context: ReadFile failed"));
  EXPECT_EQ(net.Connections(), 0);
}

// ---------------------------------------------------------------- NAND burn

namespace {

fwtest::NandFileLayout ThreePackages() {
  fwtest::NandFileLayout layout;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(200).Target("ABC"));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_BINARY).Version(50).Target("ABC"));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_NANDLDR).Version(1).Target("abc"));
  return layout;
}

FirmwareFileInfo PrinterComponents(const std::string& text) {
  FirmwareFileInfo info;
  info.fileKind = FILEKIND_NAND_PKG;
  info.fileType = BINTYPE_NAND_PKG;
  ParseVersionString(&info.components, text);
  return info;
}

const char kPrinter[] = "NandLDR = 3\r\nprint = 100\r\nbinary = 100\r\n";

std::vector<uint8_t> PackageJob(const std::vector<uint8_t>& pkg, uint16_t imageType = 0x2101) {
  return Concat({Uel(), EnterLang(), FromHex("00ac000f"), Be16(imageType), Be16(AclChecksum16(pkg.data(), pkg.size())),
                 FromHex("00000000"), Be32(static_cast<uint32_t>(pkg.size())), pkg});
}

}  // namespace

TEST(NtwkBurnNandFlash, BurnsOutOfDateAndLoaderPackagesThenResets) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  fwtest::NandFileLayout layout = ThreePackages();
  TempFile file(L"three.pkg", fwtest::BuildNand(layout));
  net.AddConnection(Replies({Reply(Response(0x000F)), Reply(Response(0x000F))}));
  net.AddConnection(Replies({Reply(Response(0xD1EE))}));
  FirmwareFileInfo info = PrinterComponents(kPrinter);
  log.Clear();
  EXPECT_EQ(CFWDownloadNtwk().BurnNandFlash(kAddr, file.f, ACL_IMAGE_NAND_PKG, L"ABC", L"", &info), 1);

  EXPECT_EQ(Hex(net.Sent(1)), Hex(Concat({PackageJob(fwtest::BuildNandPackage(layout.packages[0])),
                                          PackageJob(fwtest::BuildNandPackage(layout.packages[2]))})));
  EXPECT_EQ(Hex(net.Sent(2)), Hex(Concat({Uel(), EnterLang(), FromHex("00acd1ee000000000000000000000000"), Uel()})));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{30000, 30000}));
  // The reset runs on its own connection before the burn's connection closes.
  Trace t = net.Trace();
  EXPECT_EQ(t[2], "1 rcvtimeo 20000");
  EXPECT_EQ(t[t.size() - 2], "1 close");
  EXPECT_EQ(t[t.size() - 3], "2 cleanup");
  EXPECT_EQ(log.Lines(), (Lines{L"CFWDownloadNtwk::BurnNandFlash", L"NAND PKG of 3", L"socket",
                               L"+Burning NAND package 003: 200, ABC",
                               L"Sending the PJL command for Bin File Downloading...",
                               L"Bin file downloaded successfully...Getting the response",
                               L"--NAND package up to date, Do not burn.", L"+Burning NAND package 001: 1, abc",
                               L"Sending the PJL command for Bin File Downloading...",
                               L"Bin file downloaded successfully...Getting the response", L"BurnFlash succeeded.",
                               L"Reset()", L"GetNtwkFWBuildInfo(): Getting Build info ..."}));
}

TEST(NtwkBurnNandFlash, NothingToBurnSendsNoPackageAndNoReset) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  fwtest::NandFileLayout layout;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(100));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_KINSET).Version(900));  // not reported
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(900).Enabled(0));
  TempFile file(L"current.pkg", fwtest::BuildNand(layout));
  FirmwareFileInfo info = PrinterComponents("print = 100\r\n");
  log.Clear();
  EXPECT_EQ(CFWDownloadNtwk().BurnNandFlash(kAddr, file.f, ACL_IMAGE_NAND_PKG, L"", L"", &info),
            ACL_BURN_NOTHING_WRITTEN);
  EXPECT_EQ(net.Connections(), 1);
  EXPECT_TRUE(net.Sent(1).empty());
  EXPECT_TRUE(clock.Sleeps().empty());
  EXPECT_EQ(log.Lines(), (Lines{L"CFWDownloadNtwk::BurnNandFlash", L"NAND PKG of 3", L"socket",
                               L"--NAND package up to date, Do not burn.", L"--NAND package up to date, Do not burn.",
                               L"--Reject NAND package 001: 900, ", L"BurnFlash succeeded."}));
}

TEST(NtwkBurnNandFlash, FileWithNoPackageForThePrinterIsAFailure) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  TempFile file(L"foreign.pkg", fwtest::BuildNand(ThreePackages()));
  FirmwareFileInfo info = PrinterComponents(kPrinter);
  log.Clear();
  EXPECT_EQ(CFWDownloadNtwk().BurnNandFlash(kAddr, file.f, ACL_IMAGE_NAND_PKG, L"XYZ", L"", &info), 0);
  EXPECT_TRUE(net.Sent(1).empty());
  EXPECT_TRUE(log.Contains(L"ERROR: no NAND package of the file is for this printer, nothing is sent."));
  EXPECT_FALSE(log.Contains(L"BurnFlash succeeded."));
}

TEST(NtwkBurnNandFlash, NoRebootFlagIsLoggedAndTheSharedBytesKept) {
  LogCapture log;
  fwtest::NandFileLayout layout = ThreePackages();
  layout.noReboot = true;
  std::vector<uint8_t> bytes = fwtest::BuildNand(layout);
  ASSERT_EQ(fwtest::GetBe32(bytes, 4), 0x80000081u);
  AclNandBurn nand;
  ASSERT_EQ(nand.Prepare(bytes.data(), bytes.size(), ACL_IMAGE_NAND_PKG), 1);
  // Other updates may be sending the same bytes: they are only read.
  EXPECT_EQ(bytes, fwtest::BuildNand(layout));
  EXPECT_TRUE(nand.NoReboot());
  EXPECT_EQ(nand.ImageType(), 0x2101);
  EXPECT_EQ(log.Lines(), (Lines{L"NAND PKG sending 'NO REBOOT'", L"NAND PKG of 3"}));

  // Over the network the packages still carry 0x2101.
  FakeClock clock;
  FakeNet net;
  TempFile file(L"noreboot.pkg", fwtest::BuildNand(layout));
  net.AddConnection(Replies({Reply(Response(0x000F)), Reply(Response(0x000F))}));
  net.AddConnection(Replies({Reply(Response(0xD1EE))}));
  FirmwareFileInfo info = PrinterComponents(kPrinter);
  EXPECT_EQ(CFWDownloadNtwk().BurnNandFlash(kAddr, file.f, ACL_IMAGE_NAND_PKG, L"", L"", &info), 1);
  std::vector<uint8_t> sent = net.Sent(1);
  ASSERT_GE(sent.size(), 40u);
  EXPECT_EQ(Hex(std::vector<uint8_t>(sent.begin() + 34, sent.begin() + 40)), "00ac000f2101");
}

// A package may start inside the file's header. One that starts at the flag
// byte itself sends it: the printer gets it cleared, the caller's bytes stay.
TEST(NtwkBurnNandFlash, APackageStartingAtTheFlagByteSendsItCleared) {
  fwtest::NandFileLayout layout = ThreePackages();
  layout.packages.resize(2);  // the count word then reads as package header version 2
  layout.noReboot = true;
  std::vector<uint8_t> bytes = fwtest::BuildNand(layout);
  // The first package from byte 4 to the end of the second, whose trailer it shares.
  fwtest::PutBe32(&bytes, 12, 4);
  fwtest::PutBe32(&bytes, 16, fwtest::GetBe32(bytes, 24) + fwtest::GetBe32(bytes, 28) - 4);
  const std::vector<uint8_t> shared = bytes;
  NandPackageFile file;
  NandPackage first;
  ASSERT_EQ(file.Open(bytes.data(), bytes.size()), NAND_OK);
  ASSERT_TRUE(file.Package(0, &first));
  ComponentVersion older;  // of whatever type the header's bytes give the package
  older.type = first.componentType;
  ASSERT_GT(first.version, older.version);
  AclNandBurn nand;
  ASSERT_EQ(nand.Prepare(bytes.data(), bytes.size(), ACL_IMAGE_NAND_PKG), 1);
  std::vector<uint8_t> sent;
  ASSERT_EQ(nand.Run(L"", L"", {older}, L"", [&](const NandPackage& p, const AclCommand&) {
    if (p.index == 0) sent.assign(p.bytes, p.bytes + 4);
    return 1;
  }), 1);
  EXPECT_EQ(Hex(sent), "00000081");
  EXPECT_EQ(bytes, shared);
}

// Ctrl+C is taken before the first package's data, where nothing was burned.
// Once the first package is out the printer burns every package it took
// whole, so the rest and the closing reset still go out. The loader goes out
// in pieces: its progress below its own total is no first package again.
TEST(NtwkBurnNandFlash, InterruptIsTakenOnlyBeforeTheFirstPackage) {
  fwtest::NandFileLayout layout = ThreePackages();
  layout.packages[2].payloadSize = 2 * ACL_FOLLOWED_PIECE;
  const std::vector<uint8_t> first = PackageJob(fwtest::BuildNandPackage(layout.packages[0]));
  const std::vector<uint8_t> loader = PackageJob(fwtest::BuildNandPackage(layout.packages[2]));
  struct Case {
    const char* what;
    bool fromTheStart;  // else once the first package's data is out
    int result;
    std::vector<uint8_t> sent;
    int connections;  // 2: the closing reset
    uint64_t slept;
  } cases[] = {
      {"before the first package", true, 0, std::vector<uint8_t>(first.begin(), first.begin() + 50), 1, 0},
      {"after the first package", false, 1, Concat({first, loader}), 2, 2u * NTWK_BURN_PAUSE_MS},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    FakeNet net;
    TempFile file(L"interrupted.pkg", fwtest::BuildNand(layout));
    net.AddConnection(Replies({Reply(Response(0x000F)), Reply(Response(0x000F))}));
    net.AddConnection(Replies({Reply(Response(0xD1EE))}));
    bool interrupted = c.fromTheStart;
    AclProgress progress;
    progress.sent = [&](uint32_t sent, uint32_t total) { interrupted = interrupted || sent == total; };
    progress.paused = [](uint32_t) {};
    progress.stopped = [&] { return interrupted; };
    CFWDownloadNtwk ntwk;
    ntwk.FollowBurns(&progress);
    FirmwareFileInfo info = PrinterComponents(kPrinter);
    EXPECT_EQ(ntwk.BurnNandFlash(kAddr, file.f, ACL_IMAGE_NAND_PKG, L"", L"", &info), c.result);
    EXPECT_EQ(Hex(net.Sent(1)), Hex(c.sent));
    EXPECT_EQ(net.Connections(), c.connections);
    EXPECT_EQ(clock.TotalSlept(), c.slept);
  }
}

TEST(NtwkBurnNandFlash, Failures) {
  struct Case {
    const char* what;
    std::function<void(fwtest::NandFileLayout*)> edit;
    std::vector<ConnScript> conns;
    std::wstring line;
    int connections;
    int uels;  // PJL_UELs sent on the burn connection in all
  } cases[] = {
      {"status 2", nullptr, {Replies({Reply(Response(0x000F, 2))})},
       L"Failed to receive correct ACLCMD_STATUS_SUCCESS from Network.", 1, 2},
      {"wrong cmdID", nullptr, {Replies({Reply(Response(0x0005))})},
       L"Failed to receive correct ACLCMD_BURN_FLASH from Network.", 1, 2},
      {"wrong prefix", nullptr, {Replies({Reply(Response(0x000F, 1, {}, 0x0000))})},
       L"Failed to receive correct ACL_PREFIX from Network.", 1, 2},
      {"short answer", nullptr, {Replies({Reply(FromHex("00ac000f")), ClosedReply()})},
       L"Failed to receive data from Network.", 1, 2},
      {"no answer", nullptr, {Replies({})}, L"Could not recv acl response from the socket...", 1, 1},
      {"UEL", nullptr, {FailingSend(0, -1)}, L"Could not send PJL_UEL to the socket...", 1, 0},
      {"enter language", nullptr, {FailingSend(1, -1)}, L"Could not send PJL_ENTERLANG to the socket...", 1, 1},
      {"command", nullptr, {FailingSend(2, -1)}, L"Could not send acl cmd to the socket...", 1, 2},
      {"package data", nullptr, {FailingSend(3, 100)}, L"Could not send bin file to the socket...", 1, 2},
      {"second package fails", nullptr, {Replies({Reply(Response(0x000F)), Reply(Response(0x000F, 2))})},
       L"Failed to receive correct ACLCMD_STATUS_SUCCESS from Network.", 1, 3},
      {"refused: first send fails", nullptr, {[] { ConnScript s; s.connect = 0; return s; }()},
       L"Could not send PJL_UEL to the socket...", 1, 0},
      {"time-out not set", nullptr, {[] { ConnScript s; s.setTimeoutFailAt = 0; return s; }()},
       L"Failed to set socket options", 1, 0},
      {"package VERSION 3", [](fwtest::NandFileLayout* s) { s->packages[1].headerVersion = 3; },
       {Replies({Reply(Response(0x000F))})}, L"ERROR: invalid VERSION 3", 1, 1},
      {"header VERSION 0x80", [](fwtest::NandFileLayout* s) { s->headerVersion = 0x80; }, {},
       L"ERROR: invalid VERSION 128", 0, 0},
  };
  for (Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    FakeNet net;
    for (const ConnScript& s : c.conns) net.AddConnection(s);
    fwtest::NandFileLayout layout = ThreePackages();
    if (c.edit) c.edit(&layout);
    TempFile file(L"fail.pkg", fwtest::BuildNand(layout));
    FirmwareFileInfo info = PrinterComponents(kPrinter);
    EXPECT_EQ(CFWDownloadNtwk().BurnNandFlash(kAddr, file.f, ACL_IMAGE_NAND_PKG, L"", L"", &info), 0) << c.what;
    EXPECT_TRUE(log.Contains(c.line)) << c.what;
    EXPECT_FALSE(log.Contains(L"BurnFlash succeeded.")) << c.what;
    EXPECT_EQ(net.Connections(), c.connections) << c.what;  // never a reset after a failure
    EXPECT_EQ(CountUels(net.Sent(1)), c.uels) << c.what;
  }
}

TEST(NtwkBurnNandFlash, NotANandFile) {
  LogCapture log;
  FakeNet net;
  TempFile file(L"notnand.pkg", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 600, 5));
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadNtwk().BurnNandFlash(kAddr, file.f, ACL_IMAGE_NAND_PKG, L"", L"", &info), 0);
  EXPECT_EQ(log.Lines(), (Lines{L"CFWDownloadNtwk::BurnNandFlash", L"ERROR: This is not a Nand flash bin file"}));
  EXPECT_EQ(net.Connections(), 0);
}

// ---------------------------------------------------------------- info, reset, NVRAM

TEST(NtwkGetNtwkBuildInfo, TextFromItsSecondByte) {
  struct Case {
    uint16_t cmd;
    std::string text;
    std::string expected;
  } cases[] = {
      {ACLCMD_GET_PRINTER_INFO, "\r\nMDL:Tideway 100;", "\nMDL:Tideway 100;"},
      {ACLCMD_GET_BUILD_INFO, "xPANEL:EN-1;", "PANEL:EN-1;"},
      {ACLCMD_GET_BUILD_INFO, "x", ""},
  };
  for (const Case& c : cases) {
    LogCapture log;
    FakeNet net;
    net.AddConnection(Replies({Reply(Response(c.cmd, 1, Be16(static_cast<uint16_t>(c.text.size())))),
                               Reply(Bytes(c.text))}));
    char text[ACL_TEXT_BUFFER_SIZE];
    std::memset(text, 'Z', sizeof text);
    EXPECT_EQ(CFWDownloadNtwk().GetNtwkBuildInfo(kAddr, text, c.cmd), 1);
    EXPECT_EQ(std::string(text), c.expected);
    EXPECT_EQ(Hex(net.Sent(1)), Hex(Concat({Uel(), EnterLang(), FromHex("00ac"), Be16(c.cmd),
                                            std::vector<uint8_t>(12, 0), Uel()})));
    EXPECT_EQ(log.Lines(), (Lines{L"GetNtwkBuildInfo(127.60.0.1)", L"GetNtwkFWBuildInfo(): Getting Build info ..."}));
  }
}

TEST(NtwkGetNtwkBuildInfo, LongTextIsCutAtOneReceive) {
  FakeNet net;
  std::string longText(1500, 'm');
  net.AddConnection(Replies({Reply(Response(0x0006, 1, Be16(1500))), Reply(Bytes(longText))}));
  char text[ACL_TEXT_BUFFER_SIZE];
  EXPECT_EQ(CFWDownloadNtwk().GetNtwkBuildInfo(kAddr, text, ACLCMD_GET_PRINTER_INFO), 1);
  EXPECT_EQ(std::string(text), std::string(1022, 'm'));
}

TEST(NtwkGetNtwkBuildInfo, Failures) {
  struct Case {
    const char* what;
    ConnScript script;
    std::wstring lastLine;
  } cases[] = {
      {"status 2", Replies({Reply(Response(0x0006, 2, {0, 3})), Reply(Bytes("abc"))}),
       L"GetNtwkFWBuildInfo(): Getting Build info ..."},
      {"wrong cmdID", Replies({Reply(Response(0x0013, 1, {0, 3})), Reply(Bytes("abc"))}),
       L"GetNtwkFWBuildInfo(): Getting Build info ..."},
      {"short", Replies({Reply(FromHex("00ac0006")), ClosedReply()}), L"GetNtwkFWBuildInfo(): Getting Build info ..."},
      {"no text", Replies({Reply(Response(0x0006, 1, {0, 3}))}), L"GetNtwkFWBuildInfo(): Getting Build info ..."},
      {"no answer", Replies({}), L"Failed to get Firmware Version..."},
      {"UEL", FailingSend(0, -1), L"Could not send PJL_UEL to the socket..."},
      {"enter language", FailingSend(1, -1), L"Could not send PJL_ENTERLANG to the socket..."},
      {"command", FailingSend(2, -1), L"Could not send acl cmd to the socket..."},
      {"command short", FailingSend(2, 15), L"bytes sent != sizeof aclCmd"},
      {"closing UEL", FailingSend(3, 2, {Reply(Response(0x0006, 1, {0, 3})), Reply(Bytes("abc"))}),
       L"GetNtwkFWBuildInfo(): Getting Build info ..."},
      {"no socket", [] { ConnScript s; s.create = 0; return s; }(), L"ConnectSocket failed"},
      {"time-out", [] { ConnScript s; s.setTimeoutFailAt = 0; return s; }(), L"setsockopt failed"},
      {"refused", [] { ConnScript s; s.connect = 0; return s; }(), L"Could not connect to the socket... IP=127.60.0.1"},
  };
  for (Case& c : cases) {
    LogCapture log;
    FakeNet net;
    net.AddConnection(c.script);
    char text[ACL_TEXT_BUFFER_SIZE] = {};
    EXPECT_EQ(CFWDownloadNtwk().GetNtwkBuildInfo(kAddr, text, ACLCMD_GET_PRINTER_INFO), 0) << c.what;
    EXPECT_EQ(log.Lines().back(), c.lastLine) << c.what;
  }
}

TEST(NtwkReset, WithReply) {
  struct Case {
    const char* what;
    ConnScript script;
    int result;
    bool closingUel;
  } cases[] = {
      {"answered", Replies({Reply(Response(0xD1EE))}), 1, true},
      {"status 2", Replies({Reply(Response(0xD1EE, 2))}), 0, false},
      {"wrong cmdID", Replies({Reply(Response(0x0001))}), 0, false},
      {"no answer", Replies({}), 0, false},
      {"closing UEL short", FailingSend(3, 1, {Reply(Response(0xD1EE))}), 0, false},
  };
  for (Case& c : cases) {
    LogCapture log;
    FakeNet net;
    net.AddConnection(c.script);
    EXPECT_EQ(CFWDownloadNtwk().Reset(kAddr), c.result) << c.what;
    std::vector<uint8_t> job = Concat({Uel(), EnterLang(), FromHex("00acd1ee000000000000000000000000")});
    if (c.closingUel) job = Concat({job, Uel()});
    if (std::string(c.what) != "closing UEL short") {
      EXPECT_EQ(Hex(net.Sent(1)), Hex(job)) << c.what;
    }
    EXPECT_EQ(log.Lines().front(), L"Reset()");
  }
}

TEST(NtwkResetNtwkPrinter, SendsTheResetAndReadsNothing) {
  LogCapture log;
  FakeNet net;
  EXPECT_EQ(CFWDownloadNtwk().ResetNtwkPrinter(kAddr), 1);
  EXPECT_EQ(net.Trace(), (Trace{"1 startup", "1 create", "1 rcvtimeo 8000", "1 sndtimeo 8000",
                                "1 connect 127.60.0.1:9100", "1 send 9 = 9", "1 send 25 = 25", "1 send 16 = 16",
                                "1 close", "1 cleanup"}));
  EXPECT_EQ(Hex(net.Sent(1)), Hex(Concat({Uel(), EnterLang(), FromHex("00acd1ee000000000000000000000000")})));
  EXPECT_EQ(log.Lines(), (Lines{L"ResetNtwkPrinter()"}));
}

// A queue's own raw port is dialled; the printer's own goes where the
// settings put it (a simulator's port).
TEST(NtwkConnection, DialsTheQueuesRawPort) {
  LogCapture log;
  FakeNet net;
  net.Settings().port = 9300;
  EXPECT_EQ(CFWDownloadNtwk(9200).ResetNtwkPrinter(kAddr), 1);
  EXPECT_EQ(CFWDownloadNtwk(NTWK_PRINTER_PORT).ResetNtwkPrinter(kAddr), 1);
  Trace connects;
  for (const std::string& call : net.Trace()) {
    if (call.find("connect") != std::string::npos) connects.push_back(call);
  }
  EXPECT_EQ(connects, (Trace{"1 connect 127.60.0.1:9200", "2 connect 127.60.0.1:9300"}));
}

TEST(NtwkResetNtwkPrinter, Failures) {
  struct Case {
    ConnScript script;
    std::wstring line;
  } cases[] = {
      {[] { ConnScript s; s.create = 0; return s; }(), L"socket() failed (gle=10055)"},
      {[] { ConnScript s; s.setTimeoutFailAt = 0; return s; }(), L"setsockopt failed (gle=10022)"},
      {[] { ConnScript s; s.connect = 0; return s; }(), L"Could not connect to the socket (gle=10061)"},
      {FailingSend(0, -1), L"Could not send PJL_UEL to the socket (gle=10054)"},
      {FailingSend(1, -1), L"Could not send PJL_ENTERLANG to the socket (gle=10054)"},
      {FailingSend(2, -1), L"Could not send acl cmd to the socket...\r"},  // the message ends in CR LF
  };
  for (Case& c : cases) {
    LogCapture log;
    FakeNet net;
    net.AddConnection(c.script);
    EXPECT_EQ(CFWDownloadNtwk().ResetNtwkPrinter(kAddr), 0) << c.line;
    EXPECT_EQ(log.Lines()[1], c.line);
  }
}

TEST(NtwkFixNvRam, WritesTheModeOneBlock) {
  FakeClock clock;
  LogCapture log;
  FakeNet net;
  net.AddConnection(Replies({Reply(Response(0xEC1D))}));
  EXPECT_EQ(CFWDownloadNtwk().FixNvRam(kAddr), 1);
  EXPECT_EQ(Hex(net.Sent(1)),
            Hex(Concat({Uel(), EnterLang(), FromHex("00acec1d0000013f0000001700000000"),
                        FromHex("4b543438324d" "000000000000000000" "5d17" "0000000000" "02"), Uel()})));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{5000}));
  EXPECT_TRUE(log.Lines().empty());
  EXPECT_EQ(net.Trace()[2], "1 rcvtimeo 20000");
}

TEST(NtwkFixNvRam, Failures) {
  struct Case {
    const char* what;
    ConnScript script;
    int uels;  // PJL_UELs sent in all
  } cases[] = {
      {"status 2", Replies({Reply(Response(0xEC1D, 2))}), 3},
      {"wrong cmdID", Replies({Reply(Response(0x000F))}), 3},
      {"no answer", Replies({}), 2},
      {"refused", [] { ConnScript s; s.connect = 0; return s; }(), 0},
      {"command", FailingSend(2, -1), 2},
      {"block", FailingSend(3, 10), 2},
  };
  for (Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    FakeNet net;
    net.AddConnection(c.script);
    EXPECT_EQ(CFWDownloadNtwk().FixNvRam(kAddr), 0) << c.what;
    EXPECT_TRUE(log.Lines().empty()) << c.what;
    EXPECT_EQ(CountUels(net.Sent(1)), c.uels) << c.what;
  }
}

// ---------------------------------------------------------------- burn choice

TEST(NtwkDownLoadFirmware, ChoosesTheBurnByProductAndFileType) {
  struct Case {
    const wchar_t* product;
    fwtest::BinKind kind;
    std::string command;  // cmdID and the first parameter word of the command record
  } cases[] = {
      {L"", fwtest::BinKind::FullPart, "00ac000f0004"},
      {L"", fwtest::BinKind::CodeOnly, "00ac000f0003"},
      {L"MIRO", fwtest::BinKind::CodeOnly, "00ac00050001"},  // dataLength 70004 = 0x00011174
      {L"QV4410SERIES 2", fwtest::BinKind::FullPart, "00ac00050001"},
  };
  for (const Case& c : cases) {
    ProductScope product(c.product);
    FakeClock clock;
    LogCapture log;
    FakeNet net;
    bool spi = c.command == "00ac00050001";
    net.AddConnection(Replies({Reply(Response(spi ? 0x0005 : 0x000F))}));
    std::wstring path = fwtest::TempPath(L"choice.bin");
    fwtest::WriteFileBytes(path, fwtest::BuildBin(c.kind, 70000, 9));
    FirmwareFileInfo info;
    EXPECT_EQ(CFWDownloadNtwk().DownLoadFirmware(&info, kAddr, path.c_str(), L"", L""), 1) << c.product;
    std::vector<uint8_t> sent = net.Sent(1);
    ASSERT_GE(sent.size(), 40u);
    EXPECT_EQ(Hex(std::vector<uint8_t>(sent.begin() + 34, sent.begin() + 40)), c.command) << c.product;
    EXPECT_EQ(log.Lines().front(), L"CFWDownloadNtwk::DownLoadFirmware");
  }
}

// The bytes a run's updates share are checked against what this update's
// version check saw of the file and against its signature, and sent as they
// are.
TEST(NtwkDownLoadFirmware, ASharedImageIsCheckedAndSent) {
  const std::wstring path = fwtest::TempPath(L"shared.bin");
  const std::vector<uint8_t> other = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 900, 10);
  const std::vector<uint8_t> checked = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 900, 9);
  const Thumbprint signer = fwtest::SignerThumbprint(0x5A);
  struct Case {
    const std::vector<uint8_t>* image;
    const std::vector<uint8_t>* signedBytes;  // null: no signers configured
    int result;
    const wchar_t* line;
    const std::vector<uint8_t>* fileLater = nullptr;  // the file on disk replaced after the image was read
  } cases[] = {
      {&other, nullptr, -1, L"ERROR: the firmware file changed after it was checked, nothing is sent."},
      {&checked, nullptr, 1, nullptr},
      {&checked, nullptr, 1, nullptr, &other},
      {&checked, &other, ACL_DOWNLOAD_NOT_TRUSTED, L"ERROR: the signature does not match the firmware file"},
      {&checked, &checked, 1, L"Signature: the firmware file is signed by the trusted signer"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(&c - cases);
    FakeClock clock;
    LogCapture log;
    FakeNet net;
    net.AddConnection(Replies({Reply(Response(0x000F))}));
    std::unique_ptr<fwtest::FakeSigning> signing;
    if (c.signedBytes) {
      signing = std::make_unique<fwtest::FakeSigning>(SignerList{signer});
      fwtest::WriteFakeSignature(path, signer, *c.signedBytes);
    }
    fwtest::WriteFileBytes(path, checked);
    FirmwareFileInfo info;
    int32_t type = 0;
    ASSERT_EQ(GetBinFileVersion(&info, &type, path.c_str()), 9u);  // as the version check leaves it
    if (c.fileLater) fwtest::WriteFileBytes(path, *c.fileLater);
    const std::vector<uint8_t>& bytes = *c.image;
    std::unique_ptr<uint8_t[]> copy(new uint8_t[bytes.size()]);
    std::copy(bytes.begin(), bytes.end(), copy.get());
    const FirmwareImage image(path, std::move(copy), bytes.size());
    EXPECT_EQ(CFWDownloadNtwk().DownLoadFirmware(&info, kAddr, path.c_str(), L"", L"", &image), c.result);
    if (c.line) {
      EXPECT_TRUE(log.ContainsPart(c.line));
    }
    EXPECT_EQ(net.Connections(), c.result == 1 ? 1 : 0);
    if (c.result == 1) {
      const std::vector<uint8_t> sent = net.Sent(1);
      ASSERT_GE(sent.size(), bytes.size());
      EXPECT_EQ(Hex(std::vector<uint8_t>(sent.end() - bytes.size(), sent.end())), Hex(bytes));
    }
  }
}

TEST(NtwkDownLoadFirmware, NandFileAndFailures) {
  {
    FakeClock clock;
    LogCapture log;
    FakeNet net;
    std::wstring path = fwtest::TempPath(L"dl.pkg");
    fwtest::WriteFileBytes(path, fwtest::BuildNand(ThreePackages()));
    net.AddConnection(Replies({Reply(Response(0x000F)), Reply(Response(0x000F))}));
    net.AddConnection(Replies({Reply(Response(0xD1EE))}));
    FirmwareFileInfo info = PrinterComponents(kPrinter);
    EXPECT_EQ(CFWDownloadNtwk().DownLoadFirmware(&info, kAddr, path.c_str(), L"", L""), 1);
    EXPECT_EQ(net.Connections(), 2);
    EXPECT_TRUE(log.Contains(L"CFWDownloadNtwk::BurnNandFlash"));
  }
  {
    FakeClock clock;
    LogCapture log;
    FakeNet net;
    std::wstring path = fwtest::TempPath(L"dl-fail.bin");
    fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 900, 9));
    net.AddConnection(Replies({Reply(Response(0x000F, 2))}));
    FirmwareFileInfo info;
    EXPECT_EQ(CFWDownloadNtwk().DownLoadFirmware(&info, kAddr, path.c_str(), L"", L""), -1);
  }
  {
    LogCapture log;
    FakeNet net;
    FirmwareFileInfo info;
    std::wstring missing = fwtest::TempPath(L"missing.bin");
    EXPECT_EQ(CFWDownloadNtwk().DownLoadFirmware(&info, kAddr, missing.c_str(), L"", L""), -1);
    EXPECT_TRUE(log.ContainsPart(L"Context: Failed to Open fw bin file"));
    EXPECT_EQ(net.Connections(), 0);
  }
}
