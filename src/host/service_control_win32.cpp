#include <windows.h>

#include "host/service_control.h"

namespace {
void CopyStatus(const SERVICE_STATUS_PROCESS& from, ServiceStatus* to) {
  to->state = from.dwCurrentState;
  to->exitCode = from.dwWin32ExitCode;
  to->serviceExitCode = from.dwServiceSpecificExitCode;
  to->checkPoint = from.dwCheckPoint;
  to->waitHint = from.dwWaitHint;
}

// The service control manager. Each failing call keeps its error code at once,
// before anything (the logger included) can change the thread's last error.
class ScmServiceControl : public ServiceControl {
 public:
  ServiceHandle OpenManager(uint32_t access) override {
    SC_HANDLE h = OpenSCManagerW(nullptr, nullptr, access);
    if (!h) Fail();
    return h;
  }
  ServiceHandle Open(ServiceHandle manager, const wchar_t* name, uint32_t access) override {
    SC_HANDLE h = OpenServiceW(static_cast<SC_HANDLE>(manager), name, access);
    if (!h) Fail();
    return h;
  }
  void Close(ServiceHandle handle) override { CloseServiceHandle(static_cast<SC_HANDLE>(handle)); }
  int Query(ServiceHandle service, ServiceStatus* status) override {
    SERVICE_STATUS_PROCESS ssp{};
    DWORD needed = 0;
    if (!QueryServiceStatusEx(static_cast<SC_HANDLE>(service), SC_STATUS_PROCESS_INFO, reinterpret_cast<BYTE*>(&ssp),
                              sizeof ssp, &needed)) {
      return Fail();
    }
    CopyStatus(ssp, status);
    return 1;
  }
  int ControlStop(ServiceHandle service, ServiceStatus* status) override {
    // SERVICE_STATUS is the leading part of SERVICE_STATUS_PROCESS.
    SERVICE_STATUS_PROCESS ssp{};
    if (!ControlService(static_cast<SC_HANDLE>(service), SERVICE_CONTROL_STOP,
                        reinterpret_cast<SERVICE_STATUS*>(&ssp))) {
      return Fail();
    }
    CopyStatus(ssp, status);
    return 1;
  }
  int Start(ServiceHandle service) override {
    return StartServiceW(static_cast<SC_HANDLE>(service), 0, nullptr) ? 1 : Fail();
  }
  int EnumDependents(ServiceHandle service, void* buffer, uint32_t size, uint32_t* needed, uint32_t* count) override {
    DWORD bytesNeeded = 0;
    DWORD returned = 0;
    BOOL ok = EnumDependentServicesW(static_cast<SC_HANDLE>(service), SERVICE_ACTIVE,
                                     static_cast<ENUM_SERVICE_STATUSW*>(buffer), size, &bytesNeeded, &returned);
    *needed = bytesNeeded;
    *count = returned;
    return ok ? 1 : Fail();
  }
  const wchar_t* DependentName(const void* buffer, uint32_t index) override {
    return static_cast<const ENUM_SERVICE_STATUSW*>(buffer)[index].lpServiceName;
  }
  uint32_t LastError() override { return m_lastError; }

 private:
  int Fail() {
    m_lastError = GetLastError();
    return 0;
  }
  DWORD m_lastError = 0;
};
}  // namespace

ServiceControl& SystemServiceControl() {
  // One per thread: the kept error code belongs to the calling thread.
  thread_local ScmServiceControl control;
  return control;
}
