// The console's Ctrl+C, Ctrl+Break and close during an unattended run: each
// asks the run to end; a close also puts right what the run leaves behind and
// holds the process, which the system ends as soon as the handler returns, for
// a bounded time.
#include "app/console_interrupt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/unattended_run.h"
#include "host/clock.h"
#include "support/fake_clock.h"
#include "support/fake_service.h"
#include "support/fake_spooler.h"
#include "support/log_capture.h"
#include "update/run_interrupt.h"
#include "update/run_rescue.h"
#include "update/spooler_hold.h"

// One row per event the system sends; logoff and shutdown reach the
// program's window instead (app/session_end.h).
TEST(ConsoleInterrupt, EventTable) {
  struct Case {
    uint32_t event;
    ConsoleControl control;
    bool handled;
    std::vector<uint32_t> waits;
    const wchar_t* logLine;  // nullptr: none
  };
  const Case cases[] = {
      {0, ConsoleControl::CtrlC, true, {}, L"Run interrupted (Ctrl+C): no further update starts"},
      {1, ConsoleControl::Break, true, {}, L"Run interrupted (Ctrl+Break): no further update starts"},
      {2,
       ConsoleControl::Close,
       true,
       {kConsoleCloseWaitMs},
       L"Run interrupted (console closed): no further update starts"},
      {5, ConsoleControl::Other, false, {}, nullptr},
      {6, ConsoleControl::Other, false, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.event);
    ClearRunInterruptForTesting();
    FakeClock clock;
    LogCapture log;
    EXPECT_EQ(ConsoleControlOf(c.event), c.control);
    EXPECT_EQ(HandleConsoleControl(ConsoleControlOf(c.event)), c.handled);
    EXPECT_EQ(RunInterrupted(), c.logLine != nullptr);
    EXPECT_EQ(clock.Sleeps(), c.waits);
    EXPECT_EQ(log.Lines(), c.logLine ? std::vector<std::wstring>{c.logLine} : std::vector<std::wstring>{});
  }
  ClearRunInterruptForTesting();
}

// A console close in the middle of a run: the run's printers recorded, the
// rescued reports kept, and what a case leaves process-wide cleared after it.
class ConsoleClose : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearRunInterruptForTesting();
    SetRescueReportWriter([this](const RunReport& report) { written.push_back(report); });
  }
  void TearDown() override {
    SetRescueReportWriter(nullptr);
    RescueRecordRun(RunReport());
    ClearRunInterruptForTesting();
  }
  static RunReport RecordRun(const std::vector<std::wstring>& names) {
    RunReport run;
    for (const std::wstring& name : names) {
      run.printers.emplace_back();
      run.printers.back().name = name;
    }
    RescueRecordRun(run);
    return run;
  }

  FakeClock clock;
  LogCapture log;
  FakeSpooler spooler;
  FakeSpoolerService service{spooler};
  std::vector<RunReport> written;
};

// A close in the middle of the downloads leaves the process seconds: the
// handler itself starts the spooler the run holds stopped, writes the report
// with the unfinished printer failed, and switches off the RFU setting the run
// switched on (writing the report again with that outcome), before it returns.
// The run's own end after it does none of this twice.
TEST_F(ConsoleClose, BringsBackWhatTheRunLeavesBehind) {
  const RunReport run = RecordRun({L"QV Done", L"QV Busy"});
  PrinterReport done = run.printers[0];
  done.outcome = UpdateOutcome::Updated;
  RescueRecordPrinter(0, done);
  int switchOffs = 0;
  // The printer does not answer, after a wait that counts against the close's.
  RescueOweSwitchOff(1, [&switchOffs] {
    SleepMs(1500);
    return ++switchOffs > 1;
  });
  SpoolerHold hold(true);
  ASSERT_FALSE(service.Running());

  EXPECT_TRUE(HandleConsoleControl(ConsoleControl::Close));
  EXPECT_TRUE(service.Running());
  EXPECT_EQ(switchOffs, 1);
  ASSERT_EQ(written.size(), 2u);
  for (const RunReport& report : written) {
    ASSERT_EQ(report.printers.size(), 2u);
    EXPECT_EQ(report.printers[0].outcome, UpdateOutcome::Updated);
    EXPECT_EQ(report.printers[1].outcome, UpdateOutcome::Failed);
    EXPECT_EQ(report.printers[1].detail.find(L"QV Busy: the run was interrupted (the console was closed)"), 0u);
  }
  // Counted as left on from the first report: the process may end before the switch-off does.
  EXPECT_TRUE(written[0].printers[1].rfuLeftOn);
  EXPECT_TRUE(written[1].printers[1].rfuLeftOn);
  // The run may end by itself in the time left, and no longer.
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{1500, kConsoleCloseWaitMs - 1500}));

  EXPECT_FALSE(RescueTakeSwitchOff(1));
  EXPECT_TRUE(hold.Release().Whole());
  EXPECT_EQ(service.Starts(), 1);
  {
    // The run reaching its downloads after the close must not stop the
    // spooler again: nothing would start it before the process ends.
    SpoolerHold late(true);
    EXPECT_TRUE(service.Running());
  }
  EXPECT_EQ(service.Stops(), 1);
}

