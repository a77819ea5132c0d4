#include "printer/installed_printers.h"

#include "host/logger.h"
#include "host/text_utils.h"
#include "printer/printer_spooler.h"

namespace {
const wchar_t* OrEmpty(const wchar_t* text) { return text ? text : L""; }
}  // namespace

int FindInstalledPrinters(PrinterNameList* out, const PrinterNameList& driverNames, int clear) {
  Logger* log = Logger::Instance();
  log->Write(L"FindInstalledPrinters(driverList %d elements)", static_cast<int>(driverNames.size()));
  if (clear) out->clear();
  if (driverNames.empty()) {
    log->Write(L"ERROR: DriverNameList is empty");
    return 0;
  }

  SpoolerEnumeration found;
  CurrentPrinterSpooler().ListPrinters(&found);
  switch (found.step) {
    case SPOOLER_OK:
      break;
    case SPOOLER_ALLOC_FAILED:
      log->Write(L"  malloc failed");
      return 0;
    default:
      log->WriteError(found.error, L"  EnumPrinters failed");
      return 0;
  }
  if (found.printers.empty()) log->Write(L"  No Printers installed");

  int count = 0;
  for (const SpoolerPrinterRecord& printer : found.printers) {
    const wchar_t* driver = OrEmpty(printer.driverName);
    for (const std::wstring& wanted : driverNames) {
      if (!TextEquals(wanted.c_str(), driver)) continue;
      out->push_back(OrEmpty(printer.printerName));
      ++count;
      log->Write(L"  Found one of our printers %ls, count=%d", OrEmpty(printer.printerName), count);
      // A driver listed twice must not list its printers twice: each would be updated twice.
      break;
    }
  }
  if (count == 0) log->Write(L" Found NO printers with our drivername");
  return count;
}

int GetFirstInstalledPrinter(InstalledPrinterList* list, const PrinterNameList& driverNames, wchar_t* outName) {
  list->cursor = 0;
  list->names.clear();
  list->count = FindInstalledPrinters(&list->names, driverNames, 1);
  if (list->count < 1 || list->names.empty()) return 0;
  CopyText(outName, PRINTER_NAME_MAX, list->names[0].c_str());
  return 1;
}

int GetNextInstalledPrinter(InstalledPrinterList* list, wchar_t* outName) {
  Logger::Instance()->Write(L"GetNextInstalledPrinter()");
  const size_t count = list->count > 0 ? static_cast<size_t>(list->count) : 0;
  if (list->cursor < count) ++list->cursor;
  if (list->cursor >= count || list->cursor >= list->names.size()) return 0;
  CopyText(outName, PRINTER_NAME_MAX, list->names[list->cursor].c_str());
  return 1;
}

int GetPrinterInfo(const wchar_t* printerName, PrinterInfo* info) {
  Logger* log = Logger::Instance();
  info->comment[0] = 0;
  info->jobs[0] = 0;
  info->portName[0] = 0;
  log->Write(L"GetPrinterInfo(%ls)----", OrEmpty(printerName));

  SpoolerPrinter result;
  CurrentPrinterSpooler().ReadPrinter(OrEmpty(printerName), &result);
  switch (result.step) {
    case SPOOLER_OK:
      break;
    case SPOOLER_OPEN_FAILED:
      log->WriteError(result.error, L"OpenPrinter() failed");
      return 0;
    case SPOOLER_SIZE_FAILED:
      log->WriteError(result.error, L"GetPrinter-1() failed");
      return 0;
    case SPOOLER_ALLOC_FAILED:
      log->WriteError(result.error, L"malloc() failed");
      return 0;
    default:
      log->Write(L"GetPrinter-2() failed");
      log->WriteError(result.error, L"GetPrinter-2() failed");
      return 0;
  }

  const SpoolerPrinterRecord& p = result.printer;
  CopyText(info->comment, PRINTER_COMMENT_MAX, OrEmpty(p.comment));
  CopyText(info->portName, PRINTER_PORT_MAX, OrEmpty(p.portName));
  CopyText(info->driver, PRINTER_DRIVER_MAX, OrEmpty(p.driverName));
  FormatText(info->jobs, PRINTER_JOBS_MAX, L"%d", static_cast<int>(p.jobs));
  log->Write(L"pInfo -");
  log->Write(L"       comment: %ls", info->comment);
  log->Write(L"       portName: %ls", info->portName);
  log->Write(L"       driver: %ls", info->driver);
  log->Write(L"       jobs: %ls", info->jobs);
  return 1;
}

int GetPrinterDriverName(const wchar_t* printerName, wchar_t* out) {
  out[0] = 0;
  PrinterInfo info;
  info.driver[0] = 0;
  if (!GetPrinterInfo(printerName, &info)) return 0;
  CopyText(out, PRINTER_DRIVER_MAX, info.driver);
  return 1;
}

int GetPortname(const wchar_t* printerName, wchar_t* out) {
  Logger* log = Logger::Instance();
  out[0] = 0;
  log->Write(L"GetPortname()");

  SpoolerPrinter result;
  CurrentPrinterSpooler().ReadPrinter(OrEmpty(printerName), &result);
  switch (result.step) {
    case SPOOLER_OK:
      break;
    case SPOOLER_OPEN_FAILED:
      log->Write(L"OpenPrinter() failed (gle=%d)", static_cast<int>(result.error));
      return 0;
    case SPOOLER_ALLOC_FAILED:
      log->Write(L"malloc failed (gle=%d)", static_cast<int>(result.error));
      return 0;
    default:
      // The size answer is not examined here: a failed size request surfaces
      // as a failed read.
      log->Write(L"GetPrinter failed (gle=%d)", static_cast<int>(result.error));
      return 0;
  }
  CopyText(out, PRINTER_PORT_MAX, OrEmpty(result.printer.portName));
  return 1;
}
