#pragma once
// An unattended run: the printers the command line selects, each checked or
// updated through the same worker path as the dialog (file choice, controller,
// the three transports, verification, every wait), one after another. What
// each printer ended with goes into a PrinterReport; the console gets a line
// per printer per phase and a summary.
//
// Each printer's update has its own UpdateProgress and RFU platform, and the
// run keeps no file-level state, so printers could later run side by side.

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/run_board.h"
#include "update/firmware_choice.h"
#include "update/printer_record.h"
#include "update/rfu_sequencer.h"

// A version as the report gives it: unknown, one number, or per part (the
// packages of a NAND file, the components a printer reports).
struct ReportVersion {
  bool known = false;
  uint32_t number = 0;
  std::vector<std::pair<std::string, uint32_t>> parts;  // non-empty: per part
};

struct PrinterReport {
  std::wstring name;
  std::wstring port;     // empty: not known
  std::wstring kind;     // "network", "usb", "parallel"; empty: not known
  std::wstring address;  // network printers only
  std::wstring file;     // the firmware file's path; empty: none chosen
  ReportVersion fileVersion;
  ReportVersion versionBefore;
  ReportVersion versionAfter;
  std::wstring outcome;  // "updated", "current", "would-update", "failed", "not-applicable", "not-found"
  std::wstring detail;   // the outcome line a person reads
  double seconds = 0;
};

struct RunReport {
  ExitCode exitCode = EXITCODE_OK;
  std::vector<PrinterReport> printers;
};

// What an unattended run needs from outside the update.
struct UnattendedEnvironment {
  FirmwareTables tables;
  std::vector<std::wstring> driverNames;
  // SNMP and the registry for the RFU gate (the prompts are answered here).
  RfuPlatform* rfuSystem = nullptr;
  RunOutput output;
  // Where the printers' progress goes; null: a TextBoard on `output`.
  RunBoard* board = nullptr;
};

// The exit code of one printer's outcome.
ExitCode OutcomeExitCode(const std::wstring& outcome);

// Runs the check or update of every selected printer; exitCode is the worst.
RunReport RunUnattended(const CommandLine& line, const UnattendedEnvironment& env);

// The summary table printed at the end.
std::wstring SummaryText(const RunReport& report);
