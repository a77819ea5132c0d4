#pragma once
// The print spooler as installed-printer discovery sees it: the level-2
// enumeration of local and connected printers, and one printer's level-2 data.
// Records point into a buffer the result owns, so callers do the bounded copies
// (and over-long spooler values are cut in portable, natively tested code).

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

// One printer as the spooler describes it. Texts may be null (no value).
struct SpoolerPrinterRecord {
  const wchar_t* printerName = nullptr;
  const wchar_t* portName = nullptr;
  const wchar_t* driverName = nullptr;
  const wchar_t* comment = nullptr;
  uint32_t jobs = 0;
};

// Where a spooler request stopped; `error` holds the system error code.
enum SpoolerStep {
  SPOOLER_OK = 0,
  SPOOLER_OPEN_FAILED,   // opening the printer
  SPOOLER_SIZE_FAILED,   // asking for the buffer size (an error other than 122)
  SPOOLER_ALLOC_FAILED,  // allocating the buffer
  SPOOLER_READ_FAILED,   // reading into the buffer
};

// malloc'd block freed with the result.
class SpoolerBuffer {
 public:
  SpoolerBuffer() = default;
  ~SpoolerBuffer() { std::free(m_data); }
  SpoolerBuffer(const SpoolerBuffer&) = delete;
  SpoolerBuffer& operator=(const SpoolerBuffer&) = delete;
  // Replaces the block; false when the allocation failed (the old one is gone).
  bool Allocate(size_t bytes) {
    std::free(m_data);
    m_data = static_cast<unsigned char*>(std::malloc(bytes ? bytes : 1));
    m_size = m_data ? bytes : 0;
    return m_data != nullptr;
  }
  unsigned char* Data() { return m_data; }
  size_t Size() const { return m_size; }

 private:
  unsigned char* m_data = nullptr;
  size_t m_size = 0;
};

struct SpoolerEnumeration {
  int step = SPOOLER_OK;
  uint32_t error = 0;
  std::vector<SpoolerPrinterRecord> printers;
  SpoolerBuffer buffer;
};

struct SpoolerPrinter {
  int step = SPOOLER_OK;
  uint32_t error = 0;
  SpoolerPrinterRecord printer;
  SpoolerBuffer buffer;
};

class PrinterSpooler {
 public:
  virtual ~PrinterSpooler() = default;
  // Local printers and connections, in spooler order.
  virtual void ListPrinters(SpoolerEnumeration* out) = 0;
  // One printer by name. Each call opens and closes its own handle.
  virtual void ReadPrinter(const wchar_t* printerName, SpoolerPrinter* out) = 0;
};

// The spooler in use: the system's, or the one a test installed.
PrinterSpooler& CurrentPrinterSpooler();
// Replaces the process-wide spooler; nullptr restores the system's. Returns the
// previous override. Only tests call this.
PrinterSpooler* SetPrinterSpoolerForTesting(PrinterSpooler* spooler);
// printer_spooler_win32.cpp / printer_spooler_posix.cpp.
PrinterSpooler& SystemPrinterSpooler();
