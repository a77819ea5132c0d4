#include "app/unattended_run.h"

#include "app/update_record.h"
#include "host/text_utils.h"
#include "update/fleet_run.h"

FleetOptions FleetOptionsOf(const CommandLine& line) {
  FleetOptions options;
  options.checkOnly = line.checkOnly;
  options.force = line.force;
  options.printers = line.printers;
  options.rfu = line.rfu;
  options.getCommunity = line.getCommunity;
  options.setCommunity = line.setCommunity;
  options.parallel = line.parallel;
  return options;
}

ExitCode OutcomeExitCode(UpdateOutcome outcome) {
  if (outcome == UpdateOutcome::Updated || outcome == UpdateOutcome::WouldUpdate) return EXITCODE_OK;
  if (outcome == UpdateOutcome::Current) return EXITCODE_CURRENT;
  if (outcome == UpdateOutcome::NotApplicable) return EXITCODE_NOT_APPLICABLE;
  if (outcome == UpdateOutcome::NotFound) return EXITCODE_NO_DEVICE;
  return EXITCODE_FAILED;
}

ExitCode RunExitCode(const RunReport& report) {
  if (report.printers.empty()) return EXITCODE_NO_DEVICE;
  // An RFU setting left on, the spooler or a service stopped with it left
  // stopped fails the run: each needs someone at that printer or this computer.
  auto codeOf = [](const PrinterReport& p) { return p.rfuLeftOn ? EXITCODE_FAILED : OutcomeExitCode(p.outcome); };
  const bool servicesLeft = report.spoolerLeftStopped || !report.dependentsLeftStopped.empty();
  // From the first printer's code: no code ranks below every other.
  ExitCode worst = servicesLeft ? EXITCODE_FAILED : codeOf(report.printers[0]);
  for (const PrinterReport& p : report.printers) worst = WorseExitCode(worst, codeOf(p));
  return worst;
}

RunReport RunUnattended(const CommandLine& line, const UnattendedEnvironment& env) {
  TextBoard textBoard(env.output);
  FleetEnvironment fleet = env;
  if (!fleet.board) fleet.board = &textBoard;
  // A check writes nothing, on the printers or here.
  if (!fleet.recordUpdate && !line.checkOnly) fleet.recordUpdate = RecordUpdate;
  RunReport report = RunFleetUpdate(FleetOptionsOf(line), fleet);
  report.exitCode = RunExitCode(report);
  return report;
}

std::wstring TableColumn(std::wstring text, size_t width) {
  if (text.size() < width) text.resize(width, L' ');
  return text + L" ";
}

std::wstring SummaryText(const RunReport& report) {
  std::wstring text = TableColumn(L"printer", 28) + TableColumn(L"kind", 8) + TableColumn(L"printer version", 16) +
                      TableColumn(L"file version", 16) + L"outcome\r\n";
  for (const PrinterReport& p : report.printers) {
    text += TableColumn(p.name, 28) + TableColumn(p.kind.empty() ? L"-" : p.kind, 8) +
            TableColumn(ReportVersionText(p.versionBefore), 16) + TableColumn(ReportVersionText(p.fileVersion), 16) +
            OutcomeText(p.outcome) + L"\r\n";
  }
  text += L"exit code " + std::to_wstring(static_cast<int>(report.exitCode)) + L"\r\n";
  return text;
}
