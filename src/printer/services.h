#pragma once
// Stopping and starting the print spooler service around direct printer I/O.

#include <cstdint>

#include "host/service_control.h"

constexpr wchar_t SPOOLER_SERVICE_NAME[] = L"Spooler";
// The service started but did not reach the running state.
constexpr int SERVICE_RESULT_NOT_RUNNING = 1287;
// Total time StopAService waits for the service and its dependents.
constexpr uint32_t SERVICE_STOP_LIMIT_MS = 3000;

// Stops the service and the active services that depend on it; adds the
// dependents it stopped to `*stopped` (when given) for the start to bring
// back. Always 0; the outcome is in the log.
int StopAService(const wchar_t* serviceName = SPOOLER_SERVICE_NAME, StoppedServices* stopped = nullptr);
// Starts the service: 0 when it runs (or already ran, or a failure was logged),
// SERVICE_RESULT_NOT_RUNNING when it started but did not reach running. A
// service found already running is awaited while it is still starting. Once
// it runs, the dependents in `*stopped` are started, last stopped first, and
// leave the list when they run; each one left is an "ERROR:" line in the log.
int StartAService(const wchar_t* serviceName = SPOOLER_SERVICE_NAME, StoppedServices* stopped = nullptr);
// Starts the service as StartAService does and tells whether it runs now: 1
// when it does (started, or already running), 0 when it does not or its state
// could not be read (the cause is logged). For callers that must not go on
// without it.
int EnsureServiceRunning(const wchar_t* serviceName = SPOOLER_SERVICE_NAME, StoppedServices* stopped = nullptr);
// Whether the service runs, without starting it (a start still under way is
// awaited as a start's is): 1 or 0 (the cause is logged when its state could
// not be read).
int ServiceIsRunning(const wchar_t* serviceName = SPOOLER_SERVICE_NAME);
