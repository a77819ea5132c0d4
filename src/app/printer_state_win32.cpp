#include <windows.h>

#include "app/printer_state.h"
#include "host/logger.h"
#include "host/registry.h"

static_assert(sizeof(wchar_t) == 2, "REG_SZ values are stored from wide texts");

bool WritePrinterState(const PrinterReport& report, const std::wstring& time) {
  const std::wstring key = std::wstring(PRINTER_STATE_KEY_PATH) + L"\\" + PrinterStateKeyName(report.name);
  // A cut path would name another queue's key.
  if (key.size() >= REGISTRY_KEY_PATH_MAX) {
    Logger::Instance()->Write(L"ERROR: the queue name %ls is too long for a registry key; its state is not kept",
                              report.name.c_str());
    return false;
  }
  bool written = true;
  for (const PrinterStateValue& value : PrinterStateValues(report, time)) {
    const uint32_t bytes = RegistryTextBytes(value.text.size());
    const long result = SaveValueToHKey(key.c_str(), value.name, value.text.c_str(), bytes, REG_SZ);
    if (result != ERROR_SUCCESS) {
      Logger::Instance()->WriteError(static_cast<uint32_t>(result), L"Cannot keep %ls of %ls", value.name,
                                     report.name.c_str());
      written = false;
    }
  }
  return written;
}
