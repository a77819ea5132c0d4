// The network transport on the real Winsock 1.1 build, against simulated
// printers that scripts/lib/pre-test.d/40-acl-printer-sims.sh starts on
// <net>.N (one per test case, control port 9101; <net> and the printer port
// come from the environment the hook sets).

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "firmware/versions.h"
#include "host/file_io.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/printer_sim.h"
#include "transport/ntwk_download.h"

namespace {

std::string Joined(const LogCapture& log) {
  std::string all;
  for (const std::wstring& l : log.Lines()) all += "\n  " + std::string(l.begin(), l.end());
  return all;
}

bool Has(const std::string& json, const std::string& fragment) { return json.find(fragment) != std::string::npos; }

// The simulator's port and the transport settings that reach it; fails the
// test when the pre-test hook did not start the simulators.
// "<net>.<host>" for the block of addresses the hook found free.
std::string SimAddress(int host) {
  const char* net = getenv("TIDEWAY_ACL_SIM_NET");
  return std::string(net ? net : "127.60.200") + "." + std::to_string(host);
}

class WinsockPrinter {
 public:
  WinsockPrinter(int host, uint32_t timeoutMs) : m_address(SimAddress(host)) {
    const char* port = getenv("TIDEWAY_ACL_SIM_PORT");
    m_settings.port = static_cast<uint16_t>(port ? atoi(port) : NTWK_PRINTER_PORT);
    m_settings.receiveTimeoutMs = timeoutMs;
    m_settings.resetTimeoutMs = timeoutMs;
    m_settings.burnReplyTimeoutMs = timeoutMs;
    m_previous = SetNtwkSettingsForTesting(&m_settings);
    m_wide.assign(m_address.begin(), m_address.end());
  }
  ~WinsockPrinter() { SetNtwkSettingsForTesting(m_previous); }
  std::string State() { return Control(R"({"op":"state"})"); }
  // The simulator outlives the test program: each test starts from the state
  // the simulator was started in, whatever an earlier run burned or set.
  bool Fresh() {
    const std::string ok = R"("ok": true)";
    return Has(Set(R"("version":1000,"next_version":null,)"
                   R"("components_text":"NandLDR = 3\r\nNandBoot = 3\r\nprint = 100\r\nbinary = 100\r\nKinset = 100\r\n")"),
               ok) &&
           Has(ClearFaults(), ok);
  }
  std::string Set(const std::string& fields) { return Control("{\"op\":\"set\"," + fields + "}"); }
  std::string ClearFaults() { return Control(R"({"op":"faults","list":[]})"); }
  std::string Fault(const std::string& fault) { return Control("{\"op\":\"faults\",\"list\":[\"" + fault + "\"]}"); }
  const wchar_t* Address() const { return m_wide.c_str(); }
  NtwkSettings& settings() { return m_settings; }

 private:
  std::string Control(const std::string& request) { return PrinterSim::ControlAt(m_address, 9101, request, 5000); }

  std::string m_address;
  std::wstring m_wide;
  NtwkSettings m_settings;
  const NtwkSettings* m_previous;
};

#define REQUIRE_PRINTER(p) \
  ASSERT_TRUE((p).Fresh()) << "simulated printer not running (scripts/lib/pre-test.d/40-acl-printer-sims.sh)"

}  // namespace

