#pragma once
// The NAND burn walk shared by the USB and network transports: header checks,
// the NO REBOOT flag, the per-package version check, acceptance and burn
// selection. Each transport supplies how one package is sent and answered.

#include <cstdint>
#include <functional>
#include <vector>

#include "firmware/firmware_file.h"
#include "transport/acl_protocol.h"

// Sends one package with its filled ACLCMD_BURN_FLASH command and checks the
// answer; 1 on success, 0 ends the whole burn as failed.
using NandPackageSender = std::function<int(const NandPackage& package, const AclCommand& command)>;

class AclNandBurn {
 public:
  // Before any I/O: the "NAND" magic, the NO REBOOT flag (logged; the printer
  // sees the header without it, the burn command carries it instead), the
  // header VERSION and the package count. `data` is only read: updates may
  // share it. 1 when the file can be walked; 0 after logging why not.
  int Prepare(const uint8_t* data, uint64_t size, uint16_t imageType);

  // Walks the packages in table order: a package header VERSION other than 2
  // fails the burn; rejected packages are skipped (logged by the acceptance
  // rule); packages the burn selection does not pick log `upToDateFormat`
  // (which may take the package number with %03d); the others are logged
  // "+Burning NAND package ..." and handed to `send`. Logs "BurnFlash
  // succeeded." after the last package and returns 1; 0 on the first failure,
  // and 0 when the acceptance rule took no package at all.
  int Run(const wchar_t* productId, const wchar_t* familyId, const std::vector<ComponentVersion>& components,
          const wchar_t* upToDateFormat, const NandPackageSender& send);

  uint32_t Burned() const { return m_burned; }
  uint16_t ImageType() const { return m_imageType; }
  bool NoReboot() const { return m_noReboot; }

 private:
  NandPackageFile m_file;
  std::vector<uint8_t> m_copy;  // the file with the flag cleared, when a package sends it
  uint16_t m_imageType = ACL_IMAGE_NAND_PKG;
  bool m_noReboot = false;
  uint32_t m_burned = 0;
};
