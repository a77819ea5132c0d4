// The session ending during a run: the answers the program gives and what it
// puts right, decided by the burns under way.
#include "app/session_end.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "support/fake_service.h"
#include "support/fake_spooler.h"
#include "support/log_capture.h"
#include "transport/burn_count.h"
#include "update/run_interrupt.h"
#include "update/run_rescue.h"
#include "update/spooler_hold.h"

namespace {
class SessionEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearRunInterruptForTesting();
    SetRescueReportWriter([this](const RunReport& report) { written.push_back(report); });
    RunReport run;
    run.printers.emplace_back();
    run.printers.back().name = L"QV Busy";
    RescueRecordRun(run);
  }
  void TearDown() override {
    SetRescueReportWriter(nullptr);
    RescueRecordRun(RunReport());
    ClearRunInterruptForTesting();
  }

  LogCapture log;
  FakeSpooler spooler;
  FakeSpoolerService service{spooler};
  std::vector<RunReport> written;
};
}  // namespace

// Burns on two threads at once: the watcher hears of the first's beginning
// and the last one's end only, and the count is back at none after.
TEST(BurnCount, WatcherHearsTheFirstBeginningAndTheLastEnd) {
  std::vector<bool> heard;
  SetBurnWatcher([&heard](bool burning) { heard.push_back(burning); });
  {
    BurnScope first;
    std::thread([] {
      BurnScope second;
      EXPECT_EQ(BurnsInProgress(), 2);
    }).join();
    EXPECT_EQ(BurnsInProgress(), 1);
  }
  SetBurnWatcher(nullptr);
  EXPECT_EQ(BurnsInProgress(), 0);
  EXPECT_EQ(heard, (std::vector<bool>{true, false}));
}

// While an image is being written the session is asked to wait and the run
// goes on; at any other time it may end, and no further update starts, since
// one begun before the end would be cut off.
TEST_F(SessionEnd, RefusedWhileAnImageIsWrittenAllowedOtherwise) {
  {
    BurnScope burning;
    EXPECT_FALSE(SessionMayEnd());
    EXPECT_FALSE(RunInterrupted());
  }
  EXPECT_TRUE(SessionMayEnd());
  EXPECT_TRUE(RunInterrupted());
  EXPECT_TRUE(written.empty());
}

// The session ends (a yes, or the user's "end anyway" in the middle of a
// burn): the spooler the run holds is started, the report written with the
// unfinished printer failed. A cancelled end puts nothing right.
TEST_F(SessionEnd, ItsEndRescuesTheRunItsCancellationNothing) {
  SpoolerHold hold(true);
  ASSERT_FALSE(service.Running());
  SessionEnds(false);
  EXPECT_FALSE(service.Running());
  EXPECT_TRUE(written.empty());
  EXPECT_FALSE(RunInterrupted());

  BurnScope burning;
  SessionEnds(true);
  EXPECT_TRUE(RunInterrupted());
  EXPECT_TRUE(service.Running());
  ASSERT_EQ(written.size(), 1u);
  ASSERT_EQ(written[0].printers.size(), 1u);
  EXPECT_EQ(written[0].printers[0].outcome, UpdateOutcome::Failed);
  EXPECT_EQ(written[0].printers[0].detail.find(L"QV Busy: the run was interrupted (the session ended)"), 0u);
  EXPECT_TRUE(log.Contains(L"Run interrupted (the session ended): no further update starts"));
}
