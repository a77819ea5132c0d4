// Every fault of the simulated printer against every network operation: the
// result and log line the transport must give, never a success that did not
// happen, and no wait beyond the receive (or send) time-outs.

#include <gtest/gtest.h>

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include "firmware/versions.h"
#include "ntwk_sim_fixture.h"
#include "support/fake_clock.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "host/file_io.h"

using nettest::SimPrinter;

namespace {

enum Op { VERSION, COMPVER, INFO, BUILD, BURN, SPI, NAND, RESET, NVRAM, RESET_NOREPLY, OP_COUNT };
const char* const kOpNames[OP_COUNT] = {"GetFWVersion",  "GetFWVersion(NAND)", "GetNtwkBuildInfo(printer)",
                                        "GetNtwkBuildInfo(build)", "BurnFlash", "BurnSpiFlash", "BurnNandFlash",
                                        "Reset", "FixNvRam", "ResetNtwkPrinter"};

constexpr uint32_t kTimeoutMs = 1000;
const wchar_t kAddr[] = L"127.60.2.1";

// Outcome the transport must report: 1 success, 0 failure, 2 either (only
// where the printer's behaviour cannot be seen, like a reset without reply).
// `lines`: one of them must be logged; "~text" is a part of a line, "$text"
// must be the last line; empty: no particular line.
struct Expect {
  int ok;
  std::vector<std::wstring> lines;
};

Expect Ok() { return {1, {}}; }
Expect Fail(std::vector<std::wstring> lines = {}) { return {0, std::move(lines)}; }

const std::wstring kVersionWait = L"$GetNtwkPrinterFWVer(): Getting fw version...";
const std::wstring kInfoWait = L"$GetNtwkFWBuildInfo(): Getting Build info ...";

struct FaultRow {
  const char* fault;  // "" for none
  std::map<Op, Expect> expect;
  bool largeImage = false;  // the image and SPI burns send more than the sockets buffer
};

std::vector<FaultRow> Matrix() {
  std::vector<FaultRow> rows;
  auto allOk = [] {
    std::map<Op, Expect> m;
    for (int op = 0; op < OP_COUNT; ++op) m[static_cast<Op>(op)] = Ok();
    return m;
  };
  // Replies that never come, or come wrong: every answered operation fails.
  auto replyFault = [&](const char* fault, const std::wstring& version, const std::wstring& compver,
                        const std::vector<std::wstring>& burn, const std::vector<std::wstring>& spi,
                        const std::vector<std::wstring>& nand, const std::wstring& info) {
    FaultRow r{fault, allOk()};
    r.expect[VERSION] = Fail({version});
    r.expect[COMPVER] = Fail({compver});
    r.expect[INFO] = Fail({info});
    r.expect[BUILD] = Fail({info});
    r.expect[BURN] = Fail(burn);
    r.expect[SPI] = Fail(spi);
    r.expect[NAND] = Fail(nand);
    r.expect[RESET] = Fail({kInfoWait});
    r.expect[NVRAM] = Fail();
    return r;
  };

  rows.push_back({"", allOk()});
  rows.push_back(replyFault("no-reply", L"~Context: Failed to get Firmware Version...",
                            L"~Context: Failed to get Firmware Version...",
                            {L"Could not recv acl response from the socket."},
                            {L"Could not recv acl response from the socket."},
                            {L"Could not recv acl response from the socket..."}, L"$Failed to get Firmware Version..."));
  rows.push_back(replyFault("status:value=2", L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.",
                            L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed.",
                            {L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."},
                            {L"GetFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."},
                            {L"Failed to receive correct ACLCMD_STATUS_SUCCESS from Network."}, kInfoWait));
  rows.push_back(replyFault("wrong-cmdid", L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed.",
                            L"GetFWVersion(): ReadData() ACLCMD_GET_COMP_VERSION Failed.",
                            {L"GetFWVersion(): ReadData() ACLCMD_GET_VERSION Failed."},
                            {L"GetFWVersion(): ReadData() ACLCMD_WRITE_SPIMEM Failed."},
                            {L"Failed to receive correct ACLCMD_BURN_FLASH from Network."}, kInfoWait));
  rows.push_back(replyFault("wrong-prefix", L"GetFWVersion(): ReadData() ACL_PREFIX Failed.",
                            L"GetFWVersion(): ReadData() ACL_PREFIX Failed.",
                            {L"GetFWVersion(): ReadData() ACL_PREFIX Failed."},
                            {L"GetFWVersion(): ReadData() ACL_PREFIX Failed."},
                            {L"Failed to receive correct ACL_PREFIX from Network."}, kInfoWait));
  // A connection closed while the data is still flowing fails either the send
  // or the receive, depending on how much the sockets had buffered.
  const std::vector<std::wstring> imageLost = {L"Could not send bin file to the socket.",
                                               L"Could not recv acl response from the socket.",
                                               L"Failed to receive the correct amount of data from Network."};
  const std::vector<std::wstring> nandLost = {L"Could not send bin file to the socket...",
                                              L"Could not recv acl response from the socket...",
                                              L"Failed to receive data from Network."};
  rows.push_back(replyFault("close-mid-data", kVersionWait, kVersionWait, imageLost, imageLost, nandLost, kInfoWait));
  rows.back().expect[RESET_NOREPLY] = Ok();
  const std::vector<std::wstring> imageNoAnswer = {L"Could not recv acl response from the socket.",
                                                   L"Failed to receive the correct amount of data from Network."};
  const std::vector<std::wstring> nandNoAnswer = {L"Could not recv acl response from the socket...",
                                                  L"Failed to receive data from Network."};
  rows.push_back(
      replyFault("close-before-reply", kVersionWait, kVersionWait, imageNoAnswer, imageNoAnswer, nandNoAnswer, kInfoWait));
  // One receive takes the reply; a reply in two pieces is a short one.
  const std::vector<std::wstring> imageShort = {L"Failed to receive the correct amount of data from Network."};
  const std::vector<std::wstring> nandShort = {L"Failed to receive data from Network."};
  rows.push_back(replyFault("split-reply:at=8,delay_ms=200", kVersionWait, kVersionWait, imageShort, imageShort,
                            nandShort, kInfoWait));
  rows.push_back(replyFault("short-reply:at=10", kVersionWait, kVersionWait, imageShort, imageShort, nandShort, kInfoWait));
  rows.push_back({"slow:delay_ms=150", allOk()});
  // Slower than the receive time-out: as if it never answered.
  rows.push_back(replyFault("slow:delay_ms=1600", L"~Context: Failed to get Firmware Version...",
                            L"~Context: Failed to get Firmware Version...",
                            {L"Could not recv acl response from the socket."},
                            {L"Could not recv acl response from the socket."},
                            {L"Could not recv acl response from the socket..."}, L"$Failed to get Firmware Version..."));

  FaultRow noText{"no-text", allOk()};
  noText.expect[COMPVER] = Fail({L"$GetFWVersion(): Get package versions."});
  noText.expect[INFO] = Fail({kInfoWait});
  noText.expect[BUILD] = Fail({kInfoWait});
  rows.push_back(noText);
  rows.push_back({"split-text:delay_ms=200", allOk()});  // the first segment is the text
  rows.push_back({"text-length:value=5000", allOk()});   // the network ignores the announced length
  rows.push_back({"keep-old-version", allOk()});

  FaultRow acceptClose{"accept-close", {}};
  for (int op = 0; op < OP_COUNT; ++op) acceptClose.expect[static_cast<Op>(op)] = Fail();
  acceptClose.expect[RESET_NOREPLY] = {2, {}};
  rows.push_back(acceptClose);

  // A printer that takes the connection and never reads: the queries wait for
  // their answer, a burn larger than the buffers for room to send.
  const std::wstring notTaken = L"ERROR: the printer took no data for 1000 ms: the send ends.";
  rows.push_back(replyFault("accept-no-read", L"~Context: Failed to get Firmware Version...",
                            L"~Context: Failed to get Firmware Version...", {notTaken}, {notTaken},
                            {L"Could not recv acl response from the socket..."}, L"$Failed to get Firmware Version..."));
  rows.back().largeImage = true;

  FaultRow refuse{"refuse", {}};
  refuse.expect[VERSION] = Fail({L"$Could not connect to the socket..."});
  refuse.expect[COMPVER] = Fail({L"$Could not connect to the socket..."});
  refuse.expect[INFO] = Fail({L"$Could not connect to the socket... IP=127.60.2.1"});
  refuse.expect[BUILD] = Fail({L"$Could not connect to the socket... IP=127.60.2.1"});
  refuse.expect[BURN] = Fail({L"$Failed to connect to socket"});
  refuse.expect[SPI] = Fail({L"$Failed to connect to socket"});
  refuse.expect[NAND] = Fail({L"$Could not send PJL_UEL to the socket..."});  // its connect is not tested
  refuse.expect[RESET] = Fail({L"$Could not connect to the socket... IP=127.60.2.1"});
  refuse.expect[NVRAM] = Fail();
  refuse.expect[RESET_NOREPLY] = Fail({L"~Could not connect to the socket (gle="});
  rows.push_back(refuse);
  return rows;
}

bool LineSeen(const LogCapture& log, const std::wstring& want) {
  std::vector<std::wstring> lines = log.Lines();
  if (want[0] == L'~') return log.ContainsPart(want.substr(1));
  if (want[0] == L'$') return !lines.empty() && lines.back() == want.substr(1);
  return log.Contains(want);
}

class NtwkFaultMatrix : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    printer_ = new SimPrinter();
    ASSERT_TRUE(printer_->Start("127.60.2.1", {"--restart-ms", "50", "--quiet"}, kTimeoutMs)) << printer_->error();
    image_ = new std::wstring(fwtest::TempPath(L"matrix.bin"));
    fwtest::WriteFileBytes(*image_, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 256 * 1024, 1500));
    large_ = new std::wstring(fwtest::TempPath(L"matrix-large.bin"));
    fwtest::WriteFileBytes(*large_, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 16 * 1024 * 1024, 1500));
    nand_ = new std::wstring(fwtest::TempPath(L"matrix.pkg"));
    fwtest::NandFileLayout fault;
    fault.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(200).Target("QV1"));
    fault.packages.push_back(fwtest::NandPackageLayout().Type(COMP_BINARY).Version(200).Target("QV1"));
    fwtest::WriteFileBytes(*nand_, fwtest::BuildNand(fault));
  }
  static void TearDownTestSuite() {
    delete printer_;
    delete image_;
    delete large_;
    delete nand_;
  }

  // Runs one operation; true when it reported success.
  static bool Run(Op op, bool largeImage) {
    CFWDownloadNtwk ntwk;
    FirmwareFileInfo info;
    std::string text;
    char buffer[ACL_TEXT_BUFFER_SIZE] = {};
    switch (op) {
      case VERSION: info.fileType = BINTYPE_CODE_ONLY; return ntwk.GetFWVersion(&info, kAddr, &text) != 0;
      case COMPVER: info.fileType = BINTYPE_NAND_PKG; return ntwk.GetFWVersion(&info, kAddr, &text) == 9999;
      case INFO: return ntwk.GetNtwkBuildInfo(kAddr, buffer, ACLCMD_GET_PRINTER_INFO) == 1;
      case BUILD: return ntwk.GetNtwkBuildInfo(kAddr, buffer, ACLCMD_GET_BUILD_INFO) == 1;
      case BURN:
      case SPI: {
        FILE* f = OpenFileWide((largeImage ? large_ : image_)->c_str(), "rb");
        int ok = op == BURN ? ntwk.BurnFlash(f, kAddr, ACL_IMAGE_CODE_ONLY) : ntwk.BurnSpiFlash(f, kAddr);
        fclose(f);
        return ok == 1;
      }
      case NAND: {
        FILE* f = OpenFileWide(nand_->c_str(), "rb");
        info.fileType = BINTYPE_NAND_PKG;
        ParseVersionString(&info.components, "print = 100\r\nbinary = 300\r\n");
        int ok = ntwk.BurnNandFlash(kAddr, f, ACL_IMAGE_NAND_PKG, L"", L"", &info);
        fclose(f);
        return ok == 1;
      }
      case RESET: return ntwk.Reset(kAddr) == 1;
      case NVRAM: return ntwk.FixNvRam(kAddr) == 1;
      case RESET_NOREPLY: return ntwk.ResetNtwkPrinter(kAddr) == 1;
      default: return false;
    }
  }

  static SimPrinter* printer_;
  static std::wstring* image_;
  static std::wstring* large_;
  static std::wstring* nand_;
};

