#include "host/service_control.h"

namespace {
constexpr uint32_t kNotImplemented = 120;  // ERROR_CALL_NOT_IMPLEMENTED

// No service control manager natively: every call fails, so the product code
// logs its failure lines and goes on as it would on Windows.
class NoServiceControl : public ServiceControl {
 public:
  ServiceHandle OpenManager(uint32_t) override { return nullptr; }
  ServiceHandle Open(ServiceHandle, const wchar_t*, uint32_t) override { return nullptr; }
  void Close(ServiceHandle) override {}
  int Query(ServiceHandle, ServiceStatus*) override { return 0; }
  int ControlStop(ServiceHandle, ServiceStatus*) override { return 0; }
  int Start(ServiceHandle) override { return 0; }
  int EnumDependents(ServiceHandle, void*, uint32_t, uint32_t*, uint32_t*) override { return 0; }
  const wchar_t* DependentName(const void*, uint32_t) override { return L""; }
  uint32_t LastError() override { return kNotImplemented; }
};
}  // namespace

ServiceControl& SystemServiceControl() {
  static NoServiceControl control;
  return control;
}
