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
};

HeldState& Held() {
  static HeldState* state = new HeldState;
  return *state;
}

// Starts the held spooler; `when` ends the log line.
bool StartHeldSpooler(const wchar_t* when) {
  HeldState& held = Held();
  std::lock_guard<std::mutex> lock(held.lock);
  if (!held.stopped) return true;
  held.stopped = EnsureServiceRunning() == 0;
  Logger* log = Logger::Instance();
  if (held.stopped) {
    log->Write(L"ERROR: Unattended: the spooler could not be started again %ls; nothing on this computer prints "
               L"until it runs",
               when);
  } else {
    log->Write(L"Unattended: the spooler is started again %ls", when);
  }
  return !held.stopped;
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
  StopAService();
}

SpoolerHold::~SpoolerHold() {
  Release();
}

bool SpoolerHold::Release() {
  if (!m_held) return true;
  m_held = false;
  return StartHeldSpooler(L"after the run's downloads");
}

bool RestartHeldSpooler() {
  return StartHeldSpooler(L"before the program ends");
}