SimPrinter* NtwkFaultMatrix::printer_ = nullptr;
std::wstring* NtwkFaultMatrix::image_ = nullptr;
std::wstring* NtwkFaultMatrix::large_ = nullptr;
std::wstring* NtwkFaultMatrix::nand_ = nullptr;

TEST_F(NtwkFaultMatrix, EveryFaultAgainstEveryOperation) {
  FakeClock clock;  // the mandated pauses are not what is tested here
  for (const FaultRow& row : Matrix()) {
    for (int o = 0; o < OP_COUNT; ++o) {
      Op op = static_cast<Op>(o);
      const Expect& want = row.expect.at(op);
      SCOPED_TRACE(std::string("fault '") + row.fault + "' on " + kOpNames[op]);
      ASSERT_TRUE(printer_->sim().SetFaults({}));
      ASSERT_TRUE(printer_->sim().WaitUntilUp());
      if (*row.fault) {
        ASSERT_TRUE(printer_->sim().SetFaults({row.fault}));
      }
      LogCapture log;
      auto start = std::chrono::steady_clock::now();
      bool ok = Run(op, row.largeImage);
      auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      if (want.ok != 2) {
        EXPECT_EQ(ok, want.ok == 1);
      }
      if (!want.lines.empty()) {
        bool seen = false;
        for (const std::wstring& l : want.lines) {
          seen = seen || LineSeen(log, l);
        }
        std::wstring all;
        for (const std::wstring& l : log.Lines()) all += L"\n  " + l;
        EXPECT_TRUE(seen) << "log:" << std::string(all.begin(), all.end());
      }
      if (op == NVRAM) {
        EXPECT_TRUE(log.Lines().empty());
      }
      // At most one receive time-out per operation (plus the sim's own delays).
      EXPECT_LT(ms, static_cast<long long>(kTimeoutMs) + 1500);
    }
  }
}

}  // namespace
