// Whole updates over the network path against the simulated printer: the
// printer and its port from fakes, the waits on the fake clock, the spooler
// control and the progress messages in the log's order.

#include <gtest/gtest.h>

#include "update/fw_download.h"
#include "fw_download_scene.h"
#include "ntwk_sim_fixture.h"
#include "support/fake_ports.h"

using fwdltest::ControllerScene;
using fwdltest::ImageFile;
using fwdltest::SimCommands;

namespace {
// A network printer on the simulator at `address` (port IP_<address>).
struct NtwkScene : ControllerScene {
  NtwkScene(const wchar_t* product, const std::string& address, std::vector<std::string> simArgs)
      : ControllerScene(product, L"IP_" + std::wstring(address.begin(), address.end())) {
    ports.AddXcvAnswer(L"IP_" + std::wstring(address.begin(), address.end()),
                       std::wstring(address.begin(), address.end()));
    simArgs.insert(simArgs.begin(), {"--version", "1000"});
    started = sim.Start(address, simArgs, 5000);
  }
  FakePortSource ports;
  nettest::SimPrinter sim;
  bool started = false;
};
}  // namespace

TEST(FWDownloadNtwk, OutcomesOfTheDownloadAndTheVerification) {
  // A pass without an answer: three version questions 1000 ms apart, then
  // the pass wait. A restarting printer takes `--restart-connections` and
  // closes them.
  const std::vector<uint32_t> kNoAnswerPass = {1000, 1000, 1000, FWDL_VERIFY_PASS_WAIT_MS};
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
      {"connection dropped in the middle of the data",
       L"QV5000",
       {"--fault", "close-mid-data:cmd=burn"},
       FWDL_FAILED,
       0},
      {"QV4410SERIES is not verified", L"QV4410SERIES", {"--restart-connections", "100000"}, FWDL_UPDATED, 0},
      {"corrupt file: nothing sent", L"QV5000", {}, FWDL_FAILED, 0, fwtest::BinKind::Corrupt},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NtwkScene scene(c.product, "127.62.0." + std::to_string(++n), c.simArgs);
    ASSERT_TRUE(scene.started) << scene.sim.error();

    EXPECT_EQ(CFWDownload(&scene.progress).FWDownload(L"QV", L"", ImageFile(c.kind).c_str(), nullptr), c.status);

    std::vector<std::wstring> steps = {
        L"[progress 15]",         L"CFWDownloadNtwk::CheckFirmwareVersion", L"[progress 50]",
        L"StopAService(Spooler)", L"CFWDownloadNtwk::DownLoadFirmware",     L"StartAService(Spooler)"};
    bool corrupt = c.kind == fwtest::BinKind::Corrupt;
    std::vector<uint32_t> waits;
    if (!corrupt) waits.push_back(30000);  // the printer programs its flash
    if (c.passes > 0) waits.push_back(FWDL_RESTART_WAIT_MS);
    for (int pass = 0; pass < c.passes; ++pass) {
      steps.push_back(L"check firmwareVersion idx " + std::to_wstring(pass));
      steps.push_back(L"CFWDownloadNtwk::CheckFirmwareVersion");
      bool answered = c.passes < FWDL_VERIFY_PASSES && pass == c.passes - 1;
      if (!answered) waits.insert(waits.end(), kNoAnswerPass.begin(), kNoAnswerPass.end());
    }
    EXPECT_EQ(
        scene.LinesStarting({L"[progress", L"CFWDownloadNtwk::CheckFirmwareVersion", L"StopAService(",
                             L"StartAService(", L"CFWDownloadNtwk::DownLoadFirmware", L"check firmwareVersion idx"}),
        steps);
    EXPECT_EQ(scene.clock.Sleeps(), waits);
    if (corrupt) {
      EXPECT_TRUE(scene.log.Contains(L"ERROR: the firmware file is corrupt, nothing is sent."));
      EXPECT_EQ(SimCommands(scene.sim.sim()), (std::vector<std::string>{"GET_PRINTER_INFO"}));
    }
  }
}

