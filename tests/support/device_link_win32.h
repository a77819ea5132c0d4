#pragma once
// Object-manager links that make a named pipe answer to a device name, so a
// test can stand a pipe in for a USB printing device or the parallel port.
// Windows only.

#include <windows.h>

#include <string>

// Links `\??\<dosName>` (e.g. "NONSPOOLED_LPT1", or a device interface path
// without its "\\?\") to `\Device\NamedPipe\<pipeName>`. The link lives while
// the returned handle is open; nullptr and *status on failure.
HANDLE CreateDeviceLink(const std::wstring& dosName, const std::wstring& pipeName, long* status);