TEST(NtwkWinsock, VersionComponentAndInfoQueries) {
  WinsockPrinter p(1, 5000);
  REQUIRE_PRINTER(p);
  p.Set(R"("version":4321)");
  CFWDownloadNtwk ntwk;
  FirmwareFileInfo info;
  info.fileType = BINTYPE_CODE_ONLY;
  std::string text;
  EXPECT_EQ(ntwk.GetFWVersion(&info, p.Address(), &text), 4321u);
  info.fileType = BINTYPE_NAND_PKG;
  EXPECT_EQ(ntwk.GetFWVersion(&info, p.Address(), &text), 9999u);
  EXPECT_NE(text.find("print = 100\r\n"), std::string::npos);
  char buffer[ACL_TEXT_BUFFER_SIZE];
  EXPECT_EQ(ntwk.GetNtwkBuildInfo(p.Address(), buffer, ACLCMD_GET_PRINTER_INFO), 1);
  EXPECT_EQ(std::string(buffer).substr(0, 5), "\nMDL:");
  EXPECT_EQ(ntwk.GetNtwkBuildInfo(p.Address(), buffer, ACLCMD_GET_BUILD_INFO), 1);
  EXPECT_EQ(std::string(buffer).substr(0, 7), "\nPANEL:");
}

TEST(NtwkWinsock, ImageBurnThenTheNewVersion) {
  FakeClock clock;
  WinsockPrinter p(2, 5000);
  REQUIRE_PRINTER(p);
  std::wstring path = fwtest::TempPath(L"winsock.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::FullPart, 300000, 777));
  CFWDownloadNtwk ntwk;
  FirmwareFileInfo info;
  EXPECT_EQ(ntwk.DownLoadFirmware(&info, p.Address(), path.c_str(), L"", L""), 1);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{30000}));
  // After its restart the printer reports the image's version.
  uint32_t version = 0;
  for (int i = 0; i < 50 && version != 777; ++i) {
    Sleep(100);
    info.fileType = BINTYPE_FULL_PART;
    std::string text;
    version = ntwk.GetFWVersion(&info, p.Address(), &text);
  }
  EXPECT_EQ(version, 777u);
}

TEST(NtwkWinsock, SpiAndNandBurns) {
  FakeClock clock;
  LogCapture log;
  WinsockPrinter p(3, 5000);
  REQUIRE_PRINTER(p);
  std::wstring bin = fwtest::TempPath(L"winsock-spi.bin");
  fwtest::WriteFileBytes(bin, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 5001, 10));
  CFWDownloadNtwk ntwk;
  {
    SetProductName(L"MIRO");
    FirmwareFileInfo info;
    EXPECT_EQ(ntwk.DownLoadFirmware(&info, p.Address(), bin.c_str(), L"", L""), 1);
    SetProductName(L"");
    EXPECT_TRUE(log.Contains(std::wstring(L"CFWDownloadNtwk::BurnSpiFlash(") + p.Address() + L")"));
  }
  for (int i = 0; i < 50 && Has(p.State(), "\"restarting\": true"); ++i) Sleep(100);
  fwtest::NandFileLayout layout;
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(300));
  layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_BINARY).Version(10));
  std::wstring pkg = fwtest::TempPath(L"winsock.pkg");
  fwtest::WriteFileBytes(pkg, fwtest::BuildNand(layout));
  FirmwareFileInfo info;
  EXPECT_EQ(ntwk.CheckFirmwareVersion(L"", L"", &info, p.Address(), pkg.c_str()), VERCHK_FILE_NEWER) << Joined(log);
  log.Clear();
  EXPECT_EQ(ntwk.DownLoadFirmware(&info, p.Address(), pkg.c_str(), L"", L""), 1);
  EXPECT_TRUE(log.Contains(L"+Burning NAND package 002: 300, "));
  EXPECT_TRUE(log.Contains(L"--NAND package up to date, Do not burn."));
  EXPECT_TRUE(log.Contains(L"BurnFlash succeeded."));
  EXPECT_TRUE(log.Contains(L"Reset()"));
}

TEST(NtwkWinsock, NvramFixAndResets) {
  FakeClock clock;
  WinsockPrinter p(4, 5000);
  REQUIRE_PRINTER(p);
  CFWDownloadNtwk ntwk;
  EXPECT_EQ(ntwk.FixNvRam(p.Address()), 1);
  EXPECT_TRUE(Has(p.State(), "\"nvram_mode\": 1") || Has(p.State(), "\"nvram_mode\":1")) << p.State();
  EXPECT_EQ(ntwk.Reset(p.Address()), 1);
  for (int i = 0; i < 50 && Has(p.State(), "\"restarting\": true"); ++i) Sleep(100);
  EXPECT_EQ(ntwk.ResetNtwkPrinter(p.Address()), 1);
}

