// The queue values as the registry holds them: a deployment tool's detection
// rule reads them raw, so each string's stored bytes are the whole text and its
// terminator. (A terminator left out of the count is added by the system when
// it follows the counted bytes, as it does here.)
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/printer_state.h"
#include "host/text_utils.h"

TEST(PrinterStateWin32, StringsAreStoredWithTheirTerminator) {
  wchar_t queue[64];
  FormatText(queue, 64, L"StateTest %lu-%lu", GetCurrentProcessId(), GetTickCount());
  const std::wstring key = std::wstring(PRINTER_STATE_KEY_PATH) + L"\\" + queue;
  PrinterReport report;
  report.name = queue;
  report.file = L"C:\\fw\\update.bin";
  report.outcome = UpdateOutcome::Updated;
  report.versionAfter = {true, 20230115, {}};
  ASSERT_TRUE(WritePrinterState(report, L"2024-03-01T09:05:07Z"));

  HKEY handle = nullptr;
  ASSERT_EQ(RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &handle), ERROR_SUCCESS);
  for (const PrinterStateValue& value : PrinterStateValues(report, L"2024-03-01T09:05:07Z")) {
    SCOPED_TRACE(value.name);
    // RegQueryValueExW gives the bytes as stored (RegGetValueW would add a missing terminator).
    std::vector<wchar_t> raw(value.text.size() + 8, L'#');
    DWORD type = 0;
    DWORD bytes = static_cast<DWORD>(raw.size() * sizeof(wchar_t));
    ASSERT_EQ(RegQueryValueExW(handle, value.name, nullptr, &type, reinterpret_cast<BYTE*>(raw.data()), &bytes),
              ERROR_SUCCESS);
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(bytes, (value.text.size() + 1) * sizeof(wchar_t));
    EXPECT_EQ(std::wstring(raw.data(), value.text.size()), value.text);
    EXPECT_EQ(raw[value.text.size()], L'\0');
  }
  RegCloseKey(handle);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, key.c_str());
}