// Every printer updated, one switch-off owed to a printer that a second queue
// rides with: until the switch-off succeeded both count as left on, in the
// first report (written before it is tried) and in the run's own report that
// replaces the rescued one.
TEST_F(ConsoleClose, OwedSwitchOffsFailTheRunUntilDone) {
  const std::wstring note = L" The RFU setting could not be switched off again.";
  for (const bool switchedOff : {true, false}) {
    SCOPED_TRACE(switchedOff);
    RunReport run = RecordRun({L"QV Carrier", L"QV Alone", L"QV Rider"});
    RescueRecordRider(2, 0);
    for (size_t i = 0; i < run.printers.size(); ++i) {
      run.printers[i].outcome = UpdateOutcome::Updated;
      RescueRecordPrinter(i, run.printers[i]);
    }
    RescueOweSwitchOff(0, [switchedOff] { return switchedOff; });
    written.clear();

    EXPECT_TRUE(HandleConsoleControl(ConsoleControl::Close));
    ASSERT_EQ(written.size(), 2u);
    const std::vector<bool> leftOn = {true, false, true};
    const std::vector<bool> after = switchedOff ? std::vector<bool>(3, false) : leftOn;
    RescueNoteRfuLeftOn(&run);
    const RunReport* reports[] = {&written[0], &written[1], &run};
    for (int r = 0; r < 3; ++r) {
      SCOPED_TRACE(r);
      const std::vector<bool>& expected = r == 0 ? leftOn : after;
      bool any = false;
      for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(reports[r]->printers[i].rfuLeftOn, expected[i]) << i;
        EXPECT_EQ(reports[r]->printers[i].detail, expected[i] ? note : L"") << i;
        any = any || expected[i];
      }
      EXPECT_EQ(RunExitCode(*reports[r]), any ? EXITCODE_FAILED : EXITCODE_OK);
    }
    // Logged once a switch-off failed, for its printer only.
    EXPECT_EQ(log.ContainsPart(L"QV Carrier: the RFU setting could not be switched off again"), !switchedOff);
    EXPECT_FALSE(log.ContainsPart(L"QV Rider: the RFU setting"));
    ClearRunInterruptForTesting();
  }
}

// A spooler that will not start again is in the rescued report, so that the
// run's exit code says so.
TEST_F(ConsoleClose, ReportsASpoolerThatWillNotStart) {
  service.AddDependent(L"QV Lpd");
  RecordRun({L"QV Busy"});
  SpoolerHold hold(true);
  service.startError = 1053;  // the service did not respond in time

  EXPECT_TRUE(HandleConsoleControl(ConsoleControl::Close));
  EXPECT_FALSE(service.Running());
  ASSERT_EQ(written.size(), 1u);
  EXPECT_TRUE(written[0].spoolerLeftStopped);
  EXPECT_EQ(written[0].dependentsLeftStopped, (std::vector<std::wstring>{L"QV Lpd"}));

  // The next start of the spooler brings back what its stop took down.
  service.startError = 0;
  EXPECT_TRUE(hold.Release().Whole());
  EXPECT_TRUE(service.DependentRunning(L"QV Lpd"));
}

// So is a service stopped with the spooler that will not start again; the
// one that does start comes back.
TEST_F(ConsoleClose, ReportsADependentThatWillNotStart) {
  service.AddDependent(L"QV Fax", 1058);
  service.AddDependent(L"QV Lpd");
  RecordRun({L"QV Busy"});
  SpoolerHold hold(true);
  ASSERT_FALSE(service.DependentRunning(L"QV Lpd"));

  EXPECT_TRUE(HandleConsoleControl(ConsoleControl::Close));
  EXPECT_TRUE(service.Running());
  EXPECT_TRUE(service.DependentRunning(L"QV Lpd"));
  ASSERT_EQ(written.size(), 1u);
  EXPECT_FALSE(written[0].spoolerLeftStopped);
  EXPECT_EQ(written[0].dependentsLeftStopped, (std::vector<std::wstring>{L"QV Fax"}));
  EXPECT_TRUE(log.Contains(L"ERROR: the service QV Fax, stopped with Spooler, could not be started again"));
  EXPECT_TRUE(hold.Release().Whole());  // the close told it already
}
