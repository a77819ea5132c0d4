#include "update/fleet_report.h"

#include "firmware/firmware_file.h"
#include "firmware/versions.h"
#include "host/logger.h"

ReportVersion FileVersionOf(const ChosenFirmware& chosen) {
  ReportVersion version;
  if (chosen.fileType != BINTYPE_NAND_PKG) {
    version.known = chosen.fileVersion != 0;
    version.number = chosen.fileVersion;
    return version;
  }
  FirmwareFileBuffer buffer;
  NandPackageFile file;
  if (!buffer.ReadPath(chosen.path) || file.Open(buffer.Data(), buffer.Size()) != NAND_OK) return version;
  for (uint32_t i = 0; i < file.Count(); ++i) {
    NandPackage package;
    if (!file.Package(i, &package) || !AcceptNandPackage(package, chosen.productId, chosen.familyId)) continue;
    version.parts.emplace_back(ComponentTypeName(package.componentType, "unknown"), package.version);
  }
  version.known = !version.parts.empty();
  return version;
}

ReportVersion PrinterVersionOf(const PrinterVersionCheck& check) {
  ReportVersion version;
  if (check.printerVersion == 0) return version;
  version.number = check.printerVersion;
  if (check.printerVersion != PRINTER_VERSION_COMPONENTS) {
    version.known = true;
    return version;
  }
  // 9999 only says that the printer answered per component: without a
  // component named, its version is not known.
  std::vector<ComponentVersion> components;
  if (!check.componentText.empty()) ParseVersionString(&components, check.componentText);
  for (const ComponentVersion& c : components) version.parts.emplace_back(c.name, c.version);
  version.known = !version.parts.empty();
  return version;
}

void MarkRfuLeftOn(PrinterReport* printer) {
  if (printer->rfuLeftOn) return;
  printer->rfuLeftOn = true;
  printer->detail += L" The RFU setting could not be switched off again.";
  Logger::Instance()->Write(L"Unattended: %ls: the RFU setting could not be switched off again",
                            printer->name.c_str());
}
