#pragma once
// What of an update's progress reaches the dialog's status line: each phase,
// the amount sent at most every 64 KiB or quarter second, the wait once a
// second. The dialog's thread draws each one while the update waits for it.

#include <cstdint>

#include "app/status_line.h"
#include "update/update_progress.h"

constexpr uint64_t STATUS_BYTES_STEP = 64 * 1024;
constexpr uint32_t STATUS_BYTES_EVERY_MS = 250;

StatusPhase StatusOfPhase(UpdatePhase phase);

class StatusFeed {
 public:
  // True with `out` filled when the line should change after `what`.
  bool Next(const UpdateProgressState& state, UpdateProgressEvent what, uint32_t nowMs, StatusReport* out);

 private:
  uint64_t m_shownBytes = 0;
  uint32_t m_shownBytesAt = 0;
  uint32_t m_shownSeconds = 0;
};
