#pragma once
// What each printer of a fleet run ended with: the records a front end turns
// into its summary, its report file and its exit code.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "update/fw_download.h"
#include "update/update_outcome.h"
#include "update/update_worker.h"

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
  std::wstring fileSha256;  // its SHA-256, 64 upper-case hex digits; empty: not known
  ReportVersion fileVersion;
  ReportVersion versionBefore;
  ReportVersion versionAfter;
  UpdateOutcome outcome = UpdateOutcome::None;
  std::wstring detail;   // the outcome line a person reads
  double seconds = 0;
  // The RFU setting the run switched on for the update could not be switched
  // off again: the run failed, whatever the printer's outcome.
  bool rfuLeftOn = false;
};

struct RunReport {
  // The process's exit code for the run: the front end decides it from the
  // outcomes; the fleet run leaves it 0.
  int exitCode = 0;
  std::vector<PrinterReport> printers;  // empty: no supported printer was selected
  // The spooler stopped for the downloads could not be started again: the
  // run failed, and nothing on this computer prints until it runs.
  bool spoolerLeftStopped = false;
  // The services that depend on the spooler, stopped with it, that could not
  // be started again: the run failed as well.
  std::vector<std::wstring> dependentsLeftStopped;
};

// A localised outcome line as one line: line breaks and runs of blanks become
// one blank.
std::wstring OneLineText(const std::wstring& text);
// Sets fileSha256 from the file as it is now, when it is not known yet.
void AddFileSha256(PrinterReport* report);
// The record of one update of the dialog's worker that took `seconds`.
PrinterReport WorkerReport(const plist_t& printer, const WorkerResult& result, double seconds);

// The packages of a NAND file the printer would take, by component; a BIN
// file's one version.
ReportVersion FileVersionOf(const ChosenFirmware& chosen);
// The version (or the component versions) the printer reported; unknown
// when it answered per component but named none.
ReportVersion PrinterVersionOf(const PrinterVersionCheck& check);
// The version as a person reads it: the number, "name=N,name=N" per part,
// "-" when not known.
std::wstring ReportVersionText(const ReportVersion& version);
// Records that the RFU setting switched on for the printer's update stays on.
void MarkRfuLeftOn(PrinterReport* printer);
// The same, unlogged: for a record that only repeats what is logged elsewhere
// (another queue of the printer, a switch-off still owed).
void NoteRfuLeftOn(PrinterReport* printer);
