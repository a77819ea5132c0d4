#include "update/run_rescue.h"

#include <mutex>
#include <utility>
#include <vector>

#include "host/logger.h"
#include "update/spooler_hold.h"

namespace {
struct Record {
  std::mutex lock;
  RunReport report;
  std::vector<std::function<bool()>> switchOffs;  // by printer; empty: none owed
  std::vector<size_t> carriers;                   // by printer: the queue that carries its device
  // By printer: a switch-off the process's end took and that has not
  // succeeded (yet): the setting counts as left on.
  std::vector<bool> leftOn;
};

// Never destroyed: a run's thread may record while the process ends.
Record& Recorded() {
  static Record* record = new Record;
  return *record;
}

// Held while the writer is replaced or runs, so that it is never called after
// its owner dropped it.
std::mutex& WriterLock() {
  static std::mutex* lock = new std::mutex;
  return *lock;
}

std::function<void(const RunReport&)>& Writer() {
  static auto* writer = new std::function<void(const RunReport&)>;
  return *writer;
}

void Write(const RunReport& report) {
  std::lock_guard<std::mutex> lock(WriterLock());
  if (Writer()) Writer()(report);
}
}  // namespace

void RescueRecordRun(const RunReport& report) {
  Record& r = Recorded();
  std::lock_guard<std::mutex> lock(r.lock);
  r.report = report;
  r.switchOffs.assign(report.printers.size(), nullptr);
  r.carriers.resize(report.printers.size());
  for (size_t i = 0; i < r.carriers.size(); ++i) r.carriers[i] = i;
  r.leftOn.assign(report.printers.size(), false);
}

void RescueRecordRider(size_t rider, size_t carrier) {
  Record& r = Recorded();
  std::lock_guard<std::mutex> lock(r.lock);
  if (rider < r.carriers.size() && carrier < r.carriers.size()) r.carriers[rider] = carrier;
}

void RescueRecordPrinter(size_t index, const PrinterReport& printer) {
  Record& r = Recorded();
  std::lock_guard<std::mutex> lock(r.lock);
  if (index < r.report.printers.size()) r.report.printers[index] = printer;
}

void RescueOweSwitchOff(size_t index, std::function<bool()> switchOff) {
  Record& r = Recorded();
  std::lock_guard<std::mutex> lock(r.lock);
  if (index < r.switchOffs.size()) r.switchOffs[index] = std::move(switchOff);
}

std::function<bool()> RescueTakeSwitchOff(size_t index) {
  Record& r = Recorded();
  std::lock_guard<std::mutex> lock(r.lock);
  std::function<bool()> taken;
  if (index < r.switchOffs.size()) std::swap(taken, r.switchOffs[index]);
  return taken;
}

void SetRescueReportWriter(std::function<void(const RunReport&)> writer) {
  std::lock_guard<std::mutex> lock(WriterLock());
  Writer() = std::move(writer);
}

void RescueRun(const std::wstring& why) {
  Logger* log = Logger::Instance();
  const SpoolerRestart restart = RestartHeldSpooler();

  RunReport report;
  std::vector<std::function<bool()>> switchOffs;
  {
    Record& r = Recorded();
    std::lock_guard<std::mutex> lock(r.lock);
    report = r.report;
    switchOffs.swap(r.switchOffs);
    for (size_t i = 0; i < switchOffs.size() && i < r.leftOn.size(); ++i) {
      if (switchOffs[i]) r.leftOn[i] = true;
    }
  }
  report.spoolerLeftStopped = !restart.spoolerRuns;
  report.dependentsLeftStopped = restart.dependentsStopped;
  for (PrinterReport& p : report.printers) {
    if (p.outcome != UpdateOutcome::None) continue;
    p.outcome = UpdateOutcome::Failed;
    p.detail = p.name + L": the run was interrupted (" + why + L") before this printer's update ended";
    log->Write(L"Unattended: %ls: %ls (%ls)", p.name.c_str(), OutcomeText(p.outcome), p.detail.c_str());
  }
  // The process may end during any switch-off: until one succeeded, its
  // printer (and the queues riding with it) has the setting on.
  RunReport first = report;
  RescueNoteRfuLeftOn(&first);
  if (!report.printers.empty()) Write(first);

  bool switched = false;
  for (size_t i = 0; i < switchOffs.size() && i < report.printers.size(); ++i) {
    if (!switchOffs[i]) continue;
    switched = true;
    LogPrinterScope scope(report.printers[i].name.c_str());
    if (!switchOffs[i]()) {
      MarkRfuLeftOn(&report.printers[i]);
      continue;
    }
    Record& r = Recorded();
    std::lock_guard<std::mutex> lock(r.lock);
    if (i < r.leftOn.size()) r.leftOn[i] = false;
  }
  if (!switched) return;
  RescueNoteRfuLeftOn(&report);
  Write(report);
}

void RescueNoteRfuLeftOn(RunReport* report) {
  Record& r = Recorded();
  std::lock_guard<std::mutex> lock(r.lock);
  for (size_t i = 0; i < report->printers.size() && i < r.carriers.size(); ++i) {
    const size_t carrier = r.carriers[i];
    if (carrier < r.leftOn.size() && r.leftOn[carrier]) NoteRfuLeftOn(&report->printers[i]);
  }
}
