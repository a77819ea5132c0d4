// Portable pieces of the download controller: the fields of the printer's
// information text, the progress messages to the main window, the path a
// port name takes, and ports without an address.

#include "update/fw_download.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window_link.h"
#include "firmware/versions.h"
#include "printer/tcp_port_data.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_spooler.h"
#include "support/fake_tcp_channel.h"
#include "support/log_capture.h"
#include "transport/acl_protocol.h"
#include "update/printer_record.h"

TEST(FWDownload, InfoFieldIsTheTextUpToTheFirstSemicolonAfterIt) {
  const std::wstring longValue(300, L'x');
  // A pair whose high half would be the 255th character is left out whole.
  const std::wstring pairAtCut = std::wstring(254, L'y') + L"\xD83D\xDE00" + L"z";
  // A whole pair that ends at the 255th character stays.
  const std::wstring pairBeforeCut = std::wstring(253, L'y') + L"\xD83D\xDE00" + L"z";
  struct Case {
    std::wstring info;
    int found;
    std::wstring value;
  } cases[] = {
      {L"\nMFG:QV;MDL:QV Office 9;CMD:ACL;", 1, L"QV Office 9"},
      {L"MDL:;", 1, L""},
      {L"MDL:first;MDL:second;", 1, L"first"},
      {L"CMD:ACL;MDL:no end", 0, L"kept"},
      {L"CMD:ACL;", 0, L"kept"},
      {L"mdl:lower;", 0, L"kept"},
      {L"MDL:" + longValue + L";", 1, longValue.substr(0, FWDL_NAME_MAX - 1)},
      {L"MDL:" + pairAtCut + L";", 1, pairAtCut.substr(0, 254)},
      {L"MDL:" + pairBeforeCut + L";", 1, pairBeforeCut.substr(0, 255)},
  };
  for (const Case& c : cases) {
    wchar_t out[FWDL_NAME_MAX] = L"kept";
    EXPECT_EQ(ExtractInfoField(c.info.c_str(), L"MDL:", out, FWDL_NAME_MAX), c.found) << c.info;
    EXPECT_EQ(std::wstring(out), c.value) << c.info;
  }
}

TEST(FWDownload, ProgressGoesToTheMainWindowOnlyOnceItIsSet) {
  std::vector<std::wstring> sent;
  MainWindowSender previous =
      SetMainWindowSenderForTesting([&sent](void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
        sent.push_back(std::to_wstring(reinterpret_cast<uintptr_t>(window)) + L" " + std::to_wstring(message) + L" " +
                       std::to_wstring(wParam) + L" " + std::to_wstring(lParam));
      });
  SendFwProgress(15);
  g_hMainWnd = reinterpret_cast<void*>(0x1234);
  SendFwProgress(50);
  SendMainWindowMessage(WM_FW_FAILED, 0, 0);
  g_hMainWnd = nullptr;
  SetMainWindowSenderForTesting(previous);
  EXPECT_EQ(sent, (std::vector<std::wstring>{L"4660 1124 0 50", L"4660 1125 0 0"}));
}

TEST(FWDownload, PortKindByName) {
  struct Case {
    const wchar_t* port;
    PortKind kind;
  } cases[] = {
      {L"USB001", PORT_USB}, {L"usb001", PORT_NETWORK}, {L"XUSB", PORT_NETWORK},         {L"XUSBLPT", PORT_PARALLEL},
      {L"USBLPT", PORT_USB}, {L"LPT1:", PORT_PARALLEL}, {L"IP_127.0.0.1", PORT_NETWORK}, {L"lpt1:", PORT_NETWORK},
  };
  for (const Case& c : cases) EXPECT_EQ(ClassifyPort(c.port), c.kind) << c.port;
}

// Nothing written is "up to date" only where the check before it found the
// printer so: a check that found it out of date, or could not tell, and a
// burn that then wrote nothing leave a printer that was never brought current.
TEST(FWDownload, NothingWrittenIsCurrentOnlyWhenTheCheckSaidSo) {
  struct Case {
    int result;
    int check;
    int status;
  } cases[] = {
      {0, VERCHK_UP_TO_DATE, FWDL_UP_TO_DATE},
      {0, VERCHK_FILE_NEWER, FWDL_FAILED},
      {0, VERCHK_ERROR, FWDL_FAILED},
      {1, VERCHK_ERROR, FWDL_UPDATED},
  };
  for (const Case& c : cases) EXPECT_EQ(MapCheckedDownloadResult(c.result, c.check), c.status) << c.check;
}

// A port without an address would resolve to this computer: the update and
// the information reads fail, and nothing reaches any printer.
TEST(FWDownload, PortWithoutAddressSendsNothing) {
  struct Case {
    const wchar_t* port;
    int (*run)();
    int result;
    const wchar_t* storedAddress = nullptr;  // the port's monitor key holds this
  } cases[] = {
      {L"WSD-5b2c", [] { return CFWDownload().FWDownload(L"QV", L"", L"unused.bin", L""); }, FWDL_FAILED},
      {L"LPT1:",
       [] {
         wchar_t name[FWDL_NAME_MAX] = L"kept";
         return CFWDownload().GetFwPrinterName(L"QV", name);
       },
       0},
      {L"FILE:",
       [] {
         wchar_t name[FWDL_NAME_MAX] = L"kept";
         return CFWDownload().GetFwBuildName(L"QV", name);
       },
       0},
      {L"IP_blank", [] { return CFWDownload().FWDownload(L"QV", L"", L"unused.bin", L""); }, FWDL_FAILED, L""},
  };
  for (const Case& c : cases) {
    FakeClock clock;
    FakeSpooler spooler({{L"QV", c.port, L"QV Driver", L"", 0}});
    FakePortSource ports;
    if (c.storedAddress) ports.AddPort(c.port, L"Std Monitor", c.storedAddress);
    nettest::FakeNet net;
    LogCapture log;
    EXPECT_EQ(c.run(), c.result) << c.port;
    EXPECT_EQ(net.Connections(), 0) << c.port;
    EXPECT_TRUE(log.Contains(L"ERROR: no printer address for port " + std::wstring(c.port) + L", nothing is sent."))
        << c.port;
    EXPECT_FALSE(log.ContainsPart(L"ResolveHostname(")) << c.port;
  }
}

// A print server's raw port leads to its own printer: asked without a fleet's
// lookup (the dialog, the worker), the printer is reached at that port.
TEST(FWDownload, NetworkQueueIsReachedAtItsOwnRawPort) {
  FakeClock clock;
  FakeSpooler spooler({{L"QV", L"IP_127.66.0.1_2", L"QV Driver", L"", 0}});
  FakePortSource ports;
  ports.AddXcvAnswer(L"IP_127.66.0.1_2", L"127.66.0.1");
  ports.AddXcvConfig(L"IP_127.66.0.1_2", TCP_PROTOCOL_RAW, 9101);
  nettest::FakeNet net;
  wchar_t name[FWDL_NAME_MAX] = L"kept";
  CFWDownload().GetFwPrinterName(L"QV", name);
  ASSERT_EQ(net.Connections(), 1);
  const std::vector<std::string> trace = net.Trace();
  EXPECT_NE(std::find(trace.begin(), trace.end(), "1 connect 127.66.0.1:9101"), trace.end());
}
