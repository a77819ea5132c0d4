// Installed-printer discovery against the spooler of the Wine test prefix
// (scripts/lib/make-test-prefix.sh lists its printers).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "printer/installed_printers.h"

namespace {
bool Has(const PrinterNameList& names, const wchar_t* name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}
}  // namespace

TEST(SpoolerPrinters, FoundByWholeDriverNameIgnoringCase) {
  PrinterNameList found;
  int n = FindInstalledPrinters(&found, {L"QV Vestra 5100 Series", L"qv orrery print driver"}, 1);
  EXPECT_EQ(n, static_cast<int>(found.size()));
  EXPECT_TRUE(Has(found, L"QV Vestra 5100 Network"));
  EXPECT_TRUE(Has(found, L"QV Vestra 5100 USB"));
  EXPECT_TRUE(Has(found, L"QV Orrery Parallel"));
  EXPECT_FALSE(Has(found, L"Office Laser"));
  EXPECT_FALSE(Has(found, L"Tideway Long Values"));

  struct Case {
    const wchar_t* driver;
    int count;
  } cases[] = {
      {L"QV ORRERY PRINT DRIVER", 1},
      {L"QV Orrery Print", 0},       // a part of a driver name
      {L"QV Vestra 5100 Series Plus", 0},
      {L"Generic Office Laser PCL", 1},
  };
  for (const Case& c : cases) {
    PrinterNameList names;
    EXPECT_EQ(FindInstalledPrinters(&names, {c.driver}, 1), c.count) << c.driver;
  }
}

TEST(SpoolerPrinters, ListWalk) {
  InstalledPrinterList list;
  wchar_t name[PRINTER_NAME_MAX];
  ASSERT_EQ(GetFirstInstalledPrinter(&list, {L"QV Vestra 5100 Series"}, name), 1);
  PrinterNameList seen{name};
  while (GetNextInstalledPrinter(&list, name)) seen.push_back(name);
  EXPECT_EQ(seen, list.names);
  EXPECT_EQ(static_cast<int>(seen.size()), list.count);
  EXPECT_TRUE(Has(seen, L"QV Vestra 5100 Network"));
  EXPECT_TRUE(Has(seen, L"QV Vestra 5100 USB"));
}

TEST(SpoolerPrinters, InfoPortAndDriverOfEachKind) {
  struct Case {
    const wchar_t* printer;
    const wchar_t* port;
    const wchar_t* driver;
    const wchar_t* comment;
  } cases[] = {
      {L"QV Vestra 5100 Network", L"IP_127.40.0.2", L"QV Vestra 5100 Series", L"network printer (simulator address)"},
      {L"QV Vestra 5100 USB", L"USB001", L"QV Vestra 5100 Series", L"USB printer"},
      {L"QV Orrery Parallel", L"LPT1:", L"QV Orrery Print Driver", L"parallel printer"},
  };
  for (const Case& c : cases) {
    PrinterInfo info;
    ASSERT_EQ(GetPrinterInfo(c.printer, &info), 1) << c.printer;
    EXPECT_STREQ(info.portName, c.port);
    EXPECT_STREQ(info.driver, c.driver);
    EXPECT_STREQ(info.comment, c.comment);
    // Wine keeps no queue for registry printers: the count is always 0.
    EXPECT_STREQ(info.jobs, L"0");

    wchar_t port[PRINTER_PORT_MAX];
    ASSERT_EQ(GetPortname(c.printer, port), 1);
    EXPECT_STREQ(port, c.port);
    wchar_t driver[PRINTER_DRIVER_MAX];
    ASSERT_EQ(GetPrinterDriverName(c.printer, driver), 1);
    EXPECT_STREQ(driver, c.driver);
  }
}

TEST(SpoolerPrinters, OverLongValuesAreCut) {
  PrinterInfo info;
  ASSERT_EQ(GetPrinterInfo(L"Tideway Long Values", &info), 1);
  EXPECT_EQ(wcslen(info.portName), PRINTER_PORT_MAX - 1);
  EXPECT_EQ(std::wstring(info.portName).substr(0, 14), L"IP_127.40.0.99");
  EXPECT_EQ(wcslen(info.driver), PRINTER_DRIVER_MAX - 1);
  EXPECT_EQ(std::wstring(info.driver).substr(0, 15), L"QV Long Driver ");
  EXPECT_EQ(wcslen(info.comment), PRINTER_COMMENT_MAX - 1);

  wchar_t port[PRINTER_PORT_MAX];
  ASSERT_EQ(GetPortname(L"Tideway Long Values", port), 1);
  EXPECT_EQ(wcslen(port), PRINTER_PORT_MAX - 1);

  PrinterNameList found;
  EXPECT_EQ(FindInstalledPrinters(&found, {std::wstring(L"QV Long Driver ") + std::wstring(300, L'D')}, 1), 1);
}

TEST(SpoolerPrinters, UnknownPrinterFailsWithoutTouchingTheDriver) {
  PrinterInfo info;
  wcscpy(info.driver, L"kept");
  wcscpy(info.portName, L"stale");
  EXPECT_EQ(GetPrinterInfo(L"No Such Printer 4711", &info), 0);
  EXPECT_STREQ(info.driver, L"kept");
  EXPECT_STREQ(info.portName, L"");
  wchar_t port[PRINTER_PORT_MAX] = L"stale";
  EXPECT_EQ(GetPortname(L"No Such Printer 4711", port), 0);
  EXPECT_STREQ(port, L"");
}
