// Every exchange of the network transport against the simulated printer over
// loopback TCP: what the printer received (its event log) and what the
// transport reported.

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "firmware/versions.h"
#include "host/file_io.h"
#include "ntwk_sim_fixture.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "transport/tcp_channel.h"

using nettest::SimPrinter;

namespace {

const char kDefaultComponents[] = "NandLDR = 3\r\nNandBoot = 3\r\nprint = 100\r\nbinary = 100\r\nKinset = 100\r\n";

struct ProductScope {
  explicit ProductScope(const wchar_t* name) { SetProductName(name); }
  ~ProductScope() { SetProductName(L""); }
};

std::wstring WriteTemp(const std::wstring& name, const std::vector<uint8_t>& bytes) {
  std::wstring path = fwtest::TempPath(name);
  fwtest::WriteFileBytes(path, bytes);
  return path;
}

std::vector<std::string> Commands(PrinterSim& sim, const std::string& name) {
  std::vector<std::string> out;
  for (const std::string& e : sim.Events("command")) {
    if (PrinterSim::Str(e, "cmd") == name) out.push_back(e);
  }
  return out;
}

}  // namespace

TEST(NtwkSimExchange, VersionAndComponentQueries) {
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.1", {"--version", "4321"}, 5000)) << p.error();
  CFWDownloadNtwk ntwk;
  FirmwareFileInfo info;
  info.fileType = BINTYPE_CODE_ONLY;
  std::string text;
  EXPECT_EQ(ntwk.GetFWVersion(&info, p.Address().c_str(), &text), 4321u);
  info.fileType = BINTYPE_NAND_PKG;
  EXPECT_EQ(ntwk.GetFWVersion(&info, p.Address().c_str(), &text), 9999u);
  EXPECT_EQ(text, kDefaultComponents);
  ASSERT_TRUE(p.sim().WaitForEvents("command", 2));
  std::vector<std::string> cmds = p.sim().Events("command");
  EXPECT_EQ(PrinterSim::Str(cmds[0], "record"), "00ac0001000000000000000000000000");
  EXPECT_EQ(PrinterSim::Str(cmds[1], "record"), "00ac0016000000000000000000000000");
  // Every job is framed: enter-language line, and a closing UEL after the answer.
  EXPECT_EQ(p.sim().Events("pjl").size(), 2u);
  EXPECT_TRUE(p.sim().Events("garbage").empty());
}

TEST(NtwkSimExchange, InfoQueriesDropTheFirstByte) {
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.2", {"--printer-info", "MDL:QV Office 9;", "--build-info", "PANEL:EN-GB;"}, 5000))
      << p.error();
  CFWDownloadNtwk ntwk;
  char text[ACL_TEXT_BUFFER_SIZE];
  EXPECT_EQ(ntwk.GetNtwkBuildInfo(p.Address().c_str(), text, ACLCMD_GET_PRINTER_INFO), 1);
  EXPECT_EQ(std::string(text), "\nMDL:QV Office 9;");  // the printer leads with CR LF
  EXPECT_EQ(ntwk.GetNtwkBuildInfo(p.Address().c_str(), text, ACLCMD_GET_BUILD_INFO), 1);
  EXPECT_EQ(std::string(text), "\nPANEL:EN-GB;");
}

