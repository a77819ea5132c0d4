#include "update/switch_off_retry.h"

#include "host/clock.h"
#include "update/fw_download.h"
#include "update/run_interrupt.h"

namespace {
// Sleeps `ms` a slice at a time; false as soon as the run is interrupted.
bool WaitUnlessInterrupted(uint32_t ms) {
  for (uint32_t left = ms; left > 0;) {
    if (RunInterrupted()) return false;
    const uint32_t slice = left < RUN_INTERRUPT_POLL_MS ? left : RUN_INTERRUPT_POLL_MS;
    SleepMs(slice);
    left -= slice;
  }
  return !RunInterrupted();
}
}  // namespace

bool RetrySwitchOff(const std::function<bool()>& first, const std::function<bool(const RfuWriteBounds&)>& again,
                    uint32_t since, uint32_t limitMs) {
  const RfuWriteBounds bounds{SWITCH_OFF_RETRY_ANSWER_WAIT_MS, RunInterrupted};
  for (bool retry = false;; retry = true) {
    const uint32_t tryStart = TickCountMs();
    if (retry ? again(bounds) : first()) return true;
    const uint32_t now = TickCountMs();
    if (RunInterrupted() || static_cast<uint32_t>(now - since) >= limitMs) return false;
    const uint32_t took = static_cast<uint32_t>(now - tryStart);
    if (took < FWDL_VERIFY_PASS_WAIT_MS && !WaitUnlessInterrupted(FWDL_VERIFY_PASS_WAIT_MS - took)) return false;
  }
}
