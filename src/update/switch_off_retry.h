#pragma once
// The retries of an owed RFU switch-off while the printer may still be
// restarting from its burn: a try a second, counted from each try's start, so
// a try that takes long is followed at once by the next. The first try waits
// as the protocol does; the retries send no ping and wait at most
// SWITCH_OFF_RETRY_ANSWER_WAIT_MS for an answer, so that a silent printer is
// still asked about once a second. The run's interrupt ends a retry's wait and
// the wait between tries within RUN_INTERRUPT_POLL_MS, and no try starts after it.

#include <cstdint>
#include <functional>

#include "net/snmp_rfu.h"

// How often a wait between tries asks whether the run was interrupted.
constexpr uint32_t RUN_INTERRUPT_POLL_MS = 100;
constexpr uint32_t SWITCH_OFF_RETRY_ANSWER_WAIT_MS = 1000;

// Calls `first` and then `again` with a retry's bounds until one returns
// true; true then. A first try always; each further one a second after the
// start of the one before, as long as the run is not interrupted and less
// than `limitMs` passed since `since` (TickCountMs) when the try before ended.
// False when it never succeeded.
bool RetrySwitchOff(const std::function<bool()>& first, const std::function<bool(const RfuWriteBounds&)>& again,
                    uint32_t since, uint32_t limitMs);
