#pragma once
// A request to end the run early (Ctrl+C, Ctrl+Break or the console closing).
// Process-wide because the request is: the console handler sets it, every
// update of the run polls it at its waits and between its data pieces, and no
// new update starts once it is set.

// Sets the request; safe from any thread, including a console handler.
void InterruptRun();
bool RunInterrupted();
// Clears it (tests; a process runs one unattended run).
void ClearRunInterruptForTesting();
