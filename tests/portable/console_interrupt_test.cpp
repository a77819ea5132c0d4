// The console's Ctrl+C, Ctrl+Break and close during an unattended run: each
// asks the run to end; a close also holds the process, which the system ends
// as soon as the handler returns, for a bounded time.
#include "app/console_interrupt.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/fake_clock.h"
#include "support/log_capture.h"
#include "update/run_interrupt.h"

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
