#include "host/clock.h"

#include <atomic>

namespace {
std::atomic<Clock*> g_clockOverride{nullptr};

Clock& ActiveClock() {
  Clock* c = g_clockOverride.load(std::memory_order_acquire);
  return c ? *c : SystemClock();
}
}  // namespace

void SleepMs(uint32_t ms) { ActiveClock().Sleep(ms); }

uint32_t TickCountMs() { return ActiveClock().TickCount(); }

Clock* SetClockForTesting(Clock* clock) {
  return g_clockOverride.exchange(clock, std::memory_order_acq_rel);
}
