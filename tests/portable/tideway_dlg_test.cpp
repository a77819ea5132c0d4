// The main dialog's printer list, the update worker's firmware file choice from
// the configured tables, and the outcome line each download status leaves.
#include "app/tideway_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "host/text_utils.h"
#include "support/fake_spooler.h"
#include "support/log_capture.h"
#include "update/fw_download.h"

namespace fs = std::filesystem;

TEST(FirmwareChoice, TableRules) {
  const TextList fourPairs = {L"QV Model 7*", L"m7.bin", L"*71*", L"m71.bin"};
  const TextList groups = {L"QV Model 9*", L"m9.bin", L"P9", L"F9", L"*", L"any.bin", L"PA", L"FA"};
  struct Case {
    const char* what;
    TextList pairs;
    TextList groups;
    const wchar_t* key;
    const wchar_t* file;
    const wchar_t* product;
    const wchar_t* family;
  } cases[] = {
      {"pairs: first match, no IDs", fourPairs, groups, L"qv model 7100 extra", L"m7.bin", L"", L""},
      {"pairs: pattern inside", fourPairs, groups, L"QV Model 8710", L"m71.bin", L"", L""},
      {"pairs: two or more entries, groups never read", fourPairs, groups, L"QV Model 9000", L"", L"", L""},
      {"pattern without a star: that key only",
       {L"QV Model 7100", L"exact.bin"},
       {},
       L"QV Model 7100 series",
       L"",
       L"",
       L""},
      {"exact pattern needs the start", {L"QV Model 7100", L"exact.bin"}, {}, L"My QV Model 7100", L"", L"", L""},
      {"matching last entry without a file", {L"nope", L"a.bin", L"QV*"}, {}, L"QV 1", L"", L"", L""},
      {"groups: IDs of the first match", {}, groups, L"qv model 9100", L"m9.bin", L"P9", L"F9"},
      {"groups: used when pairs has one entry", {L"QV*"}, groups, L"Other", L"any.bin", L"PA", L"FA"},
      {"groups: a single group", {}, {L"QV*", L"one.bin", L"P1", L"F1"}, L"QV 2", L"one.bin", L"P1", L"F1"},
      {"groups: exactly one entry is no table", {}, {L"QV*"}, L"QV 2", L"", L"", L""},
      {"groups: short last group", {}, {L"X*", L"x.bin", L"PX", L"FX", L"QV*", L"q.bin"}, L"QV 3", L"q.bin", L"", L""},
      {"groups: an ID is never a pattern",
       {},
       {L"QV 7100n*", L"n.pkg", L"QV 7100dn", L"F", L"QV 7100dn*", L"dn.pkg", L"QV 7100dn", L"F"},
       L"QV 7100dn",
       L"dn.pkg",
       L"QV 7100dn",
       L"F"},
      {"pairs: a file name is never a pattern",
       {L"QV 9*", L"QV 7100", L"QV 7*", L"m7.bin"},
       {},
       L"QV 7100",
       L"m7.bin",
       L"",
       L""},
  };
  LogCapture log;
  for (const Case& c : cases) {
    wchar_t file[DLG_NAME_MAX], product[DLG_NAME_MAX], family[DLG_NAME_MAX];
    const bool found = ChooseFirmwareEntry(c.pairs, c.groups, c.key, file, product, family);
    EXPECT_EQ(found, c.file[0] != 0) << c.what;
    EXPECT_STREQ(file, c.file) << c.what;
    EXPECT_STREQ(product, c.product) << c.what;
    EXPECT_STREQ(family, c.family) << c.what;
  }
  EXPECT_TRUE(log.Contains(L"m_binfileListWithIDs.GetCount() = 8"));
  EXPECT_TRUE(log.Contains(L"cDriver = QV Model 9*"));
  EXPECT_TRUE(log.Contains(L"BinFile:m9.bin, prodID:P9, famID:F9"));
}

