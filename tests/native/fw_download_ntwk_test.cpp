// One whole update over the network path against the simulated printer: the
// installed printer and its port from fakes, the waits on the fake clock, the
// spooler control and the progress messages in the log's order.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/fw_download.h"
#include "app/main_window_link.h"
#include "host/logger.h"
#include "ntwk_sim_fixture.h"
#include "printer/product_name.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"

using nettest::SimPrinter;

namespace {

// An installed network printer on the simulator at `address`, a product name,
// the fake clock, and the main window's messages written into the log so that
// their order against the controller's steps shows in one list.
struct NtwkScene {
  NtwkScene(const wchar_t* product, const std::wstring& address)
      : spooler({{L"QV Net", L"IP_" + address, L"QV Driver", L"", 0}}) {
    SetProductName(product);
    ports.AddXcvAnswer(L"IP_" + address, address);
    g_hMainWnd = this;
    previousSender = SetMainWindowSenderForTesting([](void*, unsigned message, uintptr_t, intptr_t lParam) {
      Logger::Instance()->Write(L"[message %#x %d]", message, static_cast<int>(lParam));
    });
  }
  ~NtwkScene() {
    SetMainWindowSenderForTesting(previousSender);
    g_hMainWnd = nullptr;
    SetProductName(L"");
  }

  // The log lines that tell the steps of the path apart, in their order.
  std::vector<std::wstring> Steps() const {
    static const wchar_t* const kSteps[] = {
        L"[message",       L"CFWDownloadNtwk::CheckFirmwareVersion", L"StopAService(",
        L"StartAService(", L"CFWDownloadNtwk::DownLoadFirmware",     L"check firmwareVersion idx"};
    std::vector<std::wstring> out;
    for (const std::wstring& line : log.Lines()) {
      for (const wchar_t* step : kSteps) {
        if (line.compare(0, wcslen(step), step) == 0) out.push_back(line);
      }
    }
    return out;
  }

  FakeClock clock;
  LogCapture log;
  FakeSpooler spooler;
  FakePortSource ports;
  MainWindowSender previousSender;
};

std::vector<std::string> CommandNames(PrinterSim& sim) {
  std::vector<std::string> out;
  for (const std::string& e : sim.Events("command")) out.push_back(PrinterSim::Str(e, "cmd"));
  return out;
}

std::wstring ImageFile(uint32_t version, fwtest::BinKind kind = fwtest::BinKind::CodeOnly) {
  std::wstring path = fwtest::TempPath(L"controller.bin");
  fwtest::WriteFileBytes(path, fwtest::BuildBin(kind, 4096, version));
  return path;
}

}  // namespace

