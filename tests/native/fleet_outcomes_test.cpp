// A fleet run of four simulated network printers, one of them refusing the
// burn: what each printer received and ended with, and the spooler stopped
// once around all downloads. Then the same fleet, two at a time, interrupted
// while the first two wait for their flash: the spooler runs again, the last
// two are never written, and every printer that did not finish is a failure.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/unattended_run.h"
#include "net/snmp_rfu.h"
#include "ntwk_sim_fixture.h"
#include "printer/services.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_service.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"
#include "update/run_interrupt.h"

using nettest::SimPrinter;

namespace {
constexpr uint32_t kFileVersion = 20230115;

// Interrupts the run once the first `printers` printers have all waited
// `afterSeconds` for their flash and restart (each holds there until the last
// arrives); 0 printers: never.
class InterruptingBoard : public TextBoard {
 public:
  InterruptingBoard(size_t printers, uint32_t afterSeconds)
      : TextBoard(nullptr), m_printers(printers), m_after(afterSeconds), m_arrived(printers, false) {}
  void Progress(size_t index, const UpdateProgressState& state, UpdateProgressEvent what) override {
    if (index < m_printers && state.phase == UpdatePhase::Restarting && state.secondsWaited >= m_after) {
      std::unique_lock<std::mutex> lock(m_lock);
      if (!m_arrived[index]) {
        m_arrived[index] = true;
        if (++m_waiting == m_printers) InterruptRun();
        m_allThere.notify_all();
        m_allThere.wait_for(lock, std::chrono::seconds(20), [this] { return m_waiting >= m_printers; });
      }
    }
    TextBoard::Progress(index, state, what);
  }

 private:
  size_t m_printers;
  uint32_t m_after;
  std::vector<bool> m_arrived;
  size_t m_waiting = 0;
  std::mutex m_lock;
  std::condition_variable m_allThere;
};

// The printers' RFU settings over "SNMP": each off until switched, every call
// noted with its port and how many burns the fleet had received by then.
class FleetRfu : public ScriptedRfuPlatform {
 public:
  std::function<size_t()> burnsSoFar;
  std::vector<std::wstring> notes;
  int QueryRfuStatus(const wchar_t* portName, const wchar_t*) override {
    Note(L"get ", portName);
    return RFU_OFF;
  }
  int WriteRfuStatus(const wchar_t* portName, const wchar_t*, int value, const RfuWriteBounds*) override {
    Note(L"set " + std::to_wstring(value) + L" ", portName);
    return 0;
  }

 private:
  void Note(const std::wstring& what, const wchar_t* port) {
    notes.push_back(what + port + L" after " + std::to_wstring(burnsSoFar()) + L" burns");
  }
};

struct Fleet {
  std::vector<std::unique_ptr<SimPrinter>> sims;
  std::vector<FakePrinter> printers;
  FakePortSource ports;
};

size_t Burns(SimPrinter& sim) {
  size_t burns = 0;
  for (const std::string& e : sim.sim().Events("command")) burns += PrinterSim::Str(e, "cmd") == "BURN_FLASH";
  return burns;
}

size_t Count(const LogCapture& log, const std::wstring& part) {
  size_t n = 0;
  for (const std::wstring& line : log.Lines()) n += line.find(part) != std::wstring::npos;
  return n;
}
}  // namespace

