#include <windows.h>

#include "host/clock.h"

namespace {
class Win32Clock : public Clock {
 public:
  void Sleep(uint32_t ms) override { ::Sleep(ms); }
  uint32_t TickCount() override { return ::GetTickCount(); }
};
}  // namespace

Clock& SystemClock() {
  static Win32Clock clock;
  return clock;
}
