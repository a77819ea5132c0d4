#pragma once
// Ctrl+C, Ctrl+Break and the console closing during an unattended run ask the
// run to end in order (no new update, the spooler started again, the report
// written) rather than letting the system end the process in the middle of a
// download with the spooler stopped. A close leaves no time for the run's own
// end: the handler itself starts the spooler, writes the report and switches
// the RFU settings off again (update/run_rescue.h).

#include <cstdint>

enum class ConsoleControl { CtrlC, Break, Close, Other };

// The system's console event (CTRL_C_EVENT 0, CTRL_BREAK_EVENT 1,
// CTRL_CLOSE_EVENT 2, CTRL_LOGOFF_EVENT 5, CTRL_SHUTDOWN_EVENT 6) as the
// program's. A logoff's event reaches services only, for any user's logoff, so
// it says nothing about this run: the session's end comes to the program's
// window (app/session_end.h), as a shutdown's does.
ConsoleControl ConsoleControlOf(uint32_t event);

// The system ends a process about 5 s after its console closes, and at once
// when the handler returns: a close holds the process a little less than that
// in all, so that the run can end by itself first (its end ends the wait with
// the process).
constexpr uint32_t kConsoleCloseWaitMs = 4000;

// Installs the handler for the rest of the process (console_interrupt_win32.cpp).
void InstallConsoleInterrupt();

// What the handler does with one event; true: handled. Runs on the system's
// handler thread.
bool HandleConsoleControl(ConsoleControl control);