TEST(FleetRun, FourPrintersOneRefusingAndAnInterruptedRun) {
  const std::wstring file = fwtest::TempPath(L"fleet.bin");
  fwtest::WriteFileBytes(file, fwtest::BuildBin(fwtest::BinKind::CodeOnly, 4096, kFileVersion));
  Fleet fleet;
  for (int i = 1; i <= 4; ++i) {
    auto sim = std::make_unique<SimPrinter>();
    const std::string address = "127.63.3." + std::to_string(i);
    std::vector<std::string> args = {"--version", "1000", "--fault", "no-restart"};
    if (i == 3) args.insert(args.end(), {"--fault", "status:value=2,cmd=burn"});
    ASSERT_TRUE(sim->Start(address, args, 5000)) << sim->error();
    const std::wstring port = L"IP_" + std::wstring(address.begin(), address.end());
    fleet.printers.push_back({L"QV " + std::to_wstring(i), port, L"QV Driver", L"", 0});
    fleet.ports.AddXcvAnswer(port, sim->Address());
    fleet.sims.push_back(std::move(sim));
  }
  FakeSpooler spooler(fleet.printers);
  FakeSpoolerService service(spooler);
  FakeClock clock;
  FleetRfu rfu;
  UnattendedEnvironment env;
  env.tables.binfileList = {L"*", L"fleet.bin"};
  env.tables.programDirectory = file.substr(0, file.size() - wcslen(L"fleet.bin"));
  env.driverNames = {L"QV Driver"};
  env.rfuSystem = &rfu;
  Logger::Instance()->SetBoxesSilent(true);

  struct Case {
    const char* name;
    int parallel;
    size_t interruptAt;     // so many printers waiting interrupt the run; 0: never
    uint32_t afterSeconds;  // ...once each waited this long (the flash pause is 30 s)
    std::vector<std::wstring> outcomes;
    std::vector<size_t> burns;  // BURN_FLASH commands each printer received
    uint32_t version = 1000;    // the printers' before the run: 20150101 is past the RFU gate's date
    ExitCode code = EXITCODE_FAILED;
    size_t spoolerStops = 1;  // and as many starts
  } cases[] = {
      {"all at once", 4, 0, 0, {L"updated", L"updated", L"failed", L"updated"}, {1, 1, 1, 1}},
      {"two at a time, interrupted in the flash pause", 2, 2, 0, {4, L"failed"}, {1, 1, 0, 0}},
      {"two at a time, interrupted in the restart wait", 2, 2, 32, {4, L"failed"}, {1, 1, 0, 0}},
      {"gated, /rfu:onoff", 4, 0, 0, {L"updated", L"updated", L"failed", L"updated"}, {1, 1, 1, 1}, 20150101},
      // Nothing to write: the spooler is neither stopped nor started.
      {"all current", 4, 0, 0, {4, L"current"}, {0, 0, 0, 0}, kFileVersion, EXITCODE_CURRENT, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::vector<size_t> burnsBefore;
    for (auto& sim : fleet.sims) {
      ASSERT_NE(sim->sim().Control(R"({"op":"set","version":)" + std::to_string(c.version) + "}"), "");
      burnsBefore.push_back(Burns(*sim));
    }
    LogCapture log;
    InterruptingBoard board(c.interruptAt, c.afterSeconds);
    const uint64_t sleptBefore = clock.TotalSlept();
    env.board = &board;
    rfu.notes.clear();
    rfu.burnsSoFar = [&] {
      size_t n = 0;
      for (size_t i = 0; i < 4; ++i) n += Burns(*fleet.sims[i]) - burnsBefore[i];
      return n;
    };
    CommandLine line;
    line.parallel = c.parallel;
    line.rfu = RfuConsent::OnOff;
    const RunReport report = RunUnattended(line, env);
    const bool interrupted = RunInterrupted();
    ClearRunInterruptForTesting();

    EXPECT_EQ(interrupted, c.interruptAt > 0);
    ASSERT_EQ(report.printers.size(), 4u);
    std::vector<std::wstring> outcomes;
    std::vector<size_t> burns;
    for (size_t i = 0; i < 4; ++i) {
      outcomes.push_back(OutcomeText(report.printers[i].outcome));
      // A burn cut short is logged once the simulator sees the connection end.
      for (int wait = 0; wait < 50 && Burns(*fleet.sims[i]) - burnsBefore[i] < c.burns[i]; ++wait) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
      }
      burns.push_back(Burns(*fleet.sims[i]) - burnsBefore[i]);
    }
    EXPECT_EQ(outcomes, c.outcomes);
    EXPECT_EQ(burns, c.burns);
    EXPECT_EQ(report.exitCode, c.code);
    // Once around all downloads, however the run ended.
    EXPECT_EQ(Count(log, L"StopAService(Spooler)"), c.spoolerStops);
    EXPECT_EQ(Count(log, L"StartAService(Spooler)"), c.spoolerStops);
    // Gates one printer at a time before any burn; switch-offs after the last.
    std::vector<std::wstring> notes;
    if (c.version > 1000 && c.version < kFileVersion) {
      for (const FakePrinter& p : fleet.printers) {
        notes.push_back(L"get " + p.port + L" after 0 burns");
        notes.push_back(L"set 2 " + p.port + L" after 0 burns");
      }
      for (const FakePrinter& p : fleet.printers) notes.push_back(L"set 1 " + p.port + L" after 4 burns");
    }
    EXPECT_EQ(rfu.notes, notes);
    if (c.interruptAt == 0 && c.burns[0] > 0) {
      EXPECT_EQ(report.printers[0].versionAfter.number, kFileVersion);
      // Each update's lines name its printer: the burn of the second printer's address.
      size_t named = 0;
      for (const std::wstring& l : log.FileLines()) {
        named += l.find(L" [QV 2]: CFWDownloadNtwk::BurnFlash(127.63.3.2)") != std::wstring::npos;
      }
      EXPECT_EQ(named, 1u);
    } else if (c.interruptAt > 0) {
      EXPECT_NE(report.printers[3].detail.find(L"the run was interrupted before"), std::wstring::npos);
      // The two waiting stop within a second of the interrupt instead of waiting on.
      EXPECT_LE(clock.TotalSlept() - sleptBefore, 2u * (c.afterSeconds + 2) * 1000);
    }
  }
  Logger::Instance()->SetBoxesSilent(false);
  // Each simulator restores the settings it found: the last started goes first.
  while (!fleet.sims.empty()) fleet.sims.pop_back();
}
