#include "update/printer_record.h"

#include <cwchar>

#include "host/logger.h"
#include "printer/installed_printers.h"

PortKind ClassifyPort(const wchar_t* portName) {
  if (!portName) return PORT_NETWORK;
  if (wcsncmp(portName, L"USB", 3) == 0) return PORT_USB;
  if (wcsstr(portName, L"LPT")) return PORT_PARALLEL;
  return PORT_NETWORK;
}

const wchar_t* PortKindName(PortKind kind) {
  switch (kind) {
    case PORT_USB:
      return L"usb";
    case PORT_PARALLEL:
      return L"parallel";
    default:
      return L"network";
  }
}

std::vector<plist_t> CollectSupportedPrinters(const std::vector<std::wstring>& driverNames) {
  Logger* log = Logger::Instance();
  std::vector<plist_t> printers;
  InstalledPrinterList installed;
  wchar_t name[PRINTER_NAME_MAX];
  int more = GetFirstInstalledPrinter(&installed, driverNames, name);
  while (more) {
    log->Write(L"Adding %ls to printer list", name);
    PrinterInfo info;
    if (GetPrinterInfo(name, &info)) {
      plist_t record{name, info.portName, info.jobs};
      // That driver's parallel-port printers cannot take an update from here.
      const bool excluded = record.printerName.find(L"QV Orrery Print Driver") != std::wstring::npos &&
                            record.portName.find(L"LPT") != std::wstring::npos;
      if (!excluded) printers.push_back(record);
    }
    more = GetNextInstalledPrinter(&installed, name);
  }
  return printers;
}
