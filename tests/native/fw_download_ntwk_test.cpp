// Whole updates over the network path against the simulated printer: the
// printer and its port from fakes, the waits on the fake clock, the spooler
// control and the progress messages in the log's order.

#include <gtest/gtest.h>

#include "firmware/versions.h"
#include "fw_download_scene.h"
#include "ntwk_sim_fixture.h"
#include "support/fake_ports.h"
#include "update/fw_download.h"
#include "update/update_worker.h"

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
    bool packageFile = false;  // one "print" package of version 100, which the simulator runs
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
      // Nothing to write is "current" only for a printer found current.
      {"package file, every package current", L"QV5000", {}, FWDL_UP_TO_DATE, 0, {}, true},
      {"package file, versions unreadable",
       L"QV5000",
       {"--fault", "status:value=2,cmd=compver"},
       FWDL_FAILED,
       0,
       {},
       true},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NtwkScene scene(c.product, "127.62.0." + std::to_string(++n), c.simArgs);
    ASSERT_TRUE(scene.started) << scene.sim.error();

    std::wstring file = ImageFile(c.kind);
    if (c.packageFile) {
      fwtest::NandFileLayout layout;
      layout.packages.push_back(fwtest::NandPackageLayout().Type(COMP_PRINT).Version(100));
      fwtest::WriteFileBytes(file, fwtest::BuildNand(layout));
    }
    EXPECT_EQ(CFWDownload(&scene.progress).FWDownload(L"QV", L"", file.c_str(), nullptr), c.status);

    std::vector<std::wstring> steps = {
        L"[progress 15]",         L"CFWDownloadNtwk::CheckFirmwareVersion", L"[progress 50]",
        L"StopAService(Spooler)", L"CFWDownloadNtwk::DownLoadFirmware",     L"StartAService(Spooler)"};
    bool corrupt = c.kind == fwtest::BinKind::Corrupt;
    std::vector<uint32_t> waits;
    // Three questions without an answer, a second apart.
    if (c.packageFile && c.status == FWDL_FAILED) waits.insert(waits.end(), 3, 1000);
    // The printer programs its flash: slept in seconds, as the status line counts them.
    if (!corrupt && !c.packageFile) waits.insert(waits.end(), 30, 1000);
    if (c.passes > 0) waits.insert(waits.end(), FWDL_RESTART_WAIT_MS / 1000, 1000);
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
    if (c.packageFile) {
      EXPECT_TRUE(SimCommands(scene.sim.sim(), "BURN_FLASH").empty());
    }
  }
}