TEST(FirmwareChoice, FileBesideTheProgram) {
  const fs::path dir = fs::temp_directory_path() / ("tideway-choice-" + std::to_string(std::random_device{}()));
  fs::create_directories(dir);
  std::ofstream(dir / "west.bin") << "image";
  std::ofstream(dir / "east.bin") << "image";

  CtidewayDlg dlg;
  const std::wstring folder = (dir / "").wstring();
  CopyText(dlg.m_programDirectory, DLG_PATH_MAX, folder.c_str());
  dlg.m_binfileList = {L"QV Elm*", L"west.bin", L"QV Gone*", L"missing.bin"};
  dlg.m_asianBinfileList = {L"QV Elm*", L"east.bin"};

  LogCapture log;
  wchar_t path[DLG_PATH_MAX], product[DLG_NAME_MAX], family[DLG_NAME_MAX];
  EXPECT_TRUE(dlg.GetBinFile(L"QV Elm 200", path, product, family));
  EXPECT_EQ(std::wstring(path), folder + L"west.bin");
  EXPECT_TRUE(dlg.GetBinFileAsian(L"QV Elm 200", path, product, family));
  EXPECT_EQ(std::wstring(path), folder + L"east.bin");
  EXPECT_TRUE(log.Contains(L"GetBinFile(QV Elm 200)"));
  EXPECT_TRUE(log.Contains(L"Firmware file = " + folder + L"east.bin"));

  EXPECT_FALSE(dlg.GetBinFile(L"QV Gone 1", path, product, family));
  EXPECT_TRUE(log.ContainsPart(L"  Cannot open " + folder + L"missing.bin"));
  EXPECT_FALSE(dlg.GetBinFile(L"Office Laser", path, product, family));
  EXPECT_TRUE(log.Contains(L"Could not find a firmware file to use for programming."));

  // A folder and name longer than a path is never cut into another file's name.
  dlg.m_binfileList = {L"*", std::wstring(DLG_PATH_MAX, L'n')};
  EXPECT_FALSE(dlg.GetBinFile(L"QV Elm 200", path, product, family));
  fs::remove_all(dir);
}

// The line and whether the dialog shows success (bar at 100, the picture) or
// the failure box.
TEST(UpdateOutcome, StatusTable) {
  struct Case {
    int status;
    const wchar_t* line;
    bool succeeded;
  } cases[] = {
      {FWDL_FAILED, L"P: !!Failed to update firmware!!\r\n     Power cycle the printer and try again.\r\n", false},
      {FWDL_UPDATED, L"P: Successfully updated firmware.\r\n", true},
      {FWDL_UP_TO_DATE, L"P: Firmware is up to date.\r\n", true},
      {FWDL_NO_USB_DEVICE, L"P:  is not connected to a USB port.  Please connect and try again.\r\n", false},
      {FWDL_NO_PARALLEL_PORT, L"P:  is not connected to a USB port.  Please connect and try again.\r\n", false},
      {FWDL_NOT_TRUSTED, L"P: The firmware file is not signed by a trusted signer.", false},
      {6, L"P: Recieved unknown status from printer.\r\n     Power cycle the printer and try again.\r\n", false},
      {-1, L"P: Recieved unknown status from printer.\r\n     Power cycle the printer and try again.\r\n", false},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(OutcomeLine(L"P", OutcomeStringId(c.status)), c.line) << c.status;
    EXPECT_EQ(OutcomeSucceeded(c.status), c.succeeded) << c.status;
  }
}

TEST(MainDialogList, SpoolerOrderWithoutTheParallelDriverOnLpt) {
  FakeSpooler spooler({{L"QV Orrery Print Driver", L"LPT1:", L"QV Drv", L"", 0},
                       {L"QV Orrery Print Driver on the network", L"IP_127.0.0.9", L"QV Drv", L"", 0},
                       {L"QV Orrery Print Driver (copy 2)", L"USB001", L"QV Drv", L"", 3},
                       {L"qv orrery print driver", L"LPT2:", L"QV Drv", L"", 0},
                       {L"Office", L"LPT1:", L"Other", L"", 0}});
  CtidewayDlg dlg;
  dlg.m_driverNames = {L"QV Drv"};
  LogCapture log;
  dlg.CollectPrinters();
  // One line a step past each of the four printers found.
  const std::vector<std::wstring> lines = log.Lines();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L"GetNextInstalledPrinter()"), 4);
  ASSERT_EQ(dlg.m_printerCount, 3);
  EXPECT_EQ(dlg.m_printerList[0].portName, L"IP_127.0.0.9");
  EXPECT_EQ(dlg.m_printerList[1].jobs, L"3");
  EXPECT_EQ(dlg.m_printerList[2].printerName, L"qv orrery print driver");
}
