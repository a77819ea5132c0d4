// The parallel transport against a scripted port: the version question and
// its read-only handle, every handle closed exactly once, the burn without an
// answer, the default-printer step, the opening's spooler restart.

#include "transport/prll_download.h"

#include <gtest/gtest.h>

#include <cerrno>

#include "host/file_io.h"
#include "host/text_utils.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/fake_device.h"
#include "support/fake_tcp_channel.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "transport/prll_device.h"

using namespace nettest;
using devtest::FakeDevice;

namespace {

// Handles count up from 1 in the order they are opened; `log` holds the calls.
class FakePort : public PrllDevice {
 public:
  FakePort() : m_previous(SetPrllDeviceForTesting(this)) {}
  ~FakePort() override { SetPrllDeviceForTesting(m_previous); }
  DeviceHandle OpenPort(uint32_t* error) override { return Open("open rw", error); }
  DeviceHandle OpenPortForReading(uint32_t* error) override { return Open("open r", error); }
  void ClosePort(DeviceHandle port) override {
    log.push_back("close " + std::to_string(reinterpret_cast<intptr_t>(port)));
  }
  int RundllPath(char* out, size_t outSize) override { return CopyText(out, outSize, "C:\\rundll32.exe") > 0; }
  int StartDefaultPrinter(const char* path, const wchar_t* model, uint32_t*) override {
    log.push_back(std::string(path) + " " + ToUtf8Static(model));
    if (startError) errno = startError;  // what a system call left behind
    return 1;
  }
  DeviceHandle Given() {
    uint32_t error;
    return OpenPort(&error);
  }

  bool refuse = false;
  int startError = 0;
  std::vector<std::string> log;

 private:
  DeviceHandle Open(const char* call, uint32_t* error) {
    log.push_back(call);
    *error = 5;
    return refuse ? DEVICE_NONE : devtest::Handle(++m_opened);
  }
  intptr_t m_opened = 0;
  PrllDevice* m_previous;
};

}  // namespace

TEST(PrllExchange, VersionQuestionIsAnsweredOnAReadOnlyHandle) {
  std::vector<uint8_t> reply = Response(0x0001, 1, Bytes("00000042"));
  struct Case {
    std::vector<std::pair<int, int>> writes;
    bool refuseRead;
    std::deque<devtest::Piece> replies;
    uint32_t version;
    std::vector<std::string> calls;
    std::wstring line;
  } cases[] = {
      {{},
       false,
       {devtest::Reply(reply)},
       42,
       {"open rw", "close 1", "open r", "close 2"},
       L"GetPrllFWVersion(): read 16 prll bytes"},
      {{{2, 5}},
       false,
       {},
       0,
       {"open rw", "close 1"},
       L"GetPrllFWVersion(): ReadData() Failed-> strlen g_aclCmd != nBytesRead ."},
      {{}, true, {}, 0, {"open rw", "close 1", "open r"}, L"GetPrllFWVersion() Failed to open PrllPort(gle=5)"},
      {{},
       false,
       {devtest::ReadError()},
       0,
       {"open rw", "close 1", "open r", "close 2"},
       L"GetPrllFWVersion(): read prll error"},
      {{},
       false,
       {devtest::Reply(Response(0x0001, 2))},
       0,
       {"open rw", "close 1", "open r", "close 2"},
       L"GetPrllFWVersion(): ReadData() ACLCMD_STATUS_SUCCESS Failed."},
  };
  for (Case& c : cases) {
    FakeClock clock;
    LogCapture log;
    FakeDevice dev;
    FakePort port;
    dev.writeResults = c.writes;
    dev.replies = c.replies;
    DeviceHandle given = port.Given();
    port.refuse = c.refuseRead;
    EXPECT_EQ(CFWDownloadPrll().GetPrllFWVersion(given), c.version);
    EXPECT_EQ(port.log, c.calls);
    EXPECT_TRUE(log.Contains(c.line)) << std::string(c.line.begin(), c.line.end());
  }
}

TEST(PrllExchange, VersionCheckClosesTheGivenHandleOnceAndReopensForRetries) {
  FakeClock clock;
  FakeDevice dev;  // never answers
  FakePort port;
  std::wstring path = fwtest::TempPath(L"prll-check.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 600, 5));
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadPrll().CheckFirmwareVersion(L"", L"", &info, port.Given(), path.c_str()), -1);
  const std::vector<std::string> question = {"close 1", "open r",  "close 2", "open rw", "close 3", "open r",
                                             "close 4", "open rw", "close 5", "open r",  "close 6"};
  EXPECT_EQ(std::vector<std::string>(port.log.begin() + 1, port.log.end()), question);

  // A file without a version never reaches the question; the handle is still closed.
  FakePort again;
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::Corrupt, 70000, 5));
  EXPECT_EQ(CFWDownloadPrll().CheckFirmwareVersion(L"", L"", &info, again.Given(), path.c_str()), -1);
  EXPECT_EQ(again.log, (std::vector<std::string>{"open rw", "close 1"}));
}

