#pragma once
// The parallel transport: ACL exchanges over the first parallel port, opened
// as a device so the spooler's queue is bypassed. Port handles come from
// OpenPRLLDevice; the system calls go through transport/prll_device.h.

#include <cstdint>
#include <cstdio>

#include "firmware/firmware_file.h"
#include "printer/services.h"
#include "transport/acl_exchange.h"
#include "transport/acl_protocol.h"
#include "transport/device_io.h"

// Pauses around the spooler restart of an opening, and of the download.
constexpr uint32_t PRLL_OPEN_PAUSE_MS = 2000;
constexpr uint32_t PRLL_SPOOLER_RESTART_PAUSE_MS = 1000;
constexpr uint32_t PRLL_DOWNLOAD_SPOOLER_PAUSE_MS = 2000;
constexpr uint32_t PRLL_RUNDLL_PAUSE_MS = 3000;
constexpr uint32_t PRLL_AFTER_BURN_PAUSE_MS = 60000;
constexpr uint32_t PRLL_AFTER_BURN_STOP_PAUSE_MS = 5000;

class CFWDownloadPrll {
 public:
  // `stopped` (null: a list of its own) gathers the spooler's dependents the
  // transport's stops take down; its starts bring them back, and the caller's
  // start those the stop after the burn left.
  explicit CFWDownloadPrll(StoppedServices* stopped = nullptr) : m_stopped(stopped ? stopped : &m_own) {}
  CFWDownloadPrll(const CFWDownloadPrll&) = delete;
  CFWDownloadPrll& operator=(const CFWDownloadPrll&) = delete;

  // Restarts the print spooler (with its pauses), then opens the port for
  // reading and writing: the handle, or DEVICE_NONE after logging, with the
  // open's system error in *error when given.
  DeviceHandle OpenPRLLDevice(uint32_t* error = nullptr);
  // Takes over `port` and closes it exactly once, whatever the path: the
  // first version question closes it; a later question (up to 3, 1000 ms
  // apart) opens the port again for itself. VERCHK_* or -1.
  int CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info, DeviceHandle port,
                           const wchar_t* fileName);
  // Takes over `port`: writes the question on it, closes it, and reads the
  // answer on a read-only handle of its own. The version, or 0.
  uint32_t GetPrllFWVersion(DeviceHandle port);
  // Makes the printer named `modelName` the default printer (rundll32), then
  // the image burn with imageType 3. The port stays the caller's. 1,
  // ACL_DOWNLOAD_NOT_TRUSTED (the file's signature refused) or -1. `image`:
  // the bytes the run's updates of `fileName` share; without it the file is
  // read.
  int DownLoadFirmware(const wchar_t* modelName, FirmwareFileInfo* info, DeviceHandle port, const wchar_t* fileName,
                       const FirmwareImage* image = nullptr);
  // Image burn without waiting for an answer: 1 or 0.
  int BurnFlashPrllPort(DeviceHandle port, const AclBurnSource& source);
  // The NVRAM fix in mode 0: 0 on success, ACL_DEVICE_FAILED (325) otherwise.
  int PrllFixNvRam(DeviceHandle port);
  // Reset without reply: 1; 325 when the PJL_UEL or the enter-language line
  // could not be written; 0 when the command could not.
  int ResetPrllPrinter(DeviceHandle port);

 private:
  StoppedServices m_own;
  StoppedServices* m_stopped;
};
