#pragma once
// The command line's side of an unattended run: its switches turned into the
// fleet run's options, the printers' outcomes into exit codes, and the
// summary table printed at the end.

#include <string>

#include "app/command_line.h"
#include "app/text_board.h"
#include "update/fleet_options.h"
#include "update/fleet_report.h"

// What an unattended run needs from outside the update. `board` null: a
// TextBoard on `output`.
struct UnattendedEnvironment : FleetEnvironment {
  RunOutput output;
};

// The fleet run's options the command line asks for.
FleetOptions FleetOptionsOf(const CommandLine& line);

// The exit code of one printer's outcome.
ExitCode OutcomeExitCode(UpdateOutcome outcome);

// The run's exit code: the worst of its printers', and a failure for what the
// run had to leave behind (the spooler stopped, an RFU setting on).
ExitCode RunExitCode(const RunReport& report);

// Runs the check or update of every selected printer; exitCode is the worst.
RunReport RunUnattended(const CommandLine& line, const UnattendedEnvironment& env);

// The summary table printed at the end.
std::wstring SummaryText(const RunReport& report);
// `text` padded with blanks to `width`, and one blank: a column of the tables
// printed at the end.
std::wstring TableColumn(std::wstring text, size_t width);
