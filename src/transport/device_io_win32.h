#pragma once
// Windows only: the wait of an overlapped device request, replaceable so a
// test decides the order of a completion and the end of its wait.

#include <windows.h>

// WaitForSingleObject unless a test installed another; nullptr restores it.
// Returns the one in place before.
using DeviceWaitFunction = DWORD (*)(HANDLE event, DWORD waitMs);
DeviceWaitFunction SetDeviceWaitForTesting(DeviceWaitFunction wait);
