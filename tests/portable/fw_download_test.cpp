// Portable pieces of the download controller: the fields of the printer's
// information text, and the progress messages to the main window.

#include "update/fw_download.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_window_link.h"

TEST(FWDownload, InfoFieldIsTheTextUpToTheFirstSemicolonAfterIt) {
  const std::wstring longValue(300, L'x');
  // A pair whose high half would be the 255th character is left out whole.
  const std::wstring pairAtCut = std::wstring(254, L'y') + L"\xD83D\xDE00" + L"z";
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
