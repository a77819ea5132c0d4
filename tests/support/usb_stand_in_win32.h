#pragma once
// A USB printing device for Wine tests. FakeUsbDeviceTree writes device nodes
// the setup interface lists (a USB device exposing the USB printing interface,
// and its printer child with "PortName" and configuration flags) and removes
// them again. UsbRelay runs tools/usb-relay, which serves a device's interface
// path as a named pipe relayed to a simulated printer (support/printer_sim.h).
// Tests that use either hold the RESOURCE_LOCK usb-device-tree (the prefix's
// device tree and the device names are shared).

#include <windows.h>

#include <string>
#include <vector>

struct FakeUsbPrinter {
  std::wstring serial;  // the last part of the USB instance id; devices are listed in serial order
  std::wstring port;    // the printer child's "PortName"
  DWORD configFlags = 0;
};

class FakeUsbDeviceTree {
 public:
  explicit FakeUsbDeviceTree(const std::vector<FakeUsbPrinter>& printers);
  ~FakeUsbDeviceTree();
  FakeUsbDeviceTree(const FakeUsbDeviceTree&) = delete;
  FakeUsbDeviceTree& operator=(const FakeUsbDeviceTree&) = delete;

  bool ok() const { return m_ok; }
  // USB\VID_0A5F&PID_00D1\<serial>
  static std::wstring InstanceId(const std::wstring& serial);
  // The interface path without "\\?\": the name usb-relay links to its pipe.
  static std::wstring LinkName(const std::wstring& serial);
  // Removes every node a test left behind.
  static void RemoveAll();

 private:
  bool m_ok = true;
};

class UsbRelay {
 public:
  UsbRelay() = default;
  ~UsbRelay();
  UsbRelay(const UsbRelay&) = delete;
  UsbRelay& operator=(const UsbRelay&) = delete;

  // Serves \\.\pipe\<pipe> under each of `links`, relayed to address:port;
  // waits until it serves. False and error() on failure.
  bool Start(const std::wstring& pipe, const std::vector<std::wstring>& links, const std::string& address, int port);
  void Stop();
  const std::string& error() const { return m_error; }

 private:
  HANDLE m_process = nullptr;
  std::string m_error;
};
