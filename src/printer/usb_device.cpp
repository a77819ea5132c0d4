#include "printer/usb_device.h"

#include <atomic>

namespace {
std::atomic<UsbOpenHook> g_openHook{nullptr};
}  // namespace

UsbDeviceHandle OpenUSBDevice(const wchar_t* portName) {
  if (UsbOpenHook hook = g_openHook.load()) return hook(portName);
  return OpenUSBDeviceSystem(portName);
}

UsbOpenHook SetUsbOpenHookForTesting(UsbOpenHook hook) {
  return g_openHook.exchange(hook);
}