TEST(NtwkWinsock, FaultsGiveTheirLines) {
  FakeClock clock;
  LogCapture log;
  WinsockPrinter p(5, 1000);
  REQUIRE_PRINTER(p);
  CFWDownloadNtwk ntwk;
  FirmwareFileInfo info;
  info.fileType = BINTYPE_CODE_ONLY;
  std::string text;
  p.Fault("status:value=2");
  EXPECT_EQ(ntwk.GetFWVersion(&info, p.Address(), &text), 0u);
  EXPECT_TRUE(log.Contains(L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."));
  p.Fault("no-reply");
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(ntwk.GetFWVersion(&info, p.Address(), &text), 0u);
  auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  EXPECT_LT(ms, 4000);
  // Winsock reports the receive time-out as WSAETIMEDOUT.
  EXPECT_TRUE(log.ContainsPart(L"(gle=10060, 0x274c)")) << "time-out error";
  // Winsock's sends wait for room as the POSIX ones do: an image larger than
  // the sockets buffer, to a printer that never reads, fails after the time-out.
  p.Fault("accept-no-read");
  std::wstring large = fwtest::TempPath(L"winsock-untaken.bin");
  fwtest::WriteFileBytes(large, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 16 * 1024 * 1024, 10));
  FILE* untaken = OpenFileWide(large.c_str(), "rb");
  EXPECT_EQ(ntwk.BurnFlash(untaken, p.Address(), ACL_IMAGE_CODE_ONLY), 0);
  fclose(untaken);
  EXPECT_TRUE(log.Contains(L"ERROR: the printer took no data for 1000 ms: the send ends.")) << Joined(log);
  p.Fault("split-reply:at=8,delay_ms=200");
  std::wstring bin = fwtest::TempPath(L"winsock-fault.bin");
  fwtest::WriteFileBytes(bin, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4000, 10));
  FILE* f = OpenFileWide(bin.c_str(), "rb");
  EXPECT_EQ(ntwk.BurnFlash(f, p.Address(), ACL_IMAGE_CODE_ONLY), 0);
  fclose(f);
  EXPECT_TRUE(log.Contains(L"Failed to receive the correct amount of data from Network."));
  p.ClearFaults();
  // Nothing listens on this address: refused at once.
  log.Clear();
  std::string idle = SimAddress(99);
  std::wstring idleWide(idle.begin(), idle.end());
  EXPECT_EQ(ntwk.ResetNtwkPrinter(idleWide.c_str()), 0);
  EXPECT_TRUE(log.Contains(L"Could not connect to the socket (gle=10061)"));
  EXPECT_EQ(ntwk.GetNtwkBuildInfo(idleWide.c_str(), nullptr, ACLCMD_GET_PRINTER_INFO), 0);
  EXPECT_TRUE(log.Contains(L"Could not connect to the socket... IP=" + idleWide));
}

// The product's settings: an unanswered query ends after the real 20000 ms.
TEST(NtwkWinsock, UnansweredQueryEndsAfterTwentySeconds) {
  WinsockPrinter p(6, NTWK_RECV_TIMEOUT_MS);
  REQUIRE_PRINTER(p);
  p.Fault("no-reply:cmd=version");
  NtwkSettings product;
  EXPECT_EQ(p.settings().receiveTimeoutMs, product.receiveTimeoutMs);
  FirmwareFileInfo info;
  info.fileType = BINTYPE_CODE_ONLY;
  std::string text;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(CFWDownloadNtwk().GetFWVersion(&info, p.Address(), &text), 0u);
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 19.5);
  EXPECT_LT(seconds, 25.0);
}
