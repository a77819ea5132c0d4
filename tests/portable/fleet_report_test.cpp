// A printer's version as the report gives it: the internal component marker
// (9999) never shows as a version; with no component named it is unknown.
#include "update/fleet_report.h"

#include <gtest/gtest.h>

#include "firmware/versions.h"
#include "support/log_capture.h"

TEST(PrinterVersionOf, ComponentMarkerNeverShows) {
  using Parts = std::vector<std::pair<std::string, uint32_t>>;
  struct Case {
    uint32_t printerVersion;
    const char* componentText;
    bool known;
    uint32_t number;
    Parts parts;
  } cases[] = {
      {0, "", false, 0, {}},
      {20150101, "", true, 20150101, {}},
      {PRINTER_VERSION_COMPONENTS,
       "print  = 12\r\nNandLDR = 3\r\n",
       true,
       PRINTER_VERSION_COMPONENTS,
       {{"print", 12}, {"NandLDR", 3}}},
      // An empty component answer, or one that names no component.
      {PRINTER_VERSION_COMPONENTS, "", false, 0, {}},
      {PRINTER_VERSION_COMPONENTS, "\r\n", false, 0, {}},
  };
  LogCapture log;
  for (const Case& c : cases) {
    PrinterVersionCheck check;
    check.printerVersion = c.printerVersion;
    check.componentText = c.componentText;
    const ReportVersion v = PrinterVersionOf(check);
    EXPECT_EQ(v.known, c.known) << c.printerVersion << " " << c.componentText;
    if (c.known) {
      EXPECT_EQ(v.number, c.number);
      EXPECT_EQ(v.parts, c.parts);
    }
  }
}
