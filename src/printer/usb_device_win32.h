#pragma once
// The device walk behind OpenUSBDevice (usb_device_win32.cpp). Windows only.
//
// Three nodes take part: the USB device, which exposes the USB printing
// interface; its printer child (printer setup class), whose instance id holds
// the parent's "ParentIdPrefix" and whose device key holds "PortName"; and the
// spooler port of that name. Results are 1 (found) or 0; every failure is
// logged.

#include <windows.h>

#include "host/win_handles.h"
#include "printer/usb_device.h"

// {28D78FAD-5A12-11D1-AE5B-0000F803A8C2}
extern const GUID USB_PRINT_INTERFACE_CLASS;
// {4D36E979-E325-11CE-BFC1-08002BE10318}
extern const GUID PRINTER_SETUP_CLASS;

// The USB instance id (USB_INSTANCE_ID_MAX characters) of the present USB
// printing device whose printer child has exactly `portName` (case matters).
// `m_hDevInfo` is the enumeration state of the walk, invalid when none runs;
// it is closed when the walk ends, and by its owner if the walk is abandoned.
int GetDevInstIDViaPortname(win::UniqueDevInfo* m_hDevInfo, const wchar_t* portName, wchar_t* devInstId);

// The next present USB printing device, from `*index` on (0 opens a new walk
// in `m_hDevInfo`); advances the index. Its instance id (at most
// USB_INSTANCE_ID_COPY_MAX characters) and whether its printer child is
// installed. 0 at the end of the walk, which closes the set.
int _GetUSBDevice(DWORD* index, win::UniqueDevInfo* m_hDevInfo, wchar_t* devInstId, int* installed);

// 1 when the printer child exists and its configuration flags are 0.
int IsDeviceInstalled(const wchar_t* usbDevInstId);
// The printer child's instance id (USB_INSTANCE_ID_MAX characters).
int USBdevInstID_to_USBPRINTdevInstID(const wchar_t* usbDevInstId, wchar_t* printDevInstId);
// The printer child's "PortName" (USB_PORT_NAME_MAX characters).
int GetPortnameViaDevInstID(const wchar_t* usbDevInstId, wchar_t* portName);
// The interface path (USB_DEVICE_PATH_MAX characters) of the first present
// device of `interfaceClass` whose instance id contains `searchDevInstanceID`,
// ignoring case.
int GetDeviceName(const wchar_t* searchDevInstanceID, wchar_t* devicePath, const GUID& interfaceClass);
