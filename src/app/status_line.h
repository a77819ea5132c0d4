#pragma once
// The status line under the main dialog's progress bar: what the user is
// waiting for, in the words of the string library.

#include <cstdint>
#include <string>

#include "update/update_outcome.h"

enum StatusPhase {
  STATUS_NONE,  // empty line
  STATUS_READING_VERSION,
  STATUS_CHOOSING_FILE,
  STATUS_SWITCHING_RFU,
  STATUS_SENDING,     // with the amount sent when the transport knows it
  STATUS_RESTARTING,  // with the seconds waited so far
  STATUS_CHECKING_VERSION,
  STATUS_SUCCEEDED,
  STATUS_UP_TO_DATE,
  STATUS_FAILED,
  STATUS_CANCELED,
  STATUS_NOT_TRUSTED,  // failed: the file's signature was refused
};

struct StatusReport {
  StatusPhase phase = STATUS_NONE;
  uint64_t bytesSent = 0;
  uint64_t bytesTotal = 0;  // 0: not known
  uint32_t secondsWaited = 0;
};

// The localised line for `report`.
std::wstring StatusLineText(const StatusReport& report);

// What the line says when the update worker reports the progress position
// `position` (10, 15, 50: the milestones of one update; 100: success).
StatusPhase MilestoneStatus(int position);

// The line for an ended update: updated, up to date, failed, or failed for
// the file's signature (`notTrusted`).
StatusPhase EndStatus(UpdateOutcome outcome, bool notTrusted);
