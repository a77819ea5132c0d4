// The values a deployment tool's detection rule reads per queue: the names it
// queries, and the firmware the printer runs now whichever way the update
// learned it.
#include "app/printer_state.h"

#include <gtest/gtest.h>

#include "host/registry.h"

#include <string>
#include <vector>

TEST(PrinterState, ValuesTable) {
  const ReportVersion none;
  const ReportVersion old{true, 1000, {}};
  const ReportVersion file{true, 20230115, {}};
  const ReportVersion parts{true, 9999, {{"print", 12}}};
  const struct {
    UpdateOutcome outcome;
    ReportVersion before, after, fileVersion;
    const wchar_t* firmware;  // null: the value is left as it was
  } cases[] = {
      {UpdateOutcome::Updated, old, file, file, L"20230115"},
      {UpdateOutcome::Updated, old, none, file, L"20230115"},  // not asked afterwards (a parallel port)
      {UpdateOutcome::Updated, none, parts, parts, L"print=12"},
      {UpdateOutcome::Failed, old, none, file, L"1000"},
      {UpdateOutcome::Current, file, none, file, L"20230115"},
      {UpdateOutcome::Failed, none, none, none, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(&c - cases);
    PrinterReport report;
    report.name = L"Queue";
    report.file = L"C:\\fw\\update.bin";
    report.outcome = c.outcome;
    report.versionBefore = c.before;
    report.versionAfter = c.after;
    report.fileVersion = c.fileVersion;
    std::vector<std::wstring> got;
    for (const PrinterStateValue& v : PrinterStateValues(report, L"2024-03-01T09:05:07Z")) {
      got.push_back(std::wstring(v.name) + L"=" + v.text);
    }
    std::vector<std::wstring> want = {L"LastOutcome=" + std::wstring(OutcomeText(c.outcome)),
                                      L"LastUpdate=2024-03-01T09:05:07Z", L"FirmwareFile=C:\\fw\\update.bin"};
    if (c.firmware) want.insert(want.begin(), L"FirmwareVersion=" + std::wstring(c.firmware));
    EXPECT_EQ(got, want);
  }
  // A connection's queue is one key, not a path of keys.
  EXPECT_EQ(PrinterStateKeyName(L"\\\\srv\\Queue A"), L",,srv,Queue A");
  EXPECT_EQ(PrinterStateKeyName(L"Local/Queue"), L"Local/Queue");
}

// Stored with their terminator: the system adds a missing one only sometimes,
// and a detection rule reading the value would see a text without its end.
TEST(PrinterState, TextsAreStoredWithTheirTerminator) {
  EXPECT_EQ(RegistryTextBytes(0), 2u);
  EXPECT_EQ(RegistryTextBytes(std::wstring(L"updated").size()), 16u);
}