TEST(FWDownloadNtwk, OutcomesOfTheDownloadAndTheVerification) {
  // The version check before the burn and each verification pass query the
  // printer up to three times, 1000 ms apart; a restarting printer takes the
  // connections of `--restart-connections` and closes them.
  const std::vector<uint32_t> kNoAnswerPass = {1000, 1000, 1000, 1000};  // query pauses, then the pass wait
  struct Case {
    const char* name;
    const wchar_t* product;
    std::vector<std::string> simArgs;
    int status;
    int passes;  // verification passes logged
    fwtest::BinKind kind = fwtest::BinKind::CodeOnly;
  } cases[] = {
      {"verified at the second pass", L"QV5000", {"--restart-connections", "3"}, FWDL_UPDATED, 2},
      {"printer keeps the old version",
       L"QV5000",
       {"--restart-connections", "3", "--fault", "keep-old-version"},
       FWDL_FAILED,
       2},
      {"printer never comes back", L"QV5000", {"--restart-connections", "100000"}, FWDL_FAILED, 60},
      {"burn refused: no verification", L"QV5000", {"--fault", "status:value=2,cmd=burn"}, FWDL_FAILED, 0},
      {"QV4410SERIES is not verified", L"QV4410SERIES", {"--restart-connections", "100000"}, FWDL_UPDATED, 0},
      {"corrupt file: nothing sent", L"QV5000", {}, FWDL_FAILED, 0, fwtest::BinKind::Corrupt},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::wstring address = L"127.62.0." + std::to_wstring(++n);
    NtwkScene scene(c.product, address);
    SimPrinter p;
    std::vector<std::string> args = {"--version", "1000"};
    args.insert(args.end(), c.simArgs.begin(), c.simArgs.end());
    ASSERT_TRUE(p.Start(std::string(address.begin(), address.end()), args, 5000)) << p.error();

    EXPECT_EQ(CFWDownload().FWDownload(L"QV Net", L"", ImageFile(1100, c.kind).c_str(), nullptr), c.status);

    std::vector<std::wstring> steps = {
        L"[message 0x464 15]",    L"CFWDownloadNtwk::CheckFirmwareVersion", L"[message 0x464 50]",
        L"StopAService(Spooler)", L"CFWDownloadNtwk::DownLoadFirmware",     L"StartAService(Spooler)"};
    std::vector<uint32_t> waits;
    bool corrupt = c.kind == fwtest::BinKind::Corrupt;
    if (!corrupt) waits.push_back(30000);  // the printer programs its flash (SPI burn alike)
    if (c.passes > 0) waits.push_back(FWDL_RESTART_WAIT_MS);
    for (int pass = 0; pass < c.passes; ++pass) {
      steps.push_back(L"check firmwareVersion idx " + std::to_wstring(pass));
      steps.push_back(L"CFWDownloadNtwk::CheckFirmwareVersion");
      bool answered = c.passes < FWDL_VERIFY_PASSES && pass == c.passes - 1;
      if (!answered) waits.insert(waits.end(), kNoAnswerPass.begin(), kNoAnswerPass.end());
    }
    EXPECT_EQ(scene.Steps(), steps);
    EXPECT_EQ(scene.clock.Sleeps(), waits);
    if (corrupt) {
      EXPECT_TRUE(scene.log.Contains(L"ERROR: the firmware file is corrupt, nothing is sent."));
      EXPECT_EQ(CommandNames(p.sim()), (std::vector<std::string>{"GET_PRINTER_INFO"}));
    }
  }
}

TEST(FWDownloadNtwk, VestraGetsTheNvramFixAndARestartBeforeTheDownload) {
  NtwkScene scene(L"VESTRA 2", L"127.62.1.1");
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.62.1.1", {"--version", "1000", "--fault", "no-restart"}, 5000)) << p.error();

  EXPECT_EQ(CFWDownload().FWDownload(L"QV Net", nullptr, ImageFile(1100).c_str(), L""), FWDL_UPDATED);

  EXPECT_EQ(CommandNames(p.sim()),
            (std::vector<std::string>{"GET_PRINTER_INFO", "GET_VERSION", "WRITE_NVRAM", "RESET", "BURN_FLASH"}));
  std::vector<std::string> nvram;
  for (const std::string& e : p.sim().Events("command")) {
    if (PrinterSim::Str(e, "cmd") == "WRITE_NVRAM") nvram.push_back(e);
  }
  ASSERT_EQ(nvram.size(), 1u);
  EXPECT_EQ(PrinterSim::Num(nvram[0], "mode"), 1);
  // NVRAM answer pause, the restart, the burn; no verification.
  EXPECT_EQ(scene.clock.Sleeps(), (std::vector<uint32_t>{5000, FWDL_NTWK_VESTRA_RESET_WAIT_MS, 30000}));
}

TEST(FWDownloadNtwk, ModelAndPanelFieldsFromThePrinter) {
  NtwkScene scene(L"QV5000", L"127.62.2.1");
  SimPrinter p;
  ASSERT_TRUE(p.Start("127.62.2.1",
                      {"--printer-info", "CMD:ACL;MDL:QV Caf\\xc3\\xa9 5000;", "--build-info", "PANEL:EN-GB;"}, 5000))
      << p.error();
  CFWDownload controller;
  wchar_t name[FWDL_NAME_MAX] = L"unchanged";
  EXPECT_EQ(controller.GetFwPrinterName(L"QV Net", name), 1);
  EXPECT_STREQ(name, L"QV Caf\u00e9 5000");
  EXPECT_EQ(controller.GetFwBuildName(L"QV Net", name), 1);
  EXPECT_STREQ(name, L"EN-GB");

  ASSERT_TRUE(p.sim().SetFaults({"status:value=2,cmd=info"}));
  EXPECT_EQ(controller.GetFwPrinterName(L"QV Net", name), 0);
  EXPECT_STREQ(name, L"EN-GB");
  EXPECT_EQ(controller.GetFwPrinterName(L"Not Installed", name), 0);
}
