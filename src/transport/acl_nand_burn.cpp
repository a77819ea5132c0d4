#include "transport/acl_nand_burn.h"

#include "firmware/versions.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "transport/acl_checksum.h"

int AclNandBurn::Prepare(const uint8_t* data, uint64_t size, uint16_t imageType) {
  Logger* log = Logger::Instance();
  m_burned = 0;
  m_noReboot = false;
  m_copy.clear();
  int opened = m_file.Open(data, size);
  if (opened == NAND_ERR_MAGIC) {
    log->Write(L"%ls", m_file.ErrorText());
    return 0;
  }
  if (m_file.Header().noReboot) {
    log->Write(L"NAND PKG sending 'NO REBOOT'");
    m_noReboot = true;
    // The printer must see the header without the flag; the burn command
    // carries it instead. Only a package that holds the header's flag byte
    // sends it: then this burn walks a copy of its own with the flag cleared.
    bool sendsFlag = false;
    NandPackage package;
    for (uint32_t i = 0; opened == NAND_OK && i < m_file.Count() && m_file.Package(i, &package); ++i) {
      sendsFlag = sendsFlag || (package.offset <= 4 && package.size > 4 - package.offset);
    }
    if (sendsFlag) {
      m_copy.assign(data, data + size);
      m_copy[4] &= 0x7F;
      m_file.Open(m_copy.data(), size);
    }
  }
  m_imageType = static_cast<uint16_t>(imageType | (m_noReboot ? ACL_NO_REBOOT : 0));
  if (opened == NAND_ERR_HEADER_VERSION) {
    log->Write(L"ERROR: invalid VERSION %d", static_cast<int>(m_file.Header().version));
    return 0;
  }
  if (opened != NAND_OK) {
    log->Write(L"%ls", m_file.ErrorText());
    return 0;
  }
  log->Write(L"NAND PKG of %d", static_cast<int>(m_file.Count()));
  return 1;
}

int AclNandBurn::Run(const wchar_t* productId, const wchar_t* familyId,
                     const std::vector<ComponentVersion>& components, const wchar_t* upToDateFormat,
                     const NandPackageSender& send) {
  Logger* log = Logger::Instance();
  uint32_t accepted = 0;
  for (uint32_t i = 0; i < m_file.Count(); ++i) {
    NandPackage package;
    if (!m_file.Package(i, &package)) return 0;
    if (package.headerVersion != NAND_PACKAGE_HEADER_VERSION) {
      log->Write(L"ERROR: invalid VERSION %d", static_cast<int>(package.headerVersion));
      return 0;
    }
    if (!AcceptNandPackage(package, productId, familyId)) continue;
    ++accepted;
    if (!ShouldBurnNandPackage(package, components)) {
      log->Write(upToDateFormat, static_cast<int>(package.number));
      continue;
    }
    ++m_burned;
    wchar_t version[ACL_TEXT_BUFFER_SIZE];
    wchar_t target[ACL_TEXT_BUFFER_SIZE];
    Utf8ToWide(package.versionText.data(), package.versionText.size(), version, ACL_TEXT_BUFFER_SIZE);
    Utf8ToWide(package.targetId.data(), package.targetId.size(), target, ACL_TEXT_BUFFER_SIZE);
    log->Write(L"+Burning NAND package %03d: %ls, %ls", static_cast<int>(package.number), version, target);

    AclCommand command;
    FillBurnFlashCommand(&command, m_imageType, AclChecksum16(package.bytes, package.size), package.size);
    if (!send(package, command)) return 0;
  }
  // A file none of whose packages is for this printer changed nothing: the
  // configuration chose the wrong file, and that is no success.
  if (accepted == 0) {
    log->Write(L"ERROR: no NAND package of the file is for this printer, nothing is sent.");
    return 0;
  }
  log->Write(L"BurnFlash succeeded.");
  return 1;
}
