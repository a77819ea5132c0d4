#pragma once
// What each update leaves on the computer, from the dialog or the command
// line: its line in the update history (app/update_history.h) and its
// queue's values in the registry (app/printer_state.h). Updates running side
// by side record one at a time.

#include "app/update_history.h"
#include "update/fleet_report.h"

// The history entry of `report` as of now: UTC time, this computer, this
// account and the program's version.
HistoryEntry HistoryEntryNow(const PrinterReport& report);

// Appends the history line (when the computer has a program-data folder) and,
// for an installed queue, writes its registry values. Failures are logged;
// the update's outcome stays as it is.
void RecordUpdate(const PrinterReport& report);
