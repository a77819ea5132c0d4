#pragma once
// Stopping and starting the print spooler service around direct printer I/O.

#include <cstdint>

constexpr wchar_t SPOOLER_SERVICE_NAME[] = L"Spooler";
// The service started but did not reach the running state.
constexpr int SERVICE_RESULT_NOT_RUNNING = 1287;
// Total time StopAService waits for the service and its dependents.
constexpr uint32_t SERVICE_STOP_LIMIT_MS = 3000;

// Stops the service and the active services that depend on it. Always 0; the
// outcome is in the log.
int StopAService(const wchar_t* serviceName = SPOOLER_SERVICE_NAME);
// Starts the service: 0 when it runs (or already ran, or a failure was logged),
// SERVICE_RESULT_NOT_RUNNING when it started but did not reach running.
int StartAService(const wchar_t* serviceName = SPOOLER_SERVICE_NAME);
// Starts the service as StartAService does and tells whether it runs now: 1
// when it does (started, or already running), 0 when it does not or its state
// could not be read (the cause is logged). For callers that must not go on
// without it.
int EnsureServiceRunning(const wchar_t* serviceName = SPOOLER_SERVICE_NAME);
