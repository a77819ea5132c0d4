#pragma once
// What the computer keeps per printer queue after each update, for a
// deployment tool's detection rule or a hardware inventory: under the
// program's own key, in the subkey Printers\<queue> of
// HKLM\SOFTWARE\Local AppWizard-Generated Applications\tideway, the strings
// FirmwareVersion, LastOutcome, LastUpdate and FirmwareFile.

#include <string>
#include <vector>

#include "update/fleet_report.h"

// Below HKEY_LOCAL_MACHINE.
extern const wchar_t PRINTER_STATE_KEY_PATH[];

struct PrinterStateValue {
  const wchar_t* name;
  std::wstring text;
};

// The queue's subkey name. A key name cannot hold "\": it becomes ",", as
// the system names printer connections (",,server,queue").
std::wstring PrinterStateKeyName(const std::wstring& queue);

// The values after an update that ended at `time` (UTC, ISO 8601).
// FirmwareVersion is the version the printer reported after the update, or
// before it when nothing was written, or the file's when it was written and
// the product is not asked afterwards; without any it is left as it was.
std::vector<PrinterStateValue> PrinterStateValues(const PrinterReport& report, const std::wstring& time);

// Writes the values of an update of an installed queue (the registry on
// Windows; natively nothing). False (logged) when they could not be written.
bool WritePrinterState(const PrinterReport& report, const std::wstring& time);
