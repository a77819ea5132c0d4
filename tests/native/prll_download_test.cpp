// The parallel transport against a scripted port: the version question and
// its reopening for reading, handles closed exactly once, the burn without an
// answer, the default-printer step.

#include "transport/prll_download.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "firmware/versions.h"
#include "host/file_io.h"
#include "host/text_utils.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/fake_device.h"
#include "support/fake_tcp_channel.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "transport/prll_device.h"

using devtest::FakeDevice;
using devtest::Handle;
using nettest::Bytes;
using nettest::Response;

namespace {

// Handles count up from 1 in the order they are opened.
class FakePort : public PrllDevice {
 public:
  FakePort() : m_previous(SetPrllDeviceForTesting(this)) {}
  ~FakePort() override { SetPrllDeviceForTesting(m_previous); }

  DeviceHandle OpenPort(uint32_t* error) override { return Open("rw", error); }
  DeviceHandle OpenPortForReading(uint32_t* error) override { return Open("r", error); }
  void ClosePort(DeviceHandle port) override {
    log.push_back("close " + std::to_string(reinterpret_cast<intptr_t>(port)));
  }
  int RundllPath(char* out, size_t outSize) override {
    snprintf(out, outSize, "C:\\windows\\system32\\rundll32.exe");
    return 1;
  }
  int StartDefaultPrinter(const char* rundllPath, const wchar_t* modelName, uint32_t*) override {
    started.push_back(std::string(rundllPath) + " " + std::string(ToUtf8Static(modelName)));
    return 1;
  }
  // A handle as the caller of the transport gets it.
  DeviceHandle Given() {
    uint32_t error = 0;
    return OpenPort(&error);
  }
  // How often `handle` was closed.
  long Closed(intptr_t handle) const { return std::count(log.begin(), log.end(), "close " + std::to_string(handle)); }

  bool refuse = false;
  std::vector<std::string> log;
  std::vector<std::string> started;

 private:
  DeviceHandle Open(const char* mode, uint32_t* error) {
    log.push_back(std::string("open ") + mode);
    *error = 5;
    return refuse ? DEVICE_NONE : Handle(++m_opened);
  }
  intptr_t m_opened = 0;
  PrllDevice* m_previous;
};

struct TempFile {
  std::wstring path;
  TempFile(const std::wstring& name, const std::vector<uint8_t>& bytes) : path(fwtest::TempPath(name)) {
    fwtest::WriteFileBytes(path, bytes);
  }
};

// Reads of nothing (not a wait that ran out) after 15 bytes, until the 10 reads are used up.
std::deque<devtest::Piece> TenAndFive(const std::vector<uint8_t>& reply) {
  std::deque<devtest::Piece> pieces(10, devtest::Reply({}));
  pieces[0] = devtest::Reply({reply.begin(), reply.begin() + 10});
  pieces[1] = devtest::Reply({reply.begin() + 10, reply.begin() + 15});
  return pieces;
}

}  // namespace

TEST(PrllExchange, VersionQuestionIsAnsweredOnASecondReadOnlyHandle) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  FakePort port;
  std::vector<uint8_t> reply = Response(0x0001, 1, Bytes("00000042"));
  dev.replies = {devtest::Reply({reply.begin(), reply.begin() + 10}),
                 devtest::Reply({reply.begin() + 10, reply.end()})};
  DeviceHandle given = port.Given();
  EXPECT_EQ(CFWDownloadPrll().GetPrllFWVersion(given), 42u);
  EXPECT_EQ(dev.trace, (std::vector<std::string>{"h1 write 9 = 9", "h1 write 25 = 25", "h1 write 16 = 16",
                                                 "h1 write 9 = 9", "h2 read 16 3000 = 10", "h2 read 6 3000 = 6"}));
  EXPECT_EQ(port.log, (std::vector<std::string>{"open rw", "close 1", "open r", "close 2"}));
  EXPECT_TRUE(log.Contains(L"GetPrllFWVersion(): read 10 prll bytes"));

  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> writes;
    bool refuseRead;
    std::deque<devtest::Piece> replies;
    std::wstring line;
  } cases[] = {
      {"command short",
       {{2, 5}},
       false,
       {},
       L"GetPrllFWVersion(): ReadData() Failed-> strlen g_aclCmd != nBytesRead ."},
      {"read handle refused", {}, true, {}, L"GetPrllFWVersion() Failed to open PrllPort(gle=5)"},
      {"read error", {}, false, {devtest::ReadError()}, L"GetPrllFWVersion(): read prll error"},
      {"10 + 5 bytes, then nothing",
       {},
       false,
       TenAndFive(reply),
       L"GetPrllFWVersion(): ReadData() Failed, numBytesRead=15"},
      {"status 2",
       {},
       false,
       {devtest::Reply(Response(0x0001, 2))},
       L"GetPrllFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."},
  };
  for (Case& c : cases) {
    LogCapture caseLog;
    FakeDevice d;
    FakePort p;
    d.writeResults = c.writes;
    d.replies = c.replies;
    DeviceHandle h = p.Given();
    p.refuse = c.refuseRead;
    EXPECT_EQ(CFWDownloadPrll().GetPrllFWVersion(h), 0u) << c.what;
    EXPECT_EQ(caseLog.Lines().back().rfind(c.line, 0), 0u) << c.what;
    EXPECT_EQ(p.Closed(1), 1) << c.what;
    EXPECT_EQ(p.Closed(2), c.refuseRead || c.writes.size() ? 0 : 1) << c.what;
  }
}

