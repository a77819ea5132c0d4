#pragma once
// The maker's installed printers: spooler printers whose driver name is one of
// the configured driver names, and what the spooler knows about one printer.

#include <cstddef>
#include <string>
#include <vector>

constexpr size_t PRINTER_NAME_MAX = 256;
constexpr size_t PRINTER_PORT_MAX = 256;
constexpr size_t PRINTER_COMMENT_MAX = 256;
constexpr size_t PRINTER_DRIVER_MAX = 256;
constexpr size_t PRINTER_JOBS_MAX = 20;

using PrinterNameList = std::vector<std::wstring>;

struct InstalledPrinterList {
  PrinterNameList names;  // spooler order
  size_t cursor = 0;      // index of the current entry
  int count = 0;          // printers found by the last search
};

struct PrinterInfo {
  wchar_t portName[PRINTER_PORT_MAX];
  wchar_t comment[PRINTER_COMMENT_MAX];
  wchar_t jobs[PRINTER_JOBS_MAX];
  wchar_t driver[PRINTER_DRIVER_MAX];
};

// Appends (or, with `clear`, replaces `out` with) the printers whose driver name
// equals an entry of `driverNames`, ignoring case. Each printer is added once,
// also when its driver is listed twice. Returns the number of names added.
int FindInstalledPrinters(PrinterNameList* out, const PrinterNameList& driverNames, int clear);

// Starts a fresh search: `outName` (PRINTER_NAME_MAX) gets the first printer.
// 1 when there is one.
int GetFirstInstalledPrinter(InstalledPrinterList* list, const PrinterNameList& driverNames, wchar_t* outName);
// Advances the cursor: 1 and the next name until the cursor reaches the count.
int GetNextInstalledPrinter(InstalledPrinterList* list, wchar_t* outName);

// Port, comment, job count and driver of one printer. 1 on success; on failure
// port, comment and jobs are empty and the driver is left as it was.
int GetPrinterInfo(const wchar_t* printerName, PrinterInfo* info);
// `out` (PRINTER_DRIVER_MAX) gets the printer's driver name; 1 on success.
int GetPrinterDriverName(const wchar_t* printerName, wchar_t* out);
// `out` (PRINTER_PORT_MAX) gets the printer's port name; 1 on success.
int GetPortname(const wchar_t* printerName, wchar_t* out);
