#pragma once
// Ctrl+C, Ctrl+Break and the console closing during an unattended run ask the
// run to end in order (no new update, the spooler started again, the report
// written) rather than letting the system end the process in the middle of a
// download with the spooler stopped.

#include <cstdint>

enum class ConsoleControl { CtrlC, Break, Close, Other };

// The system ends a process about 5 s after its console closes: a close waits
// for the run a little less than that.
constexpr uint32_t kConsoleCloseWaitMs = 4000;

// Installs the handler for the rest of the process (console_interrupt_win32.cpp).
void InstallConsoleInterrupt();

// The run has ended in order; a close in progress stops waiting.
void ConsoleRunEnded();

// What the handler does with one event; true: handled, the process goes on.
// Runs on the system's handler thread.
bool HandleConsoleControl(ConsoleControl control);

// Forgets that the run ended (tests).
void ClearConsoleRunEndedForTesting();