TEST(PrllExchange, VersionCheckClosesTheGivenHandleOnceAndReopensForRetries) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;  // never answers
  FakePort port;
  TempFile file(L"prll-check.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 600, 5));
  FirmwareFileInfo info;
  DeviceHandle given = port.Given();
  EXPECT_EQ(CFWDownloadPrll().CheckFirmwareVersion(L"", L"", &info, given, file.path.c_str()), -1);
  EXPECT_EQ(port.Closed(1), 1);
  // Three questions: the given handle, then two opened for themselves; each
  // with its read-only handle, and every handle closed once.
  EXPECT_EQ(std::count(port.log.begin(), port.log.end(), "open rw"), 3);
  for (intptr_t h = 1; h <= 6; ++h) EXPECT_EQ(port.Closed(h), 1) << h;

  // A file without a version never reaches the question; the handle is still closed.
  FakePort again;
  TempFile bad(L"prll-noversion.bin", fwtest::BuildBin(fwtest::BinKind::Corrupt, 70000, 5));
  EXPECT_EQ(CFWDownloadPrll().CheckFirmwareVersion(L"", L"", &info, again.Given(), bad.path.c_str()), -1);
  EXPECT_EQ(again.log, (std::vector<std::string>{"open rw", "close 1"}));
}

TEST(PrllExchange, DownloadMakesTheModelTheDefaultPrinterAndBurnsWithoutAnswer) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  FakePort port;
  std::vector<uint8_t> image = fwtest::BuildBin(fwtest::BinKind::FullPart, 70000, 9);
  TempFile file(L"prll.bin", image);
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadPrll().DownLoadFirmware(L"QV Office 9\" (copy 2)", &info, Handle(5), file.path.c_str()), 1);
  EXPECT_EQ(port.started, (std::vector<std::string>{"C:\\windows\\system32\\rundll32.exe QV Office 9\" (copy 2)"}));
  char argument[PRLL_COMMAND_MAX];
  BuildDefaultPrinterArgument("QV Office 9\" (copy 2)", argument, sizeof argument);
  EXPECT_STREQ(argument, "printui.dll,PrintUIEntry /y /n \"QV Office 9\"");
  // imageType 3 whatever the file; data in 512-byte writes; nothing is read.
  EXPECT_EQ(nettest::Hex({dev.written.begin() + 34, dev.written.begin() + 40}), "00ac000f0003");
  EXPECT_EQ(dev.writeSizes.size(), 3u + (70000 + 511) / 512);
  EXPECT_EQ(dev.writeSizes.back(), 70000u % 512);
  EXPECT_TRUE(std::none_of(dev.trace.begin(), dev.trace.end(),
                           [](const std::string& t) { return t.find("read") != std::string::npos; }));
  EXPECT_TRUE(log.Contains(L"BurnFlashPrllPort(): Successful"));
  std::vector<uint32_t> sleeps = clock.Sleeps();
  EXPECT_EQ(std::vector<uint32_t>(sleeps.end() - 3, sleeps.end()), (std::vector<uint32_t>{3000, 60000, 5000}));
}

// A burn whose writes fell short fails for every product, VESTRA included.
TEST(PrllExchange, ShortWritesFailTheBurnAndTheOtherExchanges) {
  for (const wchar_t* product : {L"VESTRA", L"ELMBRIDGE"}) {
    SetProductName(product);
    FakeClock clock;
    LogCapture log;
    FakeDevice dev;
    dev.writeResults = {{1, 3}};
    TempFile file(L"prll-short.bin", fwtest::BuildBin(fwtest::BinKind::CodeOnly, 900, 9));
    FILE* f = OpenFileWide(file.path.c_str(), "rb");
    EXPECT_EQ(CFWDownloadPrll().BurnFlashPrllPort(Handle(5), f), 0);
    fclose(f);
    EXPECT_EQ(log.Lines().back(), L"Write  PJL_ENTERLANG failed");
    EXPECT_EQ(dev.writeSizes, (std::vector<uint32_t>{9, 25, 9}));  // a PJL_UEL ends the job
  }
  SetProductName(L"");
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  dev.replies = {devtest::Reply({0x00, 0xAC, 0xEC, 0x1D})};
  EXPECT_EQ(CFWDownloadPrll().PrllFixNvRam(Handle(5)), 325);
  EXPECT_EQ(nettest::Hex({dev.written.begin() + 50, dev.written.begin() + 56}), "4b543438314d");  // "KT481M"
  EXPECT_EQ(log.Lines().back(), L"Read  acl response failed");
  dev.writeResults = {{static_cast<int>(dev.writeSizes.size()) + 2, 0}};
  EXPECT_EQ(CFWDownloadPrll().ResetPrllPrinter(Handle(5)), 0);
}

TEST(PrllExchange, OpeningRestartsTheSpoolerWithItsPauses) {
  FakeClock clock;
  LogCapture log;
  FakePort port;
  EXPECT_EQ(CFWDownloadPrll().OpenPRLLDevice(), Handle(1));
  port.refuse = true;
  EXPECT_EQ(CFWDownloadPrll().OpenPRLLDevice(), DEVICE_NONE);
  EXPECT_EQ(log.Lines().back(), L"_DownLaodRequired Failed to open PrllPort(gle=5)");
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{2000, 1000, 2000, 2000, 1000, 2000}));
}
