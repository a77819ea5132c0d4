#pragma once
// The USB transport: ACL exchanges over the printer's USB printing device.
// The handle belongs to the caller (USB device discovery opens it); nothing
// here opens or closes it.

#include <cstdint>
#include <cstdio>
#include <string>

#include "firmware/firmware_file.h"
#include "transport/acl_exchange.h"
#include "transport/acl_protocol.h"
#include "transport/device_io.h"

class CFWDownloadUSB {
 public:
  // VERCHK_* from the common version check, or -1 (also for DEVICE_NONE).
  int CheckFirmwareVersion(const wchar_t* productId, const wchar_t* familyId, FirmwareFileInfo* info,
                           DeviceHandle device, const wchar_t* fileName);
  // 1 when the chosen burn succeeded, 0 when a package file needed nothing
  // written, ACL_DOWNLOAD_NOT_TRUSTED when the file's signature was refused,
  // -1 otherwise. `image`: the bytes the run's updates of `fileName` share;
  // without it the file is read.
  int DownLoadFirmware(FirmwareFileInfo* info, DeviceHandle device, const wchar_t* fileName, const wchar_t* productId,
                       const wchar_t* familyId, const FirmwareImage* image = nullptr);
  // The printer's version; 9999 and the component text for a NAND file
  // (info->fileType 3); 0 on failure.
  uint32_t GetFWVersion(FirmwareFileInfo* info, DeviceHandle device, std::string* componentText);
  // Image burn and SPI burn of the whole file: 1 or 0.
  int BurnFlash(DeviceHandle device, const AclBurnSource& source, uint16_t imageType);
  int BurnSpiFlash(DeviceHandle device, const AclBurnSource& source);
  // The out-of-date and loader packages of a NAND package file, then Reset:
  // 1, or ACL_BURN_NOTHING_WRITTEN when no package needed burning; 0 on
  // failure.
  int BurnNandFlash(DeviceHandle device, FirmwareFileInfo* info, const AclBurnSource& source, uint16_t imageType,
                    const wchar_t* productId, const wchar_t* familyId);
  // ACLCMD_GET_PRINTER_INFO or ACLCMD_GET_BUILD_INFO: the text from its third
  // byte into `text` (ACL_TEXT_BUFFER_SIZE bytes). 1 when every step passed.
  int GetPrinterFwInfo(DeviceHandle device, char* text, uint16_t cmdID);
  // Reset with reply: 1 when every step passed.
  int Reset(DeviceHandle device);
  // Writes the identity block of `mode` (1: mode 1, anything else mode 0):
  // 0 on success, ACL_DEVICE_FAILED otherwise; 0 also for DEVICE_NONE.
  int FixNvRam(DeviceHandle device, int mode);
  // Reset without reply: 1; ACL_DEVICE_FAILED when the PJL_UEL or the
  // enter-language line could not be written; 0 when the command could not,
  // or for DEVICE_NONE.
  int ResetPrinter(DeviceHandle device);
};