TEST(PrllExchange, DownloadMakesTheModelTheDefaultPrinterAndBurnsWithoutAnswer) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  FakePort port;
  std::wstring path = fwtest::TempPath(L"prll.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::FullPart, 70000, 9));
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadPrll().DownLoadFirmware(L"QV Office 9\" (copy 2)", &info, devtest::Handle(5), path.c_str()), 1);
  EXPECT_EQ(port.log, (std::vector<std::string>{"C:\\rundll32.exe QV Office 9\" (copy 2)"}));
  char argument[PRLL_COMMAND_MAX];
  BuildDefaultPrinterArgument("QV Office 9\" (copy 2)", argument, sizeof argument);
  EXPECT_STREQ(argument, "printui.dll,PrintUIEntry /y /n \"QV Office 9\"");
  // imageType 3 whatever the file; data in 512-byte writes; nothing is read.
  EXPECT_EQ(Hex({dev.written.begin() + 34, dev.written.begin() + 40}), "00ac000f0003");
  EXPECT_EQ(dev.writeSizes.size(), 3u + 137);
  EXPECT_EQ(dev.writeSizes.back(), 70000u - 136 * 512);
  EXPECT_EQ(dev.trace.back().find("read"), std::string::npos);
  EXPECT_TRUE(log.Contains(L"BurnFlashPrllPort(): Successful"));
  std::vector<uint32_t> sleeps = clock.Sleeps();
  EXPECT_EQ(std::vector<uint32_t>(sleeps.end() - 3, sleeps.end()), (std::vector<uint32_t>{3000, 60000, 5000}));
}

// A burn whose writes fell short or failed fails for every product, VESTRA
// included: the printer never had the whole image.
TEST(PrllExchange, FailedWritesFailTheBurnForEveryProduct) {
  std::wstring path = fwtest::TempPath(L"prll-short.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 900, 9));
  struct Case {
    std::pair<int, int> write;
    std::wstring line;
    std::vector<uint32_t> sizes;  // a PJL_UEL ends the job
  } cases[] = {
      {{1, 3}, L"Write  PJL_ENTERLANG failed", {9, 25, 9}},
      {{3, -1}, L"Write  data failed", {9, 25, 16, 512, 9}},
  };
  for (const Case& c : cases) {
    for (const wchar_t* product : {L"VESTRA", L"ELMBRIDGE"}) {
      SetProductName(product);
      LogCapture log;
      FakeDevice dev;
      dev.writeResults = {c.write};
      FILE* f = OpenFileWide(path.c_str(), "rb");
      EXPECT_EQ(CFWDownloadPrll().BurnFlashPrllPort(devtest::Handle(5), f), 0);
      fclose(f);
      EXPECT_EQ(log.Lines().back(), c.line);
      EXPECT_EQ(dev.writeSizes, c.sizes);
    }
  }
  SetProductName(L"");
  FakeClock clock;
  FakeDevice dev;
  dev.replies = {devtest::Reply({0x00, 0xAC})};
  EXPECT_EQ(CFWDownloadPrll().PrllFixNvRam(devtest::Handle(5)), ACL_DEVICE_FAILED);
  EXPECT_EQ(Hex({dev.written.begin() + 50, dev.written.begin() + 56}), "4b543438314d");  // mode 0: "KT481M"
}

TEST(PrllExchange, OpeningRestartsTheSpoolerWithItsPauses) {
  FakeClock clock;
  LogCapture log;
  FakePort port;
  EXPECT_EQ(CFWDownloadPrll().OpenPRLLDevice(), devtest::Handle(1));
  port.refuse = true;
  EXPECT_EQ(CFWDownloadPrll().OpenPRLLDevice(), DEVICE_NONE);
  EXPECT_EQ(log.Lines().back(), L"_DownLaodRequired Failed to open PrllPort(gle=5)");
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{2000, 1000, 2000, 2000, 1000, 2000}));
}

// A file the burn cannot take (over 4 GiB) fails it; the line tells no error
// left over from the steps before.
TEST(PrllExchange, UnreadableImageFailsWithoutAnOlderError) {
  FakeClock clock;
  LogCapture log;
  FakeDevice dev;
  FakePort port;
  port.startError = 5;
  const std::wstring path = fwtest::TempPath(L"prll-huge.bin");
  ASSERT_EQ(fwtest::WriteLargeBin(path, fwtest::BinKind::CodeOnly, 0x100000001ull, fwtest::BinTrailer()), 1);
  FirmwareFileInfo info;
  EXPECT_EQ(CFWDownloadPrll().DownLoadFirmware(L"QV", &info, devtest::Handle(5), path.c_str()), -1);
  RemoveFileWide(path.c_str());
  EXPECT_TRUE(dev.written.empty());
  std::wstring line;
  for (const std::wstring& l : log.Lines()) {
    if (l.find(L"Context: Read bin file failed") != std::wstring::npos) line = l;
  }
  EXPECT_NE(line.find(L"ERROR (gle=0,"), std::wstring::npos) << line;
}
