// No setup interface here: no USB printing device can be found, and the open
// fails as it does on Windows with nothing connected (file not found).

#include "host/logger.h"
#include "printer/usb_device.h"

UsbDeviceHandle OpenUSBDeviceSystem(const wchar_t* portName) {
  Logger::Instance()->Write(L"GetDevInstIDViaPortname(%ls)", portName ? portName : L"");
  Logger::Instance()->WriteError(2, L"OpenUSBDevice Failed");
  return USB_DEVICE_NONE;
}
