#pragma once
// The print spooler's service for tests, tied to a FakeSpooler: while it is
// stopped the spooler answers no question (its RPC server is gone, 1722), as
// the real one. Installed for the lifetime of the object. Services that
// depend on it (AddDependent) run with it: the manager refuses to stop it
// while one runs (1051) and to start one while it is stopped (1068), as the
// real one does; Wine's manager lists no dependents, so they are tested here.

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "host/service_control.h"
#include "support/fake_spooler.h"

class FakeSpoolerService : public ServiceControl {
 public:
  explicit FakeSpoolerService(FakeSpooler& spooler, bool running = true)
      : m_spooler(spooler), m_previous(SetServiceControlForTesting(this)) {
    SetRunning(running);
  }
  ~FakeSpoolerService() override { SetServiceControlForTesting(m_previous); }
  FakeSpoolerService(const FakeSpoolerService&) = delete;
  FakeSpoolerService& operator=(const FakeSpoolerService&) = delete;

  // Nonzero: every start of the spooler fails with this error and it stays as it is.
  std::atomic<uint32_t> startError{0};
  bool Running() const { return m_running; }
  void SetRunning(bool running) {
    m_running = running;
    constexpr uint32_t kRpcServerUnavailable = 1722;
    m_spooler.FailEnum(running ? SPOOLER_OK : SPOOLER_SIZE_FAILED, running ? 0 : kRpcServerUnavailable);
    m_spooler.FailGet(running ? SPOOLER_OK : SPOOLER_OPEN_FAILED, running ? 0 : kRpcServerUnavailable);
  }
  int Starts() const { return m_starts; }
  int Stops() const { return m_stops; }

  // A running dependent, listed in this order; `startError` nonzero: it
  // cannot be started again. Before the code under test runs.
  void AddDependent(const std::wstring& name, uint32_t dependentStartError = 0) {
    m_dependents.push_back({name, true, dependentStartError});
  }
  bool DependentRunning(const std::wstring& name) const {
    for (const Dependent& d : m_dependents) {
      if (d.name == name) return d.running;
    }
    return false;
  }

  ServiceHandle OpenManager(uint32_t) override { return this; }
  ServiceHandle Open(ServiceHandle, const wchar_t* name, uint32_t) override {
    for (Dependent& d : m_dependents) {
      if (d.name == name) return &d;
    }
    return this;
  }
  void Close(ServiceHandle) override {}
  int Query(ServiceHandle h, ServiceStatus* status) override {
    status->state = RunningOf(h) ? SVC_STATE_RUNNING : SVC_STATE_STOPPED;
    return 1;
  }
  int ControlStop(ServiceHandle h, ServiceStatus* status) override {
    if (h != this) {
      static_cast<Dependent*>(h)->running = false;
    } else {
      for (const Dependent& d : m_dependents) {
        if (d.running) return Fail(1051);  // ERROR_DEPENDENT_SERVICES_RUNNING
      }
      ++m_stops;
      SetRunning(false);
    }
    status->state = SVC_STATE_STOPPED;
    return 1;
  }
  int Start(ServiceHandle h) override {
    if (h != this) {
      Dependent& d = *static_cast<Dependent*>(h);
      if (!m_running) return Fail(1068);  // ERROR_SERVICE_DEPENDENCY_FAIL
      if (d.startError) return Fail(d.startError);
      if (d.running) return Fail(SVC_ERROR_ALREADY_RUNNING);
      d.running = true;
      return 1;
    }
    ++m_starts;
    if (startError) return Fail(startError.load());
    if (m_running) return Fail(SVC_ERROR_ALREADY_RUNNING);
    SetRunning(true);
    return 1;
  }
  int EnumDependents(ServiceHandle, void* buffer, uint32_t size, uint32_t* needed, uint32_t* count) override {
    m_listed.clear();
    for (const Dependent& d : m_dependents) {
      if (d.running) m_listed.push_back(d.name);
    }
    *needed = static_cast<uint32_t>(m_listed.size() * sizeof(void*));
    *count = 0;
    if (m_listed.empty()) return 1;
    if (!buffer || size < *needed) return Fail(SVC_ERROR_MORE_DATA);
    *count = static_cast<uint32_t>(m_listed.size());
    return 1;
  }
  const wchar_t* DependentName(const void*, uint32_t index) override { return m_listed[index].c_str(); }
  uint32_t LastError() override { return m_error; }

 private:
  struct Dependent {
    std::wstring name;
    bool running;
    uint32_t startError;
  };
  bool RunningOf(ServiceHandle h) const { return h == this ? m_running.load() : static_cast<Dependent*>(h)->running; }
  int Fail(uint32_t error) {
    m_error = error;
    return 0;
  }

  FakeSpooler& m_spooler;
  ServiceControl* m_previous;
  std::atomic<bool> m_running{true};
  std::atomic<int> m_starts{0};
  std::atomic<int> m_stops{0};
  std::atomic<uint32_t> m_error{0};
  std::vector<Dependent> m_dependents;
  std::vector<std::wstring> m_listed;
};
