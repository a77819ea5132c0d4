#include "app/unattended_run.h"

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

ExitCode OutcomeExitCode(const std::wstring& outcome) {
  if (outcome == L"updated" || outcome == L"would-update") return EXITCODE_OK;
  if (outcome == L"current") return EXITCODE_CURRENT;
  if (outcome == L"not-applicable") return EXITCODE_NOT_APPLICABLE;
  if (outcome == L"not-found") return EXITCODE_NO_DEVICE;
  return EXITCODE_FAILED;
}

RunReport RunUnattended(const CommandLine& line, const UnattendedEnvironment& env) {
  TextBoard textBoard(env.output);
  FleetEnvironment fleet = env;
  if (!fleet.board) fleet.board = &textBoard;
  RunReport report = RunFleetUpdate(FleetOptionsOf(line), fleet);
  if (report.printers.empty()) {
    report.exitCode = EXITCODE_NO_DEVICE;
    return report;
  }
  // From the first printer's code: no code ranks below every other.
  ExitCode worst = OutcomeExitCode(report.printers[0].outcome);
  for (const PrinterReport& p : report.printers) worst = WorseExitCode(worst, OutcomeExitCode(p.outcome));
  report.exitCode = worst;
  return report;
}

namespace {
std::wstring VersionText(const ReportVersion& v) {
  if (!v.known) return L"-";
  if (v.parts.empty()) return std::to_wstring(v.number);
  std::wstring text;
  for (const auto& part : v.parts) {
    if (!text.empty()) text += L",";
    text += FromUtf8Static(part.first.c_str());
    text += L"=" + std::to_wstring(part.second);
  }
  return text;
}

std::wstring Column(std::wstring text, size_t width) {
  if (text.size() < width) text.resize(width, L' ');
  return text + L" ";
}
}  // namespace

std::wstring SummaryText(const RunReport& report) {
  std::wstring text = Column(L"printer", 28) + Column(L"kind", 8) + Column(L"printer version", 16) +
                      Column(L"file version", 16) + L"outcome\r\n";
  for (const PrinterReport& p : report.printers) {
    text += Column(p.name, 28) + Column(p.kind.empty() ? L"-" : p.kind, 8) + Column(VersionText(p.versionBefore), 16) +
            Column(VersionText(p.fileVersion), 16) + p.outcome + L"\r\n";
  }
  text += L"exit code " + std::to_wstring(static_cast<int>(report.exitCode)) + L"\r\n";
  return text;
}
