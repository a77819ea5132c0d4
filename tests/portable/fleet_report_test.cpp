// A printer's version as the report gives it: the internal component marker
// (9999) never shows as a version; with no component named it is unknown. The
// dialog's record names outcomes as a fleet run does.
#include "update/fleet_report.h"

#include <gtest/gtest.h>

#include "firmware/versions.h"
#include "support/log_capture.h"

TEST(PrinterVersionOf, ComponentMarkerNeverShows) {
  LogCapture log;
  PrinterVersionCheck check;
  check.printerVersion = PRINTER_VERSION_COMPONENTS;
  for (const char* named_none : {"", "\r\n"}) {
    check.componentText = named_none;
    EXPECT_FALSE(PrinterVersionOf(check).known) << named_none;
  }
  check.componentText = "print  = 12\r\n";
  const ReportVersion v = PrinterVersionOf(check);
  EXPECT_TRUE(v.known);
  EXPECT_EQ(v.parts, (std::vector<std::pair<std::string, uint32_t>>{{"print", 12}}));
}

TEST(WorkerReport, OutcomesNamedAsAFleetRunNamesThem) {
  const plist_t printer{L"Office", L"USB001", L"0"};
  const struct {
    int status;
    UpdateOutcome outcome;
  } cases[] = {{FWDL_UPDATED, UpdateOutcome::Updated},
               {FWDL_UP_TO_DATE, UpdateOutcome::Current},
               {FWDL_NOT_TRUSTED, UpdateOutcome::Failed},
               {-1, UpdateOutcome::Failed}};
  for (const auto& c : cases) {
    WorkerResult result;
    result.status = c.status;
    const PrinterReport report = WorkerReport(printer, result, 2.5);
    EXPECT_EQ(report.outcome, c.outcome) << c.status;
    EXPECT_EQ(report.kind, L"usb") << c.status;
  }
}
