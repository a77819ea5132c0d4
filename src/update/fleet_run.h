#pragma once
// A fleet run: the printers the options select, each checked or updated
// through the same worker path as the dialog (file choice, controller, the
// three transports, verification, every wait), side by side as the schedule
// allows. What each printer ended with goes into a PrinterReport; the board
// gets each printer's progress and outcome.
//
// Each printer's update has its own UpdateProgress and RFU platform, and the
// run keeps no file-level state.

#include "update/fleet_options.h"
#include "update/fleet_report.h"

// Runs the check or update of every selected printer. No printer in the
// report: no supported printer is installed. `env.board` null: nothing shown.
RunReport RunFleetUpdate(const FleetOptions& options, const FleetEnvironment& env);
