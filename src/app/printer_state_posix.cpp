#include "app/printer_state.h"

// No registry here: the values are tested on Windows.
bool WritePrinterState(const PrinterReport&, const std::wstring&) {
  return true;
}
