#include "printer/printer_spooler.h"

namespace {
// There is no print spooler natively: every request fails as an unsupported call
// (ERROR_NOT_SUPPORTED) and tests install a fake.
constexpr uint32_t kNotSupported = 50;

class NoSpooler : public PrinterSpooler {
 public:
  void ListPrinters(SpoolerEnumeration* out) override {
    out->step = SPOOLER_SIZE_FAILED;
    out->error = kNotSupported;
  }
  void ReadPrinter(const wchar_t*, SpoolerPrinter* out) override {
    out->step = SPOOLER_OPEN_FAILED;
    out->error = kNotSupported;
  }
};
}  // namespace

PrinterSpooler& SystemPrinterSpooler() {
  static NoSpooler spooler;
  return spooler;
}
