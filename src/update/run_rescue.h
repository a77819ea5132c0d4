#pragma once
// When the process is to end before its run does (the console closed: the
// system ends the process a few seconds later, whatever it waits for), what
// the run must not leave behind is put right from the ending thread: the
// spooler a hold keeps stopped is started, the outcomes so far go to the
// front end's report with the unfinished printers failed, and the RFU
// settings the run switched on are switched off. The run records as it goes
// what that takes. Process-wide, as the end of the process is: one run a
// process.

#include <cstddef>
#include <functional>
#include <string>

#include "update/fleet_report.h"

// The run's printers, before any of them starts (a new run forgets the last).
void RescueRecordRun(const RunReport& report);
// Queue `rider` ends with the outcome of queue `carrier`, the same device's.
void RescueRecordRider(size_t rider, size_t carrier);
// Printer `index` as far as it got; its outcome once it ended.
void RescueRecordPrinter(size_t index, const PrinterReport& printer);
// A switch-off the run owes printer `index` (true: the printer took it).
void RescueOweSwitchOff(size_t index, std::function<bool()> switchOff);
// The owed switch-off, for the run to do itself; empty when none is owed or
// the process's end took it.
std::function<bool()> RescueTakeSwitchOff(size_t index);

// What the front end does with a rescued report (writes its file); empty:
// nothing. Replacing it waits for a write in progress.
void SetRescueReportWriter(std::function<void(const RunReport&)> writer);

// Puts right what the run leaves behind, in the order that matters most if
// the process ends half way: the spooler, the report (each unfinished printer
// failed, `why` in its detail, each owed switch-off counted as failed), the
// RFU switch-offs, and the report again with their outcome. Any thread.
void RescueRun(const std::wstring& why);
// Marks the printers (riders with their carrier) whose switch-off the
// process's end took and that has not succeeded, in the run's own report.
void RescueNoteRfuLeftOn(RunReport* report);
