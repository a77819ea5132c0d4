#pragma once
// The system calls of the parallel transport behind one small interface, so
// its logic runs natively against fakes that count every open and close.
// The product uses SystemPrllPort() (prll_port_win32.cpp); only tests replace
// it or the device name.

#include <cstddef>
#include <cstdint>

#include "transport/device_io.h"

// The first parallel port, opened as a device past the spooler's queue.
constexpr wchar_t PRLL_DEVICE_NAME[] = L"\\\\.\\NONSPOOLED_LPT1";
// Longest narrow argument handed to rundll32 (bounded copy, NUL included).
constexpr size_t PRLL_COMMAND_MAX = 260;

class PrllPort {
 public:
  virtual ~PrllPort() = default;
  // Read and write (0xC0000000), sharing read and write, existing device only,
  // sequential scan with normal attributes; not overlapped. DEVICE_NONE on
  // failure, with the system's last error left for the caller.
  virtual DeviceHandle OpenReadWrite(const wchar_t* device) = 0;
  // Read only (0x80000000), sharing read, otherwise as above.
  virtual DeviceHandle OpenRead(const wchar_t* device) = 0;
  virtual void Close(DeviceHandle device) = 0;
  // Starts "<system directory>\rundll32.exe" under the name "rundll32.exe"
  // with `argument` (narrow text) and does not wait for it. 1 when it started.
  virtual int RunRundll32(const char* argument) = 0;
};

// The platform's calls (prll_port_win32.cpp / prll_port_posix.cpp).
PrllPort& SystemPrllPort();

// The port and device name in use. The Set functions return what was in
// place; nullptr restores the product's. Only tests call them.
PrllPort& ActivePrllPort();
const wchar_t* PrllDeviceName();
PrllPort* SetPrllPortForTesting(PrllPort* port);
const wchar_t* SetPrllDeviceNameForTesting(const wchar_t* name);