TEST(NtwkSimExchange, ImageBurnTypeFollowsTheFileAndTheNewVersionIsReported) {
  FakeClock clock;
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.3", {"--version", "1000", "--restart-ms", "100"}, 5000)) << p.error();
  struct Case {
    fwtest::BinKind kind;
    uint32_t version;
    int imageType;
    const char* imageKind;
  } cases[] = {{fwtest::BinKind::FullPart, 1100, 4, "full_part"}, {fwtest::BinKind::CodeOnly, 1200, 3, "code_only"}};
  CFWDownloadNtwk ntwk;
  size_t n = 0;
  for (const Case& c : cases) {
    std::wstring path = WriteTemp(L"image.bin", fwtest::BuildBin(c.kind, 200000, c.version));
    FirmwareFileInfo info;
    ASSERT_TRUE(p.sim().WaitUntilUp());
    EXPECT_EQ(ntwk.CheckFirmwareVersion(L"", L"", &info, p.Address().c_str(), path.c_str()), VERCHK_FILE_NEWER);
    EXPECT_EQ(ntwk.DownLoadFirmware(&info, p.Address().c_str(), path.c_str(), L"", L""), 1);
    std::vector<std::string> burns = Commands(p.sim(), "BURN_FLASH");
    ASSERT_EQ(burns.size(), ++n);
    EXPECT_EQ(PrinterSim::Num(burns.back(), "image_type"), c.imageType);
    EXPECT_EQ(PrinterSim::Str(burns.back(), "image_kind"), c.imageKind);
    EXPECT_EQ(PrinterSim::Num(burns.back(), "data_length"), 200000);
    EXPECT_TRUE(PrinterSim::Bool(burns.back(), "ok")) << PrinterSim::Str(burns.back(), "reason");
    ASSERT_TRUE(p.sim().WaitForEvents("restart_end", n));
    ASSERT_TRUE(p.sim().WaitUntilUp());
    EXPECT_EQ(ntwk.CheckFirmwareVersion(L"", L"", &info, p.Address().c_str(), path.c_str()), VERCHK_UP_TO_DATE);
  }
  // The waits: no version retries, one 30 s pause per burn.
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{30000, 30000}));
}

TEST(NtwkSimExchange, SpiBurnWithTrailer) {
  ProductScope product(L"SELUNAR");
  FakeClock clock;
  LogCapture log;
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.4", {"--restart-ms", "100"}, 5000)) << p.error();
  std::wstring path = WriteTemp(L"spi.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 12345, 1300));
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadNtwk().DownLoadFirmware(&info, p.Address().c_str(), path.c_str(), L"", L""), 1);
  std::vector<std::string> spi = Commands(p.sim(), "WRITE_SPIMEM");
  ASSERT_EQ(spi.size(), 1u);
  EXPECT_TRUE(PrinterSim::Bool(spi[0], "ok")) << PrinterSim::Str(spi[0], "reason");
  EXPECT_EQ(PrinterSim::Num(spi[0], "data_length"), 12349);
  EXPECT_EQ(PrinterSim::Str(spi[0], "trailer").substr(0, 4), "ffff");
  EXPECT_TRUE(log.Contains(L"CFWDownloadNtwk::BurnSpiFlash(127.60.1.4)"));
}

TEST(NtwkSimExchange, NandBurnSendsOnlyOutOfDateAndLoaderPackagesThenResets) {
  FakeClock clock;
  LogCapture log;
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.5", {"--restart-ms", "100"}, 5000)) << p.error();
  fwtest::NandFileLayout layout;
  layout.noReboot = true;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(200).Target("QV1"));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_BINARY).Version(50).Target("QV1"));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_NANDLDR).Version(2).Target("QV1"));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_KINSET).Version(900).Target("OTHER"));
  std::wstring path = WriteTemp(L"four.pkg", fwtest::BuildNand(layout));
  CFWDownloadNtwk ntwk;
  FirmwareFileInfo info;
  EXPECT_EQ(ntwk.CheckFirmwareVersion(L"QV1", L"", &info, p.Address().c_str(), path.c_str()), VERCHK_FILE_NEWER);
  ASSERT_EQ(info.components.size(), 5u);
  log.Clear();
  EXPECT_EQ(ntwk.DownLoadFirmware(&info, p.Address().c_str(), path.c_str(), L"QV1", L""), 1);

  std::vector<std::string> burns = Commands(p.sim(), "BURN_FLASH");
  ASSERT_EQ(burns.size(), 2u);
  for (const std::string& b : burns) {
    EXPECT_EQ(PrinterSim::Num(b, "image_type"), 0x2101);
    EXPECT_EQ(PrinterSim::Str(b, "kind"), "nand_package");
    EXPECT_TRUE(PrinterSim::Bool(b, "ok")) << PrinterSim::Str(b, "reason");
  }
  EXPECT_EQ(PrinterSim::Num(burns[0], "comp_type"), COMP_PRINT);
  EXPECT_EQ(PrinterSim::Num(burns[1], "comp_type"), COMP_NANDLDR);
  EXPECT_EQ(PrinterSim::Num(burns[0], "conn"), PrinterSim::Num(burns[1], "conn"));  // one connection
  std::vector<std::string> resets = Commands(p.sim(), "RESET");
  ASSERT_EQ(resets.size(), 1u);
  EXPECT_NE(PrinterSim::Num(resets[0], "conn"), PrinterSim::Num(burns[0], "conn"));
  EXPECT_TRUE(log.Contains(L"NAND PKG sending 'NO REBOOT'"));
  EXPECT_TRUE(log.Contains(L"--Reject NAND package 001: 900, OTHER"));
  EXPECT_TRUE(log.Contains(L"BurnFlash succeeded."));
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{30000, 30000}));

  // After the restart the printer reports the burned component versions.
  ASSERT_TRUE(p.sim().WaitForEvents("restart_end", 1));
  ASSERT_TRUE(p.sim().WaitUntilUp());
  std::string text;
  EXPECT_EQ(ntwk.GetFWVersion(&info, p.Address().c_str(), &text), 9999u);
  EXPECT_NE(text.find("print = 200"), std::string::npos) << text;
}

