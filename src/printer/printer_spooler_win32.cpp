#include <windows.h>
#include <winspool.h>

#include "host/win_handles.h"
#include "printer/printer_spooler.h"

namespace {
SpoolerPrinterRecord RecordFrom(const PRINTER_INFO_2W& info) {
  SpoolerPrinterRecord r;
  r.printerName = info.pPrinterName;
  r.portName = info.pPortName;
  r.driverName = info.pDriverName;
  r.comment = info.pComment;
  r.jobs = info.cJobs;
  return r;
}

class WindowsSpooler : public PrinterSpooler {
 public:
  void ListPrinters(SpoolerEnumeration* out) override {
    const DWORD flags = PRINTER_ENUM_LOCAL | PRINTER_ENUM_CONNECTIONS;
    DWORD needed = 0;
    DWORD returned = 0;
    if (!EnumPrintersW(flags, nullptr, 2, nullptr, 0, &needed, &returned)) {
      DWORD gle = GetLastError();
      if (gle != ERROR_INSUFFICIENT_BUFFER) {
        out->step = SPOOLER_SIZE_FAILED;
        out->error = gle;
        return;
      }
    }
    if (!out->buffer.Allocate(needed)) {
      out->step = SPOOLER_ALLOC_FAILED;
      out->error = ERROR_NOT_ENOUGH_MEMORY;
      return;
    }
    if (!EnumPrintersW(flags, nullptr, 2, out->buffer.Data(), needed, &needed, &returned)) {
      out->step = SPOOLER_READ_FAILED;
      out->error = GetLastError();
      return;
    }
    const auto* infos = reinterpret_cast<const PRINTER_INFO_2W*>(out->buffer.Data());
    out->printers.reserve(returned);
    for (DWORD i = 0; i < returned; ++i) out->printers.push_back(RecordFrom(infos[i]));
    out->step = SPOOLER_OK;
  }

  void ReadPrinter(const wchar_t* printerName, SpoolerPrinter* out) override {
    win::UniquePrinter printer;
    if (!OpenPrinterW(const_cast<wchar_t*>(printerName), printer.Receive(), nullptr)) {
      out->step = SPOOLER_OPEN_FAILED;
      out->error = GetLastError();
      return;
    }
    DWORD needed = 0;
    if (!GetPrinterW(printer.Get(), 2, nullptr, 0, &needed)) {
      DWORD gle = GetLastError();
      if (gle != ERROR_INSUFFICIENT_BUFFER) {
        out->step = SPOOLER_SIZE_FAILED;
        out->error = gle;
        return;
      }
    }
    if (!out->buffer.Allocate(needed)) {
      out->step = SPOOLER_ALLOC_FAILED;
      out->error = ERROR_NOT_ENOUGH_MEMORY;
      return;
    }
    if (!GetPrinterW(printer.Get(), 2, out->buffer.Data(), needed, &needed)) {
      out->step = SPOOLER_READ_FAILED;
      out->error = GetLastError();
      return;
    }
    out->printer = RecordFrom(*reinterpret_cast<const PRINTER_INFO_2W*>(out->buffer.Data()));
    out->step = SPOOLER_OK;
  }
};
}  // namespace

PrinterSpooler& SystemPrinterSpooler() {
  static WindowsSpooler spooler;
  return spooler;
}
