#include "printer/services.h"

#include <algorithm>
#include <atomic>
#include <memory>
#include <new>

#include "host/clock.h"
#include "host/logger.h"
#include "host/service_control.h"

namespace {
std::atomic<ServiceControl*> g_controlOverride{nullptr};

ServiceControl& ActiveControl() {
  ServiceControl* c = g_controlOverride.load(std::memory_order_acquire);
  return c ? *c : SystemServiceControl();
}

constexpr uint32_t kStartPollMinMs = 1000;
constexpr uint32_t kStartPollMaxMs = 10000;
constexpr int kNotEnoughMemory = 8;  // ERROR_NOT_ENOUGH_MEMORY

// Closes a service handle of the given control on every path.
class ScopedService {
 public:
  ScopedService(ServiceControl& scm, ServiceHandle h) : m_scm(scm), m_handle(h) {}
  ~ScopedService() {
    if (m_handle) m_scm.Close(m_handle);
  }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;
  ServiceHandle Get() const { return m_handle; }
  explicit operator bool() const { return m_handle != nullptr; }

 private:
  ServiceControl& m_scm;
  ServiceHandle m_handle;
};

// Unsigned difference: right across the tick counter's wrap-around.
bool LimitPassed(uint32_t start) {
  return static_cast<uint32_t>(TickCountMs() - start) > SERVICE_STOP_LIMIT_MS;
}

void LogGle(ServiceControl& scm, const wchar_t* format) {
  Logger::Instance()->Write(format, static_cast<int>(scm.LastError()));
}

// Stops the active dependents one by one, noting each one asked to stop in
// `*stopped`. A failure ends this step only; the caller goes on and asks the
// service itself to stop.
void StopDependents(ServiceControl& scm, ServiceHandle manager, ServiceHandle service, uint32_t start,
                    StoppedServices* stopped) {
  Logger* log = Logger::Instance();
  uint32_t needed = 0;
  uint32_t count = 0;
  if (scm.EnumDependents(service, nullptr, 0, &needed, &count)) return;  // none
  if (scm.LastError() != SVC_ERROR_MORE_DATA) return;

  std::unique_ptr<unsigned char[]> list(new (std::nothrow) unsigned char[needed ? needed : 1]);
  if (!list) {
    log->Write(L"memory allocation failed (gle=%d)", kNotEnoughMemory);
    return;
  }
  if (!scm.EnumDependents(service, list.get(), needed, &needed, &count)) {
    LogGle(scm, L"EnumDependentServices failed (gle=%d)");
    return;
  }
  for (uint32_t i = 0; i < count; ++i) {
    ScopedService dependent(scm, scm.Open(manager, scm.DependentName(list.get(), i), SVC_STOP_QUERY));
    if (!dependent) {
      LogGle(scm, L"OpenService dependent failed (gle=%d)");
      return;
    }
    ServiceStatus status;
    if (!scm.ControlStop(dependent.Get(), &status)) {
      LogGle(scm, L"ControlService dependent failed (gle=%d)");
      return;
    }
    const wchar_t* name = scm.DependentName(list.get(), i);
    if (stopped && std::find(stopped->begin(), stopped->end(), name) == stopped->end()) stopped->push_back(name);
    while (status.state != SVC_STATE_STOPPED) {
      SleepMs(status.waitHint);
      if (!scm.Query(dependent.Get(), &status)) {
        LogGle(scm, L"QueryServiceStatusEx dependent failed (gle=%d)");
        return;
      }
      if (status.state == SVC_STATE_STOPPED) break;
      if (LimitPassed(start)) {
        log->Write(L"Stopping dependent service timed out");
        return;
      }
    }
  }
}
}  // namespace

ServiceControl* SetServiceControlForTesting(ServiceControl* control) {
  return g_controlOverride.exchange(control, std::memory_order_acq_rel);
}

int StopServiceWith(ServiceControl& scm, const wchar_t* serviceName, StoppedServices* stopped) {
  const uint32_t start = TickCountMs();
  Logger* log = Logger::Instance();
  log->Write(L"StopAService(%ls)", serviceName);

  ScopedService manager(scm, scm.OpenManager(SVC_SCM_CONNECT));
  if (!manager) {
    LogGle(scm, L"OpenSCManager failed (gle=%d)");
    return 0;
  }
  ScopedService service(scm, scm.Open(manager.Get(), serviceName, SVC_STOP_QUERY_ENUM));
  if (!service) {
    LogGle(scm, L"OpenService failed (gle=%d)");
    return 0;
  }

  ServiceStatus status;
  if (!scm.Query(service.Get(), &status)) {
    LogGle(scm, L"QueryServiceStatusEx failed (gle=%d)");
    return 0;
  }
  if (status.state == SVC_STATE_STOPPED) return 0;

  while (status.state == SVC_STATE_STOP_PENDING) {
    SleepMs(status.waitHint);
    if (!scm.Query(service.Get(), &status)) {
      LogGle(scm, L"QueryServiceStatusEx failed (gle=%d)");
      return 0;
    }
    if (status.state == SVC_STATE_STOPPED) return 0;
    if (LimitPassed(start)) {
      log->Write(L"Stopping service timed out");
      return 0;
    }
  }

  StopDependents(scm, manager.Get(), service.Get(), start, stopped);

  if (!scm.ControlStop(service.Get(), &status)) {
    LogGle(scm, L"ControlService failed (gle=%d)");
    return 0;
  }
  while (status.state != SVC_STATE_STOPPED) {
    SleepMs(status.waitHint);
    if (!scm.Query(service.Get(), &status)) {
      LogGle(scm, L"QueryServiceStatusEx failed (gle=%d)");
      return 0;
    }
    if (status.state == SVC_STATE_STOPPED) break;
    if (LimitPassed(start)) {
      log->Write(L"Stopping service timed out");
      return 0;
    }
  }
  return 0;
}