TEST(NtwkSimExchange, NandBurnWithNothingOutOfDate) {
  FakeClock clock;
  LogCapture log;
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.6", {"--component", "print=300", "--component", "binary=300"}, 5000)) << p.error();
  fwtest::NandFileLayout layout;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(200));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_NANDLDR).Version(9));  // loader not reported
  std::wstring path = WriteTemp(L"current.pkg", fwtest::BuildNand(layout));
  CFWDownloadNtwk ntwk;
  FirmwareFileInfo info;
  EXPECT_EQ(ntwk.CheckFirmwareVersion(L"", L"", &info, p.Address().c_str(), path.c_str()), VERCHK_UP_TO_DATE);
  // Nothing was written: the download says so, and the controller decides what that means.
  EXPECT_EQ(ntwk.DownLoadFirmware(&info, p.Address().c_str(), path.c_str(), L"", L""), 0);
  EXPECT_TRUE(log.Contains(L"BurnFlash succeeded."));
  EXPECT_FALSE(log.Contains(L"Reset()"));
  EXPECT_TRUE(Commands(p.sim(), "BURN_FLASH").empty());
  EXPECT_TRUE(Commands(p.sim(), "RESET").empty());
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(NtwkSimExchange, NvramFixWritesModeOne) {
  FakeClock clock;
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.7", {}, 5000)) << p.error();
  EXPECT_EQ(CFWDownloadNtwk().FixNvRam(p.Address().c_str()), 1);
  std::vector<std::string> w = Commands(p.sim(), "WRITE_NVRAM");
  ASSERT_EQ(w.size(), 1u);
  EXPECT_EQ(PrinterSim::Num(w[0], "mode"), 1);
  EXPECT_EQ(PrinterSim::Num(w[0], "offset"), 0x13F);
  EXPECT_TRUE(PrinterSim::Bool(w[0], "ok"));
  EXPECT_EQ(PrinterSim::Num(p.sim().Control(R"({"op":"state"})"), "nvram_mode"), 1);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{5000}));
}

TEST(NtwkSimExchange, ResetWithAndWithoutReply) {
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.8", {"--restart-ms", "100"}, 5000)) << p.error();
  CFWDownloadNtwk ntwk;
  EXPECT_EQ(ntwk.Reset(p.Address().c_str()), 1);
  ASSERT_TRUE(p.sim().WaitForEvents("restart_end", 1));
  ASSERT_TRUE(p.sim().WaitUntilUp());
  EXPECT_EQ(ntwk.ResetNtwkPrinter(p.Address().c_str()), 1);
  ASSERT_TRUE(p.sim().WaitForEvents("restart_begin", 2));
  std::vector<std::string> resets = Commands(p.sim(), "RESET");
  ASSERT_EQ(resets.size(), 2u);
  // With reply: the answer was sent and the job closed with a UEL; without: nothing read.
  // The simulator begins its restart before it logs the answer it sends.
  EXPECT_TRUE(p.sim().WaitForEvents("reply", 2));
  EXPECT_EQ(p.sim().Events("uel").size(), 2u + 1u);
}

