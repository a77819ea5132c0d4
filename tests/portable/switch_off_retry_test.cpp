// The owed switch-off's retries against a printer that does not answer: what
// was waited between tries, how many tries fit in the printer's restart, and
// the run's interrupt ending the wait.
#include "update/switch_off_retry.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/fake_clock.h"
#include "update/fw_download.h"
#include "update/run_interrupt.h"

namespace {
// Interrupts the run once `after` ms were slept.
class InterruptingClock : public FakeClock {
 public:
  explicit InterruptingClock(uint64_t after) : m_after(after) {}
  void Sleep(uint32_t ms) override {
    FakeClock::Sleep(ms);
    if (TotalSlept() >= m_after) InterruptRun();
  }

 private:
  uint64_t m_after;
};
}  // namespace

TEST(SwitchOffRetry, ATryASecondFromEachTrysStartUntilTheRestartLimit) {
  constexpr uint32_t kSilent = UINT32_MAX;  // a retry that waits out its answer wait
  const struct {
    const char* what;
    uint32_t firstMs, againMs;  // how long the first try and each retry take
    int tries;                  // all failed
    uint64_t waitedMs;          // slept between them
  } cases[] = {
      {"answers at once", 0, 0, 66, 65 * 1000},
      {"a short time-out", 300, 300, 66, 65 * 700},
      // A printer that answers nothing: the first try waits out the three
      // echoes and the answer; each retry only its bounded answer wait.
      {"silent", 21500, kSilent, 45, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ClearRunInterruptForTesting();
    FakeClock clock;
    clock.SetNow(5000);
    int tries = 0;
    const bool done = RetrySwitchOff(
        [&] {
          ++tries;
          clock.Advance(c.firstMs);
          return false;
        },
        [&](const RfuWriteBounds& bounds) {
          ++tries;
          clock.Advance(c.againMs == kSilent ? bounds.answerWaitMs : c.againMs);
          return false;
        },
        5000, FWDL_RESTART_LIMIT_MS);
    EXPECT_FALSE(done);
    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(clock.TotalSlept(), c.waitedMs);
  }
}

TEST(SwitchOffRetry, TheRunsInterruptEndsTheWaitAndNoTryStartsAfterIt) {
  struct Case {
    const char* what;
    uint64_t interruptAfterMs;  // of sleeping
    int tries;
    uint64_t waitedMs;
  } cases[] = {
      {"during the first wait", 300, 1, 300},
      {"during the third", 2 * 1000 + 500, 3, 2500},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ClearRunInterruptForTesting();
    InterruptingClock clock(c.interruptAfterMs);
    int tries = 0;
    EXPECT_FALSE(RetrySwitchOff([&] { return ++tries > 10; }, [&](const RfuWriteBounds&) { return ++tries > 10; }, 0,
                                FWDL_RESTART_LIMIT_MS));
    EXPECT_EQ(tries, c.tries);
    EXPECT_EQ(clock.TotalSlept(), c.waitedMs);
  }
  // During a retry: its waits ask the run's interrupt.
  ClearRunInterruptForTesting();
  {
    FakeClock clock;
    int tries = 0;
    EXPECT_FALSE(RetrySwitchOff([&] { return ++tries > 10; },
                                [&](const RfuWriteBounds& bounds) {
                                  if (++tries == 3) InterruptRun();
                                  EXPECT_EQ(bounds.stop(), tries == 3);
                                  return false;
                                },
                                0, FWDL_RESTART_LIMIT_MS));
    EXPECT_EQ(tries, 3);
  }
  // Interrupted before: the owed switch-off still gets its one try, and a
  // printer that takes it needs no other.
  FakeClock clock;
  int tries = 0;
  const auto again = [&](const RfuWriteBounds&) { return ++tries == 1; };
  EXPECT_TRUE(RetrySwitchOff([&] { return ++tries == 1; }, again, 0, FWDL_RESTART_LIMIT_MS));
  EXPECT_EQ(tries, 1);
  EXPECT_FALSE(RetrySwitchOff([&] { return ++tries == 1; }, again, 0, FWDL_RESTART_LIMIT_MS));
  EXPECT_EQ(tries, 2);
  EXPECT_TRUE(clock.Sleeps().empty());
  ClearRunInterruptForTesting();
}
