// The console's Ctrl+C, Ctrl+Break and close during an unattended run: each
// asks the run to end, and a close holds the process (whose end the system
// forces soon after) until the run has ended or the wait runs out.
#include "app/console_interrupt.h"

#include <gtest/gtest.h>

#include "support/fake_clock.h"
#include "update/run_interrupt.h"

namespace {
// Ends the run once `endsAfterMs` of waiting have passed.
class RunEndingClock : public FakeClock {
 public:
  explicit RunEndingClock(uint32_t endsAfterMs) : endsAfterMs_(endsAfterMs) {}
  void Sleep(uint32_t ms) override {
    FakeClock::Sleep(ms);
    if (TotalSlept() >= endsAfterMs_) ConsoleRunEnded();
  }

 private:
  uint32_t endsAfterMs_;
};

constexpr uint32_t kNever = UINT32_MAX;
}  // namespace

TEST(ConsoleInterrupt, EventTable) {
  struct Case {
    const char* name;
    ConsoleControl control;
    bool endedBefore;
    uint32_t endsAfterMs;
    bool handled;
    bool interrupts;
    uint64_t minWait, maxWait;
  };
  const Case cases[] = {
      {"Ctrl+C: no wait", ConsoleControl::CtrlC, false, kNever, true, true, 0, 0},
      {"Ctrl+Break: no wait", ConsoleControl::Break, false, kNever, true, true, 0, 0},
      {"close, run already ended", ConsoleControl::Close, true, kNever, true, true, 0, 0},
      {"close, run ends after 1 s", ConsoleControl::Close, false, 1000, true, true, 1000, 1049},
      {"close, run never ends: bounded", ConsoleControl::Close, false, kNever, true, true, kConsoleCloseWaitMs,
       kConsoleCloseWaitMs + 49},
      {"other events: left to the system", ConsoleControl::Other, false, kNever, false, false, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ClearRunInterruptForTesting();
    ClearConsoleRunEndedForTesting();
    if (c.endedBefore) ConsoleRunEnded();
    RunEndingClock clock(c.endsAfterMs);
    EXPECT_EQ(HandleConsoleControl(c.control), c.handled);
    EXPECT_EQ(RunInterrupted(), c.interrupts);
    EXPECT_GE(clock.TotalSlept(), c.minWait);
    EXPECT_LE(clock.TotalSlept(), c.maxWait);
  }
  ClearRunInterruptForTesting();
  ClearConsoleRunEndedForTesting();
}
