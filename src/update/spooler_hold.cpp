#include "update/spooler_hold.h"

#include <mutex>

#include "host/logger.h"
#include "printer/services.h"
#include "update/run_interrupt.h"

namespace {
// Whether a hold keeps the spooler stopped; the lock keeps a stop and a start
// from crossing between the run and the process's end. Never destroyed: the
// process's end may use it from another thread.
struct HeldState {
  std::mutex lock;
  bool stopped = false;
  // The dependents the stop took down and no start brought back yet.
  StoppedServices dependents;
};

HeldState& Held() {
  static HeldState* state = new HeldState;
  return *state;
}

// Starts the held spooler; `when` ends the log line.
SpoolerRestart StartHeldSpooler(const wchar_t* when) {
  HeldState& held = Held();
  std::lock_guard<std::mutex> lock(held.lock);
  SpoolerRestart restart;
  if (!held.stopped) return restart;
  held.stopped = EnsureServiceRunning(SPOOLER_SERVICE_NAME, &held.dependents) == 0;
  Logger* log = Logger::Instance();
  if (held.stopped) {
    log->Write(L"ERROR: Unattended: the spooler could not be started again %ls; nothing on this computer prints "
               L"until it runs",
               when);
  } else {
    log->Write(L"Unattended: the spooler is started again %ls", when);
  }
  restart.spoolerRuns = !held.stopped;
  restart.dependentsStopped = held.dependents;
  // A spooler still stopped is retried at the process's end, with them.
  if (!held.stopped) held.dependents.clear();
  return restart;
}
}  // namespace

SpoolerHold::SpoolerHold(bool needed) : m_held(needed) {
  if (!m_held) return;
  HeldState& held = Held();
  std::lock_guard<std::mutex> lock(held.lock);
  // An interrupt has its spooler started at once: after it nothing stops it.
  if (RunInterrupted()) {
    m_held = false;
    return;
  }
  Logger::Instance()->Write(L"Unattended: the spooler is stopped for the run's downloads");
  held.stopped = true;
  held.dependents.clear();
  StopAService(SPOOLER_SERVICE_NAME, &held.dependents);
}

SpoolerHold::~SpoolerHold() {
  Release();
}

SpoolerRestart SpoolerHold::Release() {
  if (!m_held) return SpoolerRestart();
  m_held = false;
  return StartHeldSpooler(L"after the run's downloads");
}

SpoolerRestart RestartHeldSpooler() {
  return StartHeldSpooler(L"before the program ends");
}

SpoolerRestart ConfirmSpoolerRestarted(StoppedServices* stopped) {
  SpoolerRestart restart;
  restart.spoolerRuns = EnsureServiceRunning(SPOOLER_SERVICE_NAME, stopped) != 0;
  if (!restart.spoolerRuns) {
    Logger::Instance()->Write(L"ERROR: Unattended: the spooler could not be started again after the parallel "
                              L"port's downloads; nothing on this computer prints until it runs");
  }
  restart.dependentsStopped = *stopped;
  stopped->clear();
  return restart;
}
