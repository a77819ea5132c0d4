// The console's Ctrl+C, Ctrl+Break and close during an unattended run: each
// asks the run to end; a close also puts right what the run leaves behind and
// holds the process, which the system ends as soon as the handler returns, for
// a bounded time.
#include "app/console_interrupt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_clock.h"
#include "support/fake_service.h"
#include "support/fake_spooler.h"
#include "support/log_capture.h"
#include "update/run_interrupt.h"
#include "update/run_rescue.h"
#include "update/spooler_hold.h"

TEST(ConsoleInterrupt, EventTable) {
  struct Case {
    ConsoleControl control;
    bool handled;
    std::vector<uint32_t> waits;
    const wchar_t* logLine;  // nullptr: none
  };
  const Case cases[] = {
      {ConsoleControl::CtrlC, true, {}, L"Run interrupted (Ctrl+C): no further update starts"},
      {ConsoleControl::Break, true, {}, L"Run interrupted (Ctrl+Break): no further update starts"},
      {ConsoleControl::Close,
       true,
       {kConsoleCloseWaitMs},
       L"Run interrupted (console closed): no further update starts"},
      {ConsoleControl::Other, false, {}, nullptr},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(static_cast<int>(c.control));
    ClearRunInterruptForTesting();
    FakeClock clock;
    LogCapture log;
    EXPECT_EQ(HandleConsoleControl(c.control), c.handled);
    EXPECT_EQ(RunInterrupted(), c.logLine != nullptr);
    EXPECT_EQ(clock.Sleeps(), c.waits);
    EXPECT_EQ(log.Lines(), c.logLine ? std::vector<std::wstring>{c.logLine} : std::vector<std::wstring>{});
  }
  ClearRunInterruptForTesting();
}

// A close in the middle of the downloads leaves the process seconds: the
// handler itself starts the spooler the run holds stopped, writes the report
// with the unfinished printer failed, and switches off the RFU setting the run
// switched on (writing the report again with that outcome), before it returns.
// The run's own end after it does none of this twice.
TEST(ConsoleInterrupt, CloseBringsBackWhatTheRunLeavesBehind) {
  ClearRunInterruptForTesting();
  FakeClock clock;
  LogCapture log;
  FakeSpooler spooler;
  FakeSpoolerService service(spooler);
  RunReport run;
  run.printers.resize(2);
  run.printers[0].name = L"QV Done";
  run.printers[1].name = L"QV Busy";
  RescueRecordRun(run);
  PrinterReport done = run.printers[0];
  done.outcome = L"updated";
  RescueRecordPrinter(0, done);
  int switchOffs = 0;
  RescueOweSwitchOff(1, [&switchOffs] { return ++switchOffs > 1; });  // the printer does not answer
  std::vector<RunReport> written;
  SetRescueReportWriter([&written](const RunReport& report) { written.push_back(report); });
  SpoolerHold hold(true);
  ASSERT_FALSE(service.Running());

  EXPECT_TRUE(HandleConsoleControl(ConsoleControl::Close));
  EXPECT_TRUE(service.Running());
  EXPECT_EQ(switchOffs, 1);
  ASSERT_EQ(written.size(), 2u);
  for (const RunReport& report : written) {
    ASSERT_EQ(report.printers.size(), 2u);
    EXPECT_EQ(report.printers[0].outcome, L"updated");
    EXPECT_EQ(report.printers[1].outcome, L"failed");
    EXPECT_EQ(report.printers[1].detail.find(L"QV Busy: the run was interrupted (the console was closed)"), 0u);
  }
  EXPECT_FALSE(written[0].printers[1].rfuLeftOn);
  EXPECT_TRUE(written[1].printers[1].rfuLeftOn);
  // The run may end by itself in the time left.
  EXPECT_EQ(clock.Sleeps(), std::vector<uint32_t>{kConsoleCloseWaitMs});

  EXPECT_FALSE(RescueTakeSwitchOff(1));
  EXPECT_TRUE(hold.Release());
  EXPECT_EQ(service.Starts(), 1);
  SetRescueReportWriter(nullptr);
  RescueRecordRun(RunReport());
  ClearRunInterruptForTesting();
}
