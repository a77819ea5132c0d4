#include "printer/printer_spooler.h"

#include <atomic>

namespace {
std::atomic<PrinterSpooler*> g_spoolerOverride{nullptr};
}  // namespace

PrinterSpooler& CurrentPrinterSpooler() {
  PrinterSpooler* s = g_spoolerOverride.load(std::memory_order_acquire);
  return s ? *s : SystemPrinterSpooler();
}

PrinterSpooler* SetPrinterSpoolerForTesting(PrinterSpooler* spooler) {
  return g_spoolerOverride.exchange(spooler, std::memory_order_acq_rel);
}
