#include "update/fleet_run.h"

#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include "host/clock.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "update/device_groups.h"
#include "update/fleet_schedule.h"
#include "update/printer_run.h"
#include "update/run_interrupt.h"
#include "update/run_rescue.h"
#include "update/spooler_hold.h"

namespace {

class SilentBoard : public RunBoard {
 public:
  void Begin(const std::vector<std::wstring>&) override {}
  void Progress(size_t, const UpdateProgressState&, UpdateProgressEvent) override {}
  void End(size_t, UpdateOutcome, const std::wstring&) override {}
  void Line(const std::wstring&) override {}
};

using Runs = std::vector<std::unique_ptr<PrinterRun>>;

FleetLane LaneOf(PortKind kind) {
  if (kind == PORT_USB) return FleetLane::Usb;
  if (kind == PORT_PARALLEL) return FleetLane::Alone;
  return FleetLane::Network;
}

// Puts what a start of the spooler left undone into the report and on the
// board: the run failed, and someone has to start it at this computer.
void NoteSpoolerRestart(const SpoolerRestart& restart, RunReport* report, RunBoard& board) {
  if (!restart.spoolerRuns && !report->spoolerLeftStopped) {
    report->spoolerLeftStopped = true;
    board.Line(L"The print spooler could not be started again: nothing on this computer prints until it runs.");
  }
  for (const std::wstring& name : restart.dependentsStopped) {
    report->dependentsLeftStopped.push_back(name);
    board.Line(L"The service " + name + L", stopped with the print spooler, could not be started again.");
  }
}

// Runs `step` for the printers `pick` chooses, side by side as the schedule
// allows, until the run is interrupted.
void RunStep(Runs& runs, int limit, const std::function<bool(const PrinterRun&)>& pick,
             const std::function<void(PrinterRun&)>& step) {
  std::vector<PrinterRun*> chosen;
  std::vector<FleetLane> lanes;
  for (auto& run : runs) {
    if (!pick(*run)) continue;
    chosen.push_back(run.get());
    lanes.push_back(LaneOf(run->Kind()));
  }
  if (chosen.empty()) return;
  RunFleet(
      lanes, limit, [&](size_t i) { step(*chosen[i]); }, RunInterrupted);
}

// Each selected name with the installed printer it names (null: none). A
// name given twice, in any letter case, is one entry.
std::vector<std::pair<std::wstring, const plist_t*>> SelectPrinters(const std::vector<std::wstring>& names,
                                                                    const std::vector<plist_t>& installed) {
  std::vector<std::pair<std::wstring, const plist_t*>> selected;
  if (names.empty()) {
    for (const plist_t& p : installed) selected.emplace_back(p.printerName, &p);
    return selected;
  }
  for (const std::wstring& name : names) {
    const plist_t* match = nullptr;
    for (const plist_t& p : installed) {
      if (TextEquals(p.printerName.c_str(), name.c_str())) {
        match = &p;
        break;
      }
    }
    const std::wstring& shown = match ? match->printerName : name;
    bool repeated = false;
    for (const auto& s : selected) repeated = repeated || TextEquals(s.first.c_str(), shown.c_str());
    if (!repeated) selected.emplace_back(shown, match);
  }
  return selected;
}

// The first queue of each device carries its update; the others ride along.
void GroupByDevice(Runs& runs) {
  std::vector<DeviceKey> keys;
  for (const auto& run : runs) keys.push_back(run->Device());
  const std::vector<size_t> carriers = DeviceCarriers(keys);
  for (size_t i = 0; i < runs.size(); ++i) {
    if (carriers[i] != i && !runs[i]->Ended()) runs[i]->RideWith(*runs[carriers[i]]);
  }
}

}  // namespace

RunReport RunFleetUpdate(const FleetOptions& options, const FleetEnvironment& env) {
  RunReport report;
  SilentBoard silentBoard;
  RunBoard& board = env.board ? *env.board : silentBoard;
  const std::vector<plist_t> installed = CollectSupportedPrinters(env.driverNames);

  const std::vector<std::pair<std::wstring, const plist_t*>> selected = SelectPrinters(options.printers, installed);
  if (selected.empty()) {
    Logger::Instance()->Write(L"Unattended: no supported printer is installed");
    board.Line(L"No supported printer is installed.");
    return report;
  }

  // Declared before the printers: their claims go before the images.
  FirmwareImages images;
  report.printers.resize(selected.size());
  std::vector<std::wstring> names;
  for (const auto& s : selected) names.push_back(s.first);
  board.Begin(names);
  Runs runs;
  for (size_t i = 0; i < selected.size(); ++i) {
    report.printers[i].name = selected[i].first;
    runs.push_back(
        std::make_unique<PrinterRun>(options, env, board, i, &report.printers[i], selected[i].second, images));
  }
  RescueRecordRun(report);

  // Each step for every printer before the next: the spooler is asked while
  // it runs, the RFU gates (SNMP, the sequencer's registry values) go one
  // printer at a time, the spooler is stopped once around all downloads, and
  // switch-offs wait for the last update to end.
  const int limit = options.parallel;
  for (auto& run : runs) run->Lookup();
  GroupByDevice(runs);
  RunStep(
      runs, limit, [](const PrinterRun& r) { return !r.Ended() && !r.Rides(); }, [](PrinterRun& r) { r.Check(); });
  for (auto& run : runs) {
    if (RunInterrupted()) break;
    if (run->ToWrite()) run->Gate();
  }
  // A check ended every printer at its gate; nothing below writes then.
  if (options.checkOnly) {
    for (auto& run : runs) run->EndInterrupted();
    return report;
  }
  // A parallel port's openings restart the spooler: those printers go alone,
  // before the hold, and the run checks that it came back.
  StoppedServices parallelStops;
  bool parallelWrites = false;
  RunStep(
      runs, 1, [](const PrinterRun& r) { return r.ToWrite() && r.Kind() == PORT_PARALLEL; },
      [&](PrinterRun& r) {
        parallelWrites = true;
        r.Download(false, &parallelStops);
      });
  if (parallelWrites) NoteSpoolerRestart(ConfirmSpoolerRestarted(&parallelStops), &report, board);
  {
    bool downloads = false;
    for (auto& run : runs) downloads = downloads || (run->ToWrite() && run->Kind() != PORT_PARALLEL);
    SpoolerHold hold(downloads && !RunInterrupted());
    RunStep(
        runs, limit, [](const PrinterRun& r) { return r.ToWrite() && r.Kind() != PORT_PARALLEL; },
        [](PrinterRun& r) { r.Download(true); });
    NoteSpoolerRestart(hold.Release(), &report, board);
  }
  // The last burn may still be restarting its printer.
  const uint32_t downloadsEnded = TickCountMs();
  for (auto& run : runs) run->SwitchOff(downloadsEnded);
  // A console close took the switch-offs it found: this report replaces the
  // one it wrote, and must not lose what it left on.
  RescueNoteRfuLeftOn(&report);
  for (auto& run : runs) run->EndInterrupted();
  return report;
}
