#pragma once
// A thin seam over the service control manager, so the stop/start sequences
// (waits, time limits, dependents) are portable and tested with a fake.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t SVC_STATE_STOPPED = 1;
constexpr uint32_t SVC_STATE_START_PENDING = 2;
constexpr uint32_t SVC_STATE_STOP_PENDING = 3;
constexpr uint32_t SVC_STATE_RUNNING = 4;

constexpr uint32_t SVC_ERROR_MORE_DATA = 234;
constexpr uint32_t SVC_ERROR_ALREADY_RUNNING = 1056;

constexpr uint32_t SVC_SCM_CONNECT = 0x0001;
constexpr uint32_t SVC_SCM_ALL_ACCESS = 0xF003F;
constexpr uint32_t SVC_ALL_ACCESS = 0xF01FF;
constexpr uint32_t SVC_STOP_QUERY_ENUM = 0x2C;  // stop, query status, enumerate dependents
constexpr uint32_t SVC_STOP_QUERY = 0x24;       // stop, query status
constexpr uint32_t SVC_QUERY = 0x04;            // query status

struct ServiceStatus {
  uint32_t state = 0;
  uint32_t exitCode = 0;
  uint32_t serviceExitCode = 0;
  uint32_t checkPoint = 0;
  uint32_t waitHint = 0;
};

using ServiceHandle = void*;

class ServiceControl {
 public:
  virtual ~ServiceControl() = default;
  // nullptr on failure (LastError tells why).
  virtual ServiceHandle OpenManager(uint32_t access) = 0;
  virtual ServiceHandle Open(ServiceHandle manager, const wchar_t* name, uint32_t access) = 0;
  virtual void Close(ServiceHandle handle) = 0;
  // The calls return 1 on success, 0 on failure.
  virtual int Query(ServiceHandle service, ServiceStatus* status) = 0;
  virtual int ControlStop(ServiceHandle service, ServiceStatus* status) = 0;
  virtual int Start(ServiceHandle service) = 0;
  // Active dependents, two-call sizing: with buffer == nullptr (size 0) it
  // reports the bytes needed. On success *count entries are in the buffer,
  // read back with DependentName.
  virtual int EnumDependents(ServiceHandle service, void* buffer, uint32_t size, uint32_t* needed, uint32_t* count) = 0;
  virtual const wchar_t* DependentName(const void* buffer, uint32_t index) = 0;
  virtual uint32_t LastError() = 0;
};

// The dependents a stop took down with their service, in the order they
// stopped, and not yet seen running again: the caller keeps it from the stop
// to the start, which brings them back in reverse order.
using StoppedServices = std::vector<std::wstring>;

// The sequences behind StopAService/StartAService/EnsureServiceRunning/
// ServiceIsRunning over any service control.
int StopServiceWith(ServiceControl& scm, const wchar_t* serviceName, StoppedServices* stopped = nullptr);
int StartServiceWith(ServiceControl& scm, const wchar_t* serviceName, StoppedServices* stopped = nullptr);
int EnsureServiceRunningWith(ServiceControl& scm, const wchar_t* serviceName, StoppedServices* stopped = nullptr);
int ServiceIsRunningWith(ServiceControl& scm, const wchar_t* serviceName);

// The real service control manager (service_control_win32.cpp); the POSIX one
// fails every call with 120 (not implemented).
ServiceControl& SystemServiceControl();
// Replaces the service control StopAService/StartAService use; nullptr restores
// the system's. Returns the previous override. Only tests call this.
ServiceControl* SetServiceControlForTesting(ServiceControl* control);