TEST(FWDownloadNtwk, PhasesWithTheAmountSentAndTheSecondsWaited) {
  struct Seen {
    UpdatePhase phase;
    uint64_t sent = 0, total = 0;
    uint32_t seconds = 0;
    uint64_t sleptBefore = 0;  // the fake clock's total when the phase began
    int bytesEvents = 0;
  };
  using P = UpdatePhase;
  struct Case {
    const char* name;
    const wchar_t* product;
    std::vector<std::string> simArgs;
    std::vector<UpdatePhase> phases;
    uint32_t restartSeconds;  // waited in Restarting
  } cases[] = {
      {"verified",
       L"QV5000",
       {"--restart-connections", "3"},
       {P::ReadingVersion, P::Sending, P::Restarting, P::Verifying},
       30 + FWDL_RESTART_WAIT_MS / 1000},
      {"not verified by the product", L"QV4410SERIES", {}, {P::ReadingVersion, P::Sending, P::Restarting}, 30},
      {"burn refused",
       L"QV5000",
       {"--fault", "status:value=2,cmd=burn"},
       {P::ReadingVersion, P::Sending, P::Restarting},
       30},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    NtwkScene scene(c.product, "127.62.1." + std::to_string(++n), c.simArgs);
    ASSERT_TRUE(scene.started) << scene.sim.error();
    std::vector<Seen> seen;
    scene.progress.SetListener([&](const UpdateProgress& p, UpdateProgressEvent what) {
      const UpdateProgressState state = p.Snapshot();
      if (what == UpdateProgressEvent::Phase) seen.push_back({state.phase, 0, 0, 0, scene.clock.TotalSlept(), 0});
      if (seen.empty()) return;
      if (what == UpdateProgressEvent::Bytes) {
        EXPECT_GE(state.bytesSent, seen.back().sent);
        seen.back().sent = state.bytesSent;
        seen.back().total = state.bytesTotal;
        ++seen.back().bytesEvents;
      }
      if (what == UpdateProgressEvent::Waited) seen.back().seconds = state.secondsWaited;
    });
    // Several of the transport's writes.
    const std::wstring file = fwtest::TempPath(L"controller-large.bin");
    fwtest::WriteFileBytes(file, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 200 * 1024, 1100));
    const uint64_t size = fwtest::ReadFileBytes(file).size();

    CFWDownload(&scene.progress).FWDownload(L"QV", L"", file.c_str(), nullptr);

    std::vector<UpdatePhase> phases;
    for (const Seen& s : seen) phases.push_back(s.phase);
    ASSERT_EQ(phases, c.phases);
    const Seen& sending = seen[1];
    EXPECT_GE(sending.total, size);  // an SPI image carries its trailer
    EXPECT_LE(sending.total, size + 16);
    EXPECT_EQ(sending.sent, sending.total);
    EXPECT_GT(sending.bytesEvents, 1);  // the amount grows while the data goes out
    const uint64_t sleptUntilEnd = scene.clock.TotalSlept();
    for (size_t i = 0; i < seen.size(); ++i) {
      const uint64_t slept = (i + 1 < seen.size() ? seen[i + 1].sleptBefore : sleptUntilEnd) - seen[i].sleptBefore;
      if (seen[i].phase != P::Restarting) continue;
      EXPECT_EQ(seen[i].seconds, slept / 1000);
      EXPECT_EQ(seen[i].seconds, c.restartSeconds);
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
  // NVRAM answer pause, the restart, the burn in seconds; no verification.
  std::vector<uint32_t> waits = {5000, FWDL_NTWK_VESTRA_RESET_WAIT_MS};
  waits.insert(waits.end(), 30, 1000);
  EXPECT_EQ(scene.clock.Sleeps(), waits);
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
// success. The whole update runs, from the worker's choice of the file.
TEST(FWDownloadNtwk, AFileThatChangedOrShrankIsNotSent) {
  const std::vector<uint8_t> release = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 64 * 1024, 1100);
  const std::vector<uint8_t> cut(release.begin(), release.begin() + 40000);
  const std::vector<uint8_t> other = fwtest::BuildBin(fwtest::BinKind::CodeOnly, 64 * 1024, 1200);
  enum When { Never, BeforeTheChoice, AfterTheChoice, AfterTheCheck, OpenedForSending };
  struct Case {
    const char* name;
    When when;
    std::vector<uint8_t> bytes;
  } cases[] = {
      {"unchanged: written", Never, release},
      {"cut short before the choice", BeforeTheChoice, cut},
      // A fleet run checks every printer long before it writes one.
      {"another release after the choice", AfterTheChoice, other},
      {"cut short after the check", AfterTheCheck, cut},
      {"emptied after the check", AfterTheCheck, {}},
      {"another release after the check", AfterTheCheck, other},
      {"another build of the same release after the check", AfterTheCheck,
       fwtest::BuildBin(fwtest::BinKind::CodeOnly, 48 * 1024, 1100)},
      // Replaced in place after its last look, once it is open for the read.
      {"another release while it is opened for sending", OpenedForSending, other},
      {"another build of the same release while it is opened for sending", OpenedForSending,
       fwtest::BuildBin(fwtest::BinKind::CodeOnly, 48 * 1024, 1100)},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string address = "127.62.6." + std::to_string(++n);
    NtwkScene scene(L"KORM", address, {"--restart-ms", "0"});
    ASSERT_TRUE(scene.started) << scene.sim.error();
    static std::wstring path;
    static const std::vector<uint8_t>* change;
    path = fwtest::TempPath(L"changing.bin");
    change = &c.bytes;
    fwtest::WriteFileBytes(path, c.when == BeforeTheChoice ? c.bytes : release);
    // The update's own check comes after milestone 15.
    static int changeAt;
    changeAt = c.when == AfterTheChoice ? 15 : c.when == AfterTheCheck ? 50 : 0;
    scene.progress.SetListener([](const UpdateProgress& p, UpdateProgressEvent what) {
      if (what == UpdateProgressEvent::Milestone && p.Percent() == changeAt) fwtest::WriteFileBytes(path, *change);
    });
    // The burn's first line comes after the file was opened, before it is read.
    LogFileSink previous = nullptr;
    if (c.when == OpenedForSending) {
      previous = SetLogFileSinkForTesting([](const char* bytes, size_t size) {
        if (std::string(bytes, size).find("CFWDownloadNtwk::BurnFlash(") != std::string::npos) {
          fwtest::WriteFileBytes(path, *change);
        }
      });
    }

    FirmwareTables tables;
    tables.binfileList = {L"*", L"changing.bin"};
    tables.programDirectory = path.substr(0, path.size() - wcslen(L"changing.bin"));
    const plist_t printer = {L"QV", L"IP_" + std::wstring(address.begin(), address.end()), L"0"};
    EXPECT_EQ(RunUpdateWorker(tables, printer, &scene.progress).status, c.when == Never ? FWDL_UPDATED : FWDL_FAILED);
    if (c.when == OpenedForSending) SetLogFileSinkForTesting(previous);

    EXPECT_EQ(SimCommands(scene.sim.sim(), "BURN_FLASH").size(), c.when == Never ? 1u : 0u);
  }
}
