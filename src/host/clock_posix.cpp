#include <time.h>

#include <cerrno>

#include "host/clock.h"

namespace {
class PosixClock : public Clock {
 public:
  void Sleep(uint32_t ms) override {
    timespec req{static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    while (nanosleep(&req, &req) != 0 && errno == EINTR) {
    }
  }
  uint32_t TickCount() override {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    uint64_t ms = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
    return static_cast<uint32_t>(ms);
  }
};
}  // namespace

// Never destroyed: a detached thread (the SNMP guard) may read it while the
// process ends and static destructors run.
Clock& SystemClock() {
  static PosixClock* clock = new PosixClock;
  return *clock;
}