namespace {
// How a start ended. StartAService folds these into its two results; a caller
// that needs the service learns from them whether it runs.
enum class StartEnd { Running, NotRunning, Unknown };

// Waits while the service starts: a tenth of its hint each time, within one
// and ten seconds, for as long as its check point moves within the hint.
void AwaitStart(ServiceControl& scm, ServiceHandle service, ServiceStatus* status) {
  uint32_t since = TickCountMs();
  uint32_t checkPoint = status->checkPoint;
  while (status->state == SVC_STATE_START_PENDING) {
    uint32_t wait = status->waitHint / 10;
    if (wait < kStartPollMinMs) wait = kStartPollMinMs;
    if (wait > kStartPollMaxMs) wait = kStartPollMaxMs;
    SleepMs(wait);
    if (!scm.Query(service, status)) break;
    if (status->checkPoint > checkPoint) {
      since = TickCountMs();
      checkPoint = status->checkPoint;
    } else if (static_cast<uint32_t>(TickCountMs() - since) > status->waitHint) {
      break;
    }
  }
}

StartEnd StartAndAwait(ServiceControl& scm, const wchar_t* serviceName) {
  Logger* log = Logger::Instance();
  log->Write(L"StartAService(%ls)", serviceName);

  ScopedService manager(scm, scm.OpenManager(SVC_SCM_ALL_ACCESS));
  if (!manager) {
    LogGle(scm, L"OpenSCManager failed (gle=%d)");
    return StartEnd::Unknown;
  }
  ScopedService service(scm, scm.Open(manager.Get(), serviceName, SVC_ALL_ACCESS));
  if (!service) {
    LogGle(scm, L"OpenService failed (gle=%d)");
    return StartEnd::Unknown;
  }
  // "Already running" is also the answer while the system still starts it
  // (at boot): its state tells.
  if (!scm.Start(service.Get())) {
    uint32_t error = scm.LastError();
    if (error != SVC_ERROR_ALREADY_RUNNING) {
      log->WriteError(error, L"StartService failed");
      return StartEnd::Unknown;
    }
  }

  ServiceStatus status;
  if (!scm.Query(service.Get(), &status)) {
    LogGle(scm, L"QueryServiceStatusEx failed (gle=%d)");
    return StartEnd::Unknown;
  }
  AwaitStart(scm, service.Get(), &status);

  if (status.state == SVC_STATE_RUNNING) return StartEnd::Running;
  log->Write(L"Failed to start %ls service. \nCurrent State: %d\nExit Code: %d\nService Specific Exit Code: %d\n",
             serviceName, static_cast<int>(status.state), static_cast<int>(status.exitCode),
             static_cast<int>(status.serviceExitCode));
  return StartEnd::NotRunning;
}

// Starts the service, then what its stop took down, last stopped first; a
// dependent that does not run stays in the list, told by a line of its own.
StartEnd StartWithDependents(ServiceControl& scm, const wchar_t* serviceName, StoppedServices* stopped) {
  const StartEnd end = StartAndAwait(scm, serviceName);
  if (!stopped || stopped->empty()) return end;
  StoppedServices left;
  for (auto it = stopped->rbegin(); it != stopped->rend(); ++it) {
    if (end == StartEnd::Running && StartAndAwait(scm, it->c_str()) == StartEnd::Running) continue;
    Logger::Instance()->Write(L"ERROR: the service %ls, stopped with %ls, could not be started again", it->c_str(),
                              serviceName);
    left.insert(left.begin(), *it);
  }
  stopped->swap(left);
  return end;
}
}  // namespace

int StartServiceWith(ServiceControl& scm, const wchar_t* serviceName, StoppedServices* stopped) {
  return StartWithDependents(scm, serviceName, stopped) == StartEnd::NotRunning ? SERVICE_RESULT_NOT_RUNNING : 0;
}

int EnsureServiceRunningWith(ServiceControl& scm, const wchar_t* serviceName, StoppedServices* stopped) {
  return StartWithDependents(scm, serviceName, stopped) == StartEnd::Running ? 1 : 0;
}

int ServiceIsRunningWith(ServiceControl& scm, const wchar_t* serviceName) {
  ScopedService manager(scm, scm.OpenManager(SVC_SCM_CONNECT));
  if (!manager) {
    LogGle(scm, L"OpenSCManager failed (gle=%d)");
    return 0;
  }
  ScopedService service(scm, scm.Open(manager.Get(), serviceName, SVC_QUERY));
  if (!service) {
    LogGle(scm, L"OpenService failed (gle=%d)");
    return 0;
  }
  ServiceStatus status;
  if (!scm.Query(service.Get(), &status)) {
    LogGle(scm, L"QueryServiceStatusEx failed (gle=%d)");
    return 0;
  }
  AwaitStart(scm, service.Get(), &status);
  return status.state == SVC_STATE_RUNNING ? 1 : 0;
}

int StopAService(const wchar_t* serviceName, StoppedServices* stopped) {
  return StopServiceWith(ActiveControl(), serviceName, stopped);
}

int StartAService(const wchar_t* serviceName, StoppedServices* stopped) {
  return StartServiceWith(ActiveControl(), serviceName, stopped);
}

int EnsureServiceRunning(const wchar_t* serviceName, StoppedServices* stopped) {
  return EnsureServiceRunningWith(ActiveControl(), serviceName, stopped);
}

int ServiceIsRunning(const wchar_t* serviceName) {
  return ServiceIsRunningWith(ActiveControl(), serviceName);
}
