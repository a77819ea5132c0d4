#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "printer/installed_printers.h"
#include "support/fake_spooler.h"
#include "support/log_capture.h"

namespace {
// The log lines with the system's message text of error lines left out: it
// differs between platforms (and may hold line breaks); code and context do not.
std::vector<std::wstring> Lines(const LogCapture& log) {
  std::vector<std::wstring> lines;
  bool inMessage = false;
  for (const std::wstring& line : log.Lines()) {
    if (inMessage) {
      lines.back() += line;
    } else {
      lines.push_back(line);
    }
    std::wstring& last = lines.back();
    size_t msg = last.find(L"  Msg: ");
    size_t context = last.find(L"  Context: ");
    inMessage = msg != std::wstring::npos && context == std::wstring::npos;
    if (msg != std::wstring::npos && context != std::wstring::npos && context > msg + 7) {
      last.erase(msg + 7, context - msg - 7);
    }
  }
  return lines;
}

bool Contains(const LogCapture& log, const std::wstring& line) {
  auto lines = Lines(log);
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

size_t Count(const LogCapture& log, const std::wstring& line) {
  auto lines = log.Lines();
  return static_cast<size_t>(std::count(lines.begin(), lines.end(), line));
}

std::vector<FakePrinter> Office() {
  return {
      {L"Front Desk", L"IP_127.40.0.2", L"QV Vestra 5100 Series", L"ground floor", 3},
      {L"Plotter", L"FILE:", L"Generic Plotter", L"", 0},
      {L"Back Office", L"USB001", L"QV VESTRA 5100 SERIES", L"", 0},
      {L"Lab", L"LPT1:", L"QV Vestra 5100 Series Plus", L"", 0},
      {L"\\\\server\\Shared", L"IP_127.40.0.9", L"qv korm 300", L"", 12},
  };
}
}  // namespace

TEST(FindInstalledPrinters, MatchesWholeDriverNamesIgnoringCase) {
  struct Case {
    PrinterNameList drivers;
    PrinterNameList expected;
  } cases[] = {
      {{L"qv vestra 5100 series"}, {L"Front Desk", L"Back Office"}},
      // A longer model name that merely contains a listed name, or a listed
      // name that is a prefix of a driver, does not match.
      {{L"QV Vestra 5100"}, {}},
      {{L"Vestra 5100 Series"}, {}},
      {{L"QV Vestra 5100 Series Plus"}, {L"Lab"}},
      // Connections (shared queues) count like local printers.
      {{L"QV Korm 300"}, {L"\\\\server\\Shared"}},
      // Spooler order, not list order; a driver listed twice (in any case) still lists each printer once.
      {{L"QV Korm 300", L"QV Vestra 5100 Series"}, {L"Front Desk", L"Back Office", L"\\\\server\\Shared"}},
      {{L"QV Vestra 5100 Series", L"qv vestra 5100 series"}, {L"Front Desk", L"Back Office"}},
      // An empty entry (what an empty property yields) matches nothing here.
      {{L""}, {}},
  };
  FakeSpooler spooler(Office());
  for (const Case& c : cases) {
    PrinterNameList found;
    int n = FindInstalledPrinters(&found, c.drivers, 1);
    EXPECT_EQ(n, static_cast<int>(c.expected.size())) << c.drivers[0];
    EXPECT_EQ(found, c.expected) << c.drivers[0];
  }
}

TEST(FindInstalledPrinters, LogsEachFindAndTheCount) {
  FakeSpooler spooler(Office());
  LogCapture log;
  PrinterNameList found;
  EXPECT_EQ(FindInstalledPrinters(&found, {L"QV Vestra 5100 Series", L"x", L"y"}, 1), 2);
  EXPECT_EQ(Lines(log), (std::vector<std::wstring>{
                                L"FindInstalledPrinters(driverList 3 elements)",
                                L"  Found one of our printers Front Desk, count=1",
                                L"  Found one of our printers Back Office, count=2",
                            }));
}

TEST(FindInstalledPrinters, ClearFlagEmptiesOrAppends) {
  FakeSpooler spooler(Office());
  PrinterNameList found{L"earlier"};
  EXPECT_EQ(FindInstalledPrinters(&found, {L"QV Korm 300"}, 0), 1);
  EXPECT_EQ(found, (PrinterNameList{L"earlier", L"\\\\server\\Shared"}));
  EXPECT_EQ(FindInstalledPrinters(&found, {L"QV Korm 300"}, 1), 1);
  EXPECT_EQ(found, (PrinterNameList{L"\\\\server\\Shared"}));
  // The clear happens before the empty-list refusal.
  EXPECT_EQ(FindInstalledPrinters(&found, {}, 1), 0);
  EXPECT_TRUE(found.empty());
}

TEST(FindInstalledPrinters, NothingFoundAndSpoolerFailures) {
  {
    FakeSpooler spooler;
    LogCapture log;
    PrinterNameList found;
    EXPECT_EQ(FindInstalledPrinters(&found, {L"QV Korm 300"}, 1), 0);
    EXPECT_TRUE(Contains(log, L"  No Printers installed"));
    EXPECT_TRUE(Contains(log, L" Found NO printers with our drivername"));
  }
  {
    FakeSpooler spooler(Office());
    LogCapture log;
    PrinterNameList found;
    EXPECT_EQ(FindInstalledPrinters(&found, {}, 1), 0);
    EXPECT_TRUE(Contains(log, L"ERROR: DriverNameList is empty"));
    EXPECT_FALSE(Contains(log, L" Found NO printers with our drivername"));
  }
  struct Failure {
    int step;
    const wchar_t* line;
  } failures[] = {
      {SPOOLER_SIZE_FAILED, L"===>>> ERROR (gle=1722, 0x6ba):  Msg:   Context:   EnumPrinters failed"},
      {SPOOLER_READ_FAILED, L"===>>> ERROR (gle=1722, 0x6ba):  Msg:   Context:   EnumPrinters failed"},
      {SPOOLER_ALLOC_FAILED, L"  malloc failed"},
  };
  for (const Failure& f : failures) {
    FakeSpooler spooler(Office());
    spooler.FailEnum(f.step, 1722);
    LogCapture log;
    PrinterNameList found{L"kept"};
    EXPECT_EQ(FindInstalledPrinters(&found, {L"QV Korm 300"}, 0), 0);
    EXPECT_EQ(found, PrinterNameList{L"kept"});
    EXPECT_TRUE(Contains(log, f.line)) << f.step;
    EXPECT_FALSE(Contains(log, L" Found NO printers with our drivername")) << f.step;
  }
}

TEST(InstalledPrinterList, FirstThenNextUntilTheCount) {
  FakeSpooler spooler(Office());
  LogCapture log;
  InstalledPrinterList list;
  list.names = {L"stale"};
  list.cursor = 7;
  wchar_t name[PRINTER_NAME_MAX] = L"";
  ASSERT_EQ(GetFirstInstalledPrinter(&list, {L"QV Vestra 5100 Series", L"QV Korm 300"}, name), 1);
  EXPECT_STREQ(name, L"Front Desk");
  EXPECT_EQ(list.count, 3);
  EXPECT_EQ(list.cursor, 0u);
  std::vector<std::wstring> seen{name};
  while (GetNextInstalledPrinter(&list, name)) seen.push_back(name);
  EXPECT_EQ(seen, (std::vector<std::wstring>{L"Front Desk", L"Back Office", L"\\\\server\\Shared"}));
  EXPECT_EQ(list.cursor, 3u);
  EXPECT_EQ(Count(log, L"GetNextInstalledPrinter()"), 3u);
  // Past the end it stays at the end.
  EXPECT_EQ(GetNextInstalledPrinter(&list, name), 0);
  EXPECT_EQ(list.cursor, 3u);

  wchar_t untouched[PRINTER_NAME_MAX] = L"before";
  EXPECT_EQ(GetFirstInstalledPrinter(&list, {L"nobody's driver"}, untouched), 0);
  EXPECT_STREQ(untouched, L"before");
  EXPECT_EQ(list.count, 0);
  EXPECT_TRUE(list.names.empty());
  EXPECT_EQ(GetNextInstalledPrinter(&list, untouched), 0);
}

TEST(GetPrinterInfo, FillsEveryFieldAndLogsThem) {
  FakeSpooler spooler(Office());
  LogCapture log;
  PrinterInfo info;
  wcscpy(info.driver, L"old");
  ASSERT_EQ(GetPrinterInfo(L"Front Desk", &info), 1);
  EXPECT_STREQ(info.portName, L"IP_127.40.0.2");
  EXPECT_STREQ(info.comment, L"ground floor");
  EXPECT_STREQ(info.jobs, L"3");
  EXPECT_STREQ(info.driver, L"QV Vestra 5100 Series");
  EXPECT_EQ(Lines(log), (std::vector<std::wstring>{
                                L"GetPrinterInfo(Front Desk)----",
                                L"pInfo -",
                                L"       comment: ground floor",
                                L"       portName: IP_127.40.0.2",
                                L"       driver: QV Vestra 5100 Series",
                                L"       jobs: 3",
                            }));
}

TEST(GetPrinterInfo, MissingValuesStayEmpty) {
  FakeSpooler spooler(Office());
  spooler.SetNullComments(true);
  PrinterInfo info;
  wcscpy(info.comment, L"leftover");
  ASSERT_EQ(GetPrinterInfo(L"Front Desk", &info), 1);
  EXPECT_STREQ(info.comment, L"");
}

TEST(GetPrinterInfo, FailuresEmptyTheFieldsButKeepTheDriver) {
  struct Case {
    int step;  // SPOOLER_OK: unknown printer name
    std::vector<std::wstring> lines;
  } cases[] = {
      {SPOOLER_OK, {L"===>>> ERROR (gle=1801, 0x709):  Msg:   Context: OpenPrinter() failed"}},
      {SPOOLER_OPEN_FAILED, {L"===>>> ERROR (gle=5, 0x5):  Msg:   Context: OpenPrinter() failed"}},
      {SPOOLER_SIZE_FAILED, {L"===>>> ERROR (gle=5, 0x5):  Msg:   Context: GetPrinter-1() failed"}},
      {SPOOLER_ALLOC_FAILED, {L"===>>> ERROR (gle=5, 0x5):  Msg:   Context: malloc() failed"}},
      {SPOOLER_READ_FAILED,
       {L"GetPrinter-2() failed", L"===>>> ERROR (gle=5, 0x5):  Msg:   Context: GetPrinter-2() failed"}},
  };
  for (const Case& c : cases) {
    FakeSpooler spooler(Office());
    if (c.step != SPOOLER_OK) spooler.FailGet(c.step, 5);
    LogCapture log;
    PrinterInfo info;
    wcscpy(info.portName, L"p");
    wcscpy(info.comment, L"c");
    wcscpy(info.jobs, L"9");
    wcscpy(info.driver, L"kept driver");
    const wchar_t* name = c.step == SPOOLER_OK ? L"Gone Printer" : L"Front Desk";
    EXPECT_EQ(GetPrinterInfo(name, &info), 0) << c.step;
    EXPECT_STREQ(info.portName, L"");
    EXPECT_STREQ(info.comment, L"");
    EXPECT_STREQ(info.jobs, L"");
    EXPECT_STREQ(info.driver, L"kept driver");
    std::vector<std::wstring> expected{std::wstring(L"GetPrinterInfo(") + name + L")----"};
    expected.insert(expected.end(), c.lines.begin(), c.lines.end());
    EXPECT_EQ(Lines(log), expected) << c.step;

    wchar_t driver[PRINTER_DRIVER_MAX] = L"x";
    EXPECT_EQ(GetPrinterDriverName(name, driver), 0);
    EXPECT_STREQ(driver, L"");
  }
}

TEST(GetPortname, ResultsAndLogLines) {
  struct Case {
    int step;
    const wchar_t* printer;
    int result;
    const wchar_t* port;
    const wchar_t* line;  // after "GetPortname()"
  } cases[] = {
      {SPOOLER_OK, L"Back Office", 1, L"USB001", nullptr},
      {SPOOLER_OK, L"Gone Printer", 0, L"", L"OpenPrinter() failed (gle=1801)"},
      {SPOOLER_OPEN_FAILED, L"Lab", 0, L"", L"OpenPrinter() failed (gle=5)"},
      {SPOOLER_SIZE_FAILED, L"Lab", 0, L"", L"GetPrinter failed (gle=5)"},
      {SPOOLER_ALLOC_FAILED, L"Lab", 0, L"", L"malloc failed (gle=5)"},
      {SPOOLER_READ_FAILED, L"Lab", 0, L"", L"GetPrinter failed (gle=5)"},
  };
  for (const Case& c : cases) {
    FakeSpooler spooler(Office());
    if (c.step != SPOOLER_OK) spooler.FailGet(c.step, 5);
    LogCapture log;
    wchar_t port[PRINTER_PORT_MAX] = L"stale";
    EXPECT_EQ(GetPortname(c.printer, port), c.result) << c.printer << c.step;
    EXPECT_STREQ(port, c.port);
    std::vector<std::wstring> expected{L"GetPortname()"};
    if (c.line) expected.push_back(c.line);
    EXPECT_EQ(Lines(log), expected) << c.step;
  }
}

TEST(InstalledPrinters, OverLongSpoolerValuesAreCut) {
  const std::wstring longName(300, L'N');
  const std::wstring longPort = L"IP_" + std::wstring(400, L'9');
  const std::wstring longDriver(1000, L'D');
  const std::wstring longComment(5000, L'C');
  FakeSpooler spooler({{longName, longPort, longDriver, longComment, 4000000000u}});

  InstalledPrinterList list;
  wchar_t name[PRINTER_NAME_MAX];
  ASSERT_EQ(GetFirstInstalledPrinter(&list, {longDriver}, name), 1);
  EXPECT_EQ(std::wstring(name), longName.substr(0, PRINTER_NAME_MAX - 1));

  PrinterInfo info;
  ASSERT_EQ(GetPrinterInfo(longName.c_str(), &info), 1);
  EXPECT_EQ(std::wstring(info.portName), longPort.substr(0, PRINTER_PORT_MAX - 1));
  EXPECT_EQ(std::wstring(info.comment), longComment.substr(0, PRINTER_COMMENT_MAX - 1));
  EXPECT_EQ(std::wstring(info.driver), longDriver.substr(0, PRINTER_DRIVER_MAX - 1));
  EXPECT_LT(wcslen(info.jobs), PRINTER_JOBS_MAX);

  wchar_t port[PRINTER_PORT_MAX];
  ASSERT_EQ(GetPortname(longName.c_str(), port), 1);
  EXPECT_EQ(wcslen(port), PRINTER_PORT_MAX - 1);
  wchar_t driver[PRINTER_DRIVER_MAX];
  ASSERT_EQ(GetPrinterDriverName(longName.c_str(), driver), 1);
  EXPECT_EQ(wcslen(driver), PRINTER_DRIVER_MAX - 1);
}
