#pragma once
// The parallel transport's operating-system calls: the first parallel port
// opened as a device past the print spooler, and the system's printer-settings
// command that makes a printer the default one. Behind an interface so the
// transport's logic runs on a fake in tests (SetPrllDeviceForTesting).

#include <cstddef>
#include <cstdint>

#include "transport/device_io.h"

constexpr wchar_t PRLL_PORT_DEVICE_NAME[] = L"\\\\.\\NONSPOOLED_LPT1";
// Program path and argument of the default-printer command, each.
constexpr size_t PRLL_COMMAND_MAX = 260;

class PrllDevice {
 public:
  virtual ~PrllDevice() = default;
  // The port for reading and writing (sharing read and write, existing
  // device only, sequential scan). Not overlapped: WriteData and ReadData
  // complete synchronously on it. DEVICE_NONE and the system error on failure.
  virtual DeviceHandle OpenPort(uint32_t* error) = 0;
  // The port once more, read only (sharing read), for the printer's reply.
  virtual DeviceHandle OpenPortForReading(uint32_t* error) = 0;
  virtual void ClosePort(DeviceHandle port) = 0;
  // "<system directory>\rundll32.exe" in the system's narrow code page
  // (PRLL_COMMAND_MAX bytes). 1 on success.
  virtual int RundllPath(char* out, size_t outSize) = 0;
  // Starts `rundllPath` under the name "rundll32.exe" with the argument
  // BuildDefaultPrinterArgument makes of `modelName` (converted to the narrow
  // code page), without waiting for it. 1 when it started, else 0 and the
  // system error.
  virtual int StartDefaultPrinter(const char* rundllPath, const wchar_t* modelName, uint32_t* error) = 0;
};

// The system's calls (prll_device_win32.cpp; natively there is no port).
PrllDevice& SystemPrllDevice();
// The device in use: the system's, or the one a test installed.
PrllDevice& CurrentPrllDevice();
// Replaces the process-wide device; nullptr restores the system's. Returns the
// previous override. Only tests call this.
PrllDevice* SetPrllDeviceForTesting(PrllDevice* device);

// printui.dll,PrintUIEntry /y /n "<model>" with the model up to its first
// double quote, cut so the whole argument fits `outSize` bytes with both
// quotes. Returns its length, or 0 when not even an empty model fits.
size_t BuildDefaultPrinterArgument(const char* model, char* out, size_t outSize);
