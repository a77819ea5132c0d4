// A printer's version as the report gives it: the internal component marker
// (9999) never shows as a version; with no component named it is unknown.
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