TEST(FWDownloadNtwk, VestraGetsTheNvramFixAndARestartBeforeTheDownload) {
  NtwkScene scene(L"VESTRA 2", "127.62.7.1", {"--fault", "no-restart"});
  ASSERT_TRUE(scene.started) << scene.sim.error();

  EXPECT_EQ(CFWDownload(&scene.progress).FWDownload(L"QV", nullptr, ImageFile().c_str(), L""), FWDL_UPDATED);

  // The reset is sent without waiting for an answer: let its connection be served.
  ASSERT_TRUE(scene.sim.sim().WaitForEvents("command", 5, 5000));
  EXPECT_EQ(SimCommands(scene.sim.sim()),
            (std::vector<std::string>{"GET_PRINTER_INFO", "GET_VERSION", "WRITE_NVRAM", "RESET", "BURN_FLASH"}));
  EXPECT_EQ(PrinterSim::Num(SimCommands(scene.sim.sim(), "WRITE_NVRAM")[0], "mode"), 1);
  // NVRAM answer pause, the restart, the burn; no verification.
  EXPECT_EQ(scene.clock.Sleeps(), (std::vector<uint32_t>{5000, FWDL_NTWK_VESTRA_RESET_WAIT_MS, 30000}));
}

TEST(FWDownloadNtwk, ModelAndPanelFieldsFromThePrinter) {
  NtwkScene scene(L"QV5000", "127.62.2.1",
                  {"--printer-info", "CMD:ACL;MDL:QV Caf\\xc3\\xa9 5000;", "--build-info", "PANEL:EN-GB;"});
  ASSERT_TRUE(scene.started) << scene.sim.error();
  CFWDownload controller;
  wchar_t name[FWDL_NAME_MAX] = L"unchanged";
  EXPECT_EQ(controller.GetFwPrinterName(L"QV", name), 1);
  EXPECT_STREQ(name, L"QV Caf\u00e9 5000");
  EXPECT_EQ(controller.GetFwBuildName(L"QV", name), 1);
  EXPECT_STREQ(name, L"EN-GB");

  ASSERT_TRUE(scene.sim.sim().SetFaults({"status:value=2,cmd=info"}));
  EXPECT_EQ(controller.GetFwPrinterName(L"QV", name), 0);
  EXPECT_STREQ(name, L"EN-GB");
  EXPECT_EQ(controller.GetFwPrinterName(L"Not Installed", name), 0);
}

// The firmware file changes under the program between the choice and the
// burn (an administrator copies a new release over it, a copy is still being
// written): whatever was not checked is not sent, and no success is reported.
// KORM is not verified after the burn, so a partial image sent would end as
// success.
TEST(FWDownloadNtwk, AFileThatChangedOrShrankIsNotSent) {
  const std::vector<uint8_t> release = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 64 * 1024, 1100);
  const std::vector<uint8_t> cut(release.begin(), release.begin() + 40000);
  const std::vector<uint8_t> other = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 64 * 1024, 1200);
  struct Case {
    const char* name;
    bool beforeTheChoice;  // else after the version check (at progress 50)
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"cut short before the choice", true, cut},
      {"cut short after the check", false, cut},
      {"emptied after the check", false, {}},
      {"another release after the check", false, other},
      {"another build of the same release after the check", false,
       fwtest::BuildBin(fwtest::BinKind::CodeOnly, 48 * 1024, 1100)},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NtwkScene scene(L"KORM", "127.62.6." + std::to_string(++n), {"--restart-ms", "0"});
    ASSERT_TRUE(scene.started) << scene.sim.error();
    static std::wstring path;
    static const std::vector<uint8_t>* change;
    path = fwtest::TempPath(L"changing.bin");
    change = &c.bytes;
    fwtest::WriteFileBytes(path, c.beforeTheChoice ? c.bytes : release);
    scene.progress.SetListener([](const UpdateProgress& p, UpdateProgressEvent what) {
      if (what == UpdateProgressEvent::Milestone && p.Percent() == 50) fwtest::WriteFileBytes(path, *change);
    });

    EXPECT_EQ(CFWDownload(&scene.progress).FWDownload(L"QV", L"", path.c_str(), L""), FWDL_FAILED);

    EXPECT_TRUE(SimCommands(scene.sim.sim(), "BURN_FLASH").empty());
  }
}
