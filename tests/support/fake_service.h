#pragma once
// The print spooler's service for tests, tied to a FakeSpooler: while it is
// stopped the spooler answers no question (its RPC server is gone, 1722), as
// the real one. Installed for the lifetime of the object.

#include <atomic>
#include <cstdint>

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

  // Nonzero: every start fails with this error and the service stays as it is.
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

  ServiceHandle OpenManager(uint32_t) override { return this; }
  ServiceHandle Open(ServiceHandle, const wchar_t*, uint32_t) override { return this; }
  void Close(ServiceHandle) override {}
  int Query(ServiceHandle, ServiceStatus* status) override {
    status->state = m_running ? SVC_STATE_RUNNING : SVC_STATE_STOPPED;
    return 1;
  }
  int ControlStop(ServiceHandle, ServiceStatus* status) override {
    ++m_stops;
    SetRunning(false);
    status->state = SVC_STATE_STOPPED;
    return 1;
  }
  int Start(ServiceHandle) override {
    ++m_starts;
    if (startError) {
      m_error = startError.load();
      return 0;
    }
    if (m_running) {
      m_error = SVC_ERROR_ALREADY_RUNNING;
      return 0;
    }
    SetRunning(true);
    return 1;
  }
  int EnumDependents(ServiceHandle, void*, uint32_t, uint32_t*, uint32_t* count) override {
    *count = 0;
    return 1;
  }
  const wchar_t* DependentName(const void*, uint32_t) override { return L""; }
  uint32_t LastError() override { return m_error; }

 private:
  FakeSpooler& m_spooler;
  ServiceControl* m_previous;
  std::atomic<bool> m_running{true};
  std::atomic<int> m_starts{0};
  std::atomic<int> m_stops{0};
  std::atomic<uint32_t> m_error{0};
};
