// No parallel port and no printer-settings program here: every call fails as
// it does on Windows without them (file not found).

#include "transport/prll_device.h"

namespace {
constexpr uint32_t NOT_FOUND = 2;

class NoPrllDevice : public PrllDevice {
 public:
  DeviceHandle OpenPort(uint32_t* error) override {
    *error = NOT_FOUND;
    return DEVICE_NONE;
  }
  DeviceHandle OpenPortForReading(uint32_t* error) override {
    *error = NOT_FOUND;
    return DEVICE_NONE;
  }
  void ClosePort(DeviceHandle port) override { CloseDevice(port); }
  int RundllPath(char* out, size_t outSize) override {
    if (out && outSize) out[0] = 0;
    return 0;
  }
  int StartDefaultPrinter(const char*, const wchar_t*, uint32_t* error) override {
    *error = NOT_FOUND;
    return 0;
  }
};
}  // namespace

PrllDevice& SystemPrllDevice() {
  static NoPrllDevice device;
  return device;
}
