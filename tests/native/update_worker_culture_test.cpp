// The update worker's file choice by front panel culture, against the
// simulated printer: the model name and the panel build come from the printer
// itself. The files chosen are unreadable images, so each case ends at the
// corrupt-file check, before anything is sent to the printer.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/tideway_dlg.h"
#include "host/text_utils.h"
#include "ntwk_sim_fixture.h"
#include "printer/product_name.h"
#include "support/fake_ports.h"
#include "support/fake_spooler.h"
#include "support/firmware_builder.h"
#include "support/log_capture.h"

using nettest::SimPrinter;

TEST(UpdateWorker, ElmbridgeCultureChoosesTheFile) {
  SimPrinter printer;
  ASSERT_TRUE(printer.Start("127.53.0.1", {"--printer-info", "MDL:QV Elm 200;"}, 5000)) << printer.error();
  const std::wstring port = L"IP_127.53.0.1";
  FakeSpooler spooler({{L"Elm", port, L"QV Elm Driver", L"", 0}});
  FakePortSource ports;
  ports.AddXcvAnswer(port, printer.Address());

  const std::wstring west = fwtest::TempPath(L"west.bin");
  const std::wstring folder = west.substr(0, west.size() - wcslen(L"west.bin"));
  fwtest::WriteFileBytes(west, std::vector<uint8_t>(64, 0x11));
  fwtest::WriteFileBytes(folder + L"east.bin", std::vector<uint8_t>(64, 0x22));
  const std::wstring corrupt = L"Elm: The firmware file is corrupt.";
  const std::wstring noFile = L"Elm: Could not find appropriate firmware file.\r\n";

  struct Case {
    const wchar_t* product;
    const char* build;
    bool asianTable;
    const wchar_t* logLine;  // the culture line, or nullptr
    const wchar_t* file;     // the file examined last, or nullptr
    std::wstring outcome;
    size_t buildQueries;
  } cases[] = {
      {L"ELMBRIDGE 9", "PANEL:WESTERN-7;", true, L"FWDownload()::This is a western product, use default bin file",
       L"west.bin", corrupt, 1},
      {L"ELMBRIDGE 9", "PANEL:ASIAN-7;", true, L"FWDownload()::This is a asian product, get asian bin file",
       L"east.bin", corrupt, 1},
      {L"ELMBRIDGE 9", "PANEL:ASIAN-7;", false, L"FWDownload()::This is a asian product, get asian bin file", nullptr,
       noFile, 1},
      {L"ELMBRIDGE 9", "PANEL:POLAR-7;", true, L"FWDownload()::Unable to retrieve the printer front panel culture.",
       nullptr, L"", 1},
      // Other products never ask for the panel build.
      {L"ELMBRIDG", "PANEL:ASIAN-7;", true, nullptr, L"west.bin", corrupt, 0},
  };
  for (const Case& c : cases) {
    SetProductName(c.product);
    ASSERT_NE(printer.sim().Control(std::string(R"({"op":"set","build_info":")") + c.build + "\"}"), "");
    const size_t before = printer.sim().Events("command").size();

    CtidewayDlg dlg;
    CopyText(dlg.m_programDirectory, DLG_PATH_MAX, folder.c_str());
    dlg.m_binfileList = {L"QV Elm*", L"west.bin"};
    if (c.asianTable) dlg.m_asianBinfileList = {L"QV Elm*", L"east.bin"};
    LogCapture log;
    dlg.FWDownload({L"Elm", port, L"0"});
    EXPECT_FALSE(dlg.m_updateSucceeded) << c.build;
    EXPECT_EQ(dlg.m_resultText, c.outcome) << c.build;
    EXPECT_TRUE(log.Contains(L"GetBinFile(QV Elm 200)")) << c.build;
    if (c.logLine) {
      EXPECT_TRUE(log.Contains(c.logLine)) << c.build;
    }
    std::wstring lastFile;
    for (const std::wstring& line : log.Lines()) {
      if (line.rfind(L"Firmware file = ", 0) == 0) lastFile = line.substr(wcslen(L"Firmware file = "));
    }
    EXPECT_EQ(lastFile, c.file ? folder + c.file : folder + L"west.bin") << c.build;

    size_t buildQueries = 0;
    const std::vector<std::string> commands = printer.sim().Events("command");
    for (size_t i = before; i < commands.size(); ++i) {
      const std::string name = PrinterSim::Str(commands[i], "cmd");
      EXPECT_TRUE(name == "GET_PRINTER_INFO" || name == "GET_BUILD_INFO") << name;
      if (name == "GET_BUILD_INFO") ++buildQueries;
    }
    EXPECT_EQ(buildQueries, c.buildQueries) << c.build;
  }
  SetProductName(L"");
}
