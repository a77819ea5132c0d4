#include <windows.h>

#include "host/clock.h"

namespace {
class Win32Clock : public Clock {
 public:
  void Sleep(uint32_t ms) override { ::Sleep(ms); }
  uint32_t TickCount() override { return ::GetTickCount(); }
};
}  // namespace

// Never destroyed: a detached thread (the SNMP guard) may read it while the
// process ends and static destructors run.
Clock& SystemClock() {
  static Win32Clock* clock = new Win32Clock;
  return *clock;
}