// The product's own time-out, not a test's: an unanswered query ends after 20 s.
TEST(NtwkSimExchange, UnansweredQueryEndsAfterTheRealReceiveTimeOut) {
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.9", {"--fault", "no-reply:cmd=version"}, NTWK_RECV_TIMEOUT_MS)) << p.error();
  NtwkSettings product;
  EXPECT_EQ(product.receiveTimeoutMs, 20000u);
  EXPECT_EQ(product.resetTimeoutMs, 8000u);
  EXPECT_EQ(product.burnReplyTimeoutMs, 60000u);
  EXPECT_EQ(product.port, 9100);
  p.settings().receiveTimeoutMs = product.receiveTimeoutMs;
  FirmwareFileInfo info;
  info.fileType = BINTYPE_CODE_ONLY;
  std::string text;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CFWDownloadNtwk().GetFWVersion(&info, p.Address().c_str(), &text), 0u);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 19.5);
  EXPECT_LT(seconds, 25.0);
}

// A printer that took the connection and stopped reading: the image fills the
// sockets' buffers and the send waits for room. The run's interrupt ends that
// wait, long before the send's time-out (a minute here). The exchange asks
// before each piece and the waiting send before each wait, so a second
// question without a piece sent in between comes from the waiting send.
TEST(NtwkSimExchange, InterruptEndsASendThePrinterStoppedTaking) {
  FakeClock clock;
  LogCapture log;
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.60.1.10", {"--fault", "accept-no-read"}, 60000)) << p.error();
  std::wstring path = WriteTemp(L"untaken.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 16 * 1024 * 1024, 1100));
  bool askedSincePiece = false;
  int askedWhileWaiting = 0;
  AclProgress progress;
  progress.sent = [&](uint32_t, uint32_t) { askedSincePiece = false; };
  progress.stopped = [&] {
    askedWhileWaiting += askedSincePiece;
    askedSincePiece = true;
    return askedWhileWaiting > 0;
  };
  CFWDownloadNtwk ntwk;
  ntwk.FollowBurns(&progress);
  FILE* f = OpenFileWide(path.c_str(), "rb");
  EXPECT_EQ(ntwk.BurnFlash(f, p.Address().c_str(), ACL_IMAGE_CODE_ONLY), 0);
  fclose(f);
  EXPECT_EQ(askedWhileWaiting, 1);
  EXPECT_TRUE(log.Contains(L"The run was interrupted: the send ends."));
  EXPECT_TRUE(log.Contains(L"Could not send bin file to the socket."));
  EXPECT_TRUE(clock.Sleeps().empty());
}

// A printer on a slow link takes the data in bursts. Each pause is shorter than
// the send's time-out but together they are longer: only a wait without a byte
// taken since counts towards the time-out. Its own listener, whose small
// receive buffer keeps each burst from draining the whole send.
TEST(NtwkSimExchange, ASendToAPrinterTakingDataInBurstsOutlastsItsTimeOut) {
  const int listener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const int small = 64 * 1024;
  setsockopt(listener, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
  sockaddr_in at{};
  at.sin_family = AF_INET;
  inet_pton(AF_INET, "127.60.1.11", &at.sin_addr);
  socklen_t atSize = sizeof at;
  ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&at), sizeof at), 0);
  ASSERT_EQ(listen(listener, 1), 0);
  ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&at), &atSize), 0);
  std::unique_ptr<TcpChannel> channel = CreateSystemTcpChannel();
  const uint8_t address[4] = {127, 60, 1, 11};
  ASSERT_TRUE(channel->Startup() && channel->Create() && channel->Connect(address, ntohs(at.sin_port)));
  channel->SetSendTimeout(2000);

  const size_t total = size_t{24} << 20;
  size_t received = 0;
  std::thread printer([&] {
    const int conn = accept(listener, nullptr, nullptr);
    std::vector<uint8_t> buffer(64 * 1024);
    for (size_t burst = 1; burst <= 3; ++burst) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1300));
      const size_t until = total * burst / 3;
      ssize_t n = 1;
      while (n > 0 && received < until) {
        n = recv(conn, buffer.data(), std::min(buffer.size(), until - received), 0);
        if (n > 0) received += static_cast<size_t>(n);
      }
    }
    close(conn);
  });
  const std::vector<uint8_t> data(total, 0x5A);
  EXPECT_EQ(channel->Send(data.data(), data.size()), static_cast<int64_t>(total));
  channel->Close();
  printer.join();
  close(listener);
  EXPECT_EQ(received, total);
}
