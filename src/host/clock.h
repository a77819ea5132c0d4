#pragma once
// The one seam for waiting and for reading the millisecond clock. Product code
// never calls Sleep/GetTickCount (or their POSIX cousins) directly, so tests can
// run code with mandated multi-second waits instantly and assert what was waited.

#include <cstdint>

class Clock {
 public:
  virtual ~Clock() = default;
  virtual void Sleep(uint32_t ms) = 0;
  // Milliseconds since an arbitrary start; wraps like GetTickCount, so callers
  // measure intervals with unsigned differences.
  virtual uint32_t TickCount() = 0;
};

void SleepMs(uint32_t ms);
uint32_t TickCountMs();

// Replaces the process-wide clock; nullptr restores the real one. Returns the
// clock that was in place. Only tests call this.
Clock* SetClockForTesting(Clock* clock);

// The real clock of the platform (clock_win32.cpp / clock_posix.cpp).
Clock& SystemClock();
