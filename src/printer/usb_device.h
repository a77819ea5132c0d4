#pragma once
// From a spooler port name (USB001) to an open handle on the same physical USB
// printing device, so the USB transport can talk to the printer past the
// spooler. The device walk itself is Windows only (usb_device_win32.h).

#include <cstddef>
#include <cstdint>

// A system file handle opened for overlapped I/O (the transport's
// DeviceHandle); USB_DEVICE_NONE (the invalid-handle value) when none.
using UsbDeviceHandle = void*;
#define USB_DEVICE_NONE (reinterpret_cast<UsbDeviceHandle>(static_cast<intptr_t>(-1)))

constexpr size_t USB_INSTANCE_ID_MAX = 256;
// _GetUSBDevice copies out at most this many characters of an instance id.
constexpr size_t USB_INSTANCE_ID_COPY_MAX = 246;
// "PortName" is read into 256 bytes.
constexpr size_t USB_PORT_NAME_MAX = 128;
constexpr size_t USB_DEVICE_PATH_MAX = 260;

// Finds the USB printing device whose printer child has exactly this port name
// and opens its interface path for reading and writing, overlapped. Logs
// "OpenUSBDevice Failed" with the system error when the open fails (also when
// no device was found: the path is then empty). Natively there is no device
// tree: the open fails unless a test hook answers.
UsbDeviceHandle OpenUSBDevice(const wchar_t* portName);

// Tests that run a USB path without a device tree (natively, or a controller
// under Wine) answer the open themselves; nullptr restores the real walk.
// Returns the hook that was in place.
using UsbOpenHook = UsbDeviceHandle (*)(const wchar_t* portName);
UsbOpenHook SetUsbOpenHookForTesting(UsbOpenHook hook);

// The platform's walk behind OpenUSBDevice (usb_device_win32.cpp / _posix.cpp).
UsbDeviceHandle OpenUSBDeviceSystem(const wchar_t* portName);
