// The main dialog while "Exit" asks its RFU question after a network update:
// the question is a modal dialog of its own, and commands that reach the main
// dialog meanwhile (a second Exit, Enter, Escape, close) are refused.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/main_window_link.h"
#include "app/session_end.h"
#include "app/tideway_app.h"
#include "app/tideway_dlg.h"
#include "resources/resource.h"
#include "support/fake_spooler.h"
#include "support/log_capture.h"
#include "transport/burn_count.h"
#include "update/run_interrupt.h"

namespace {

BOOL CALLBACK FindQuestion(HWND window, LPARAM found) {
  if (!IsWindowVisible(window) || !GetDlgItem(window, IDC_RFU_OK)) return TRUE;
  *reinterpret_cast<HWND*>(found) = window;
  return FALSE;
}

// The user: presses Exit, and while the question is open sends the dialog
// every command that would end it or ask again, then enables and confirms.
struct ImpatientUser {
  CtidewayDlg* dlg = nullptr;
  bool exitPressed = false;
  bool commandsSent = false;

  void Step() {
    HWND dialog = static_cast<HWND>(g_hMainWnd);
    if (!dialog) return;
    HWND question = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindQuestion, reinterpret_cast<LPARAM>(&question));
    if (!question) {
      if (exitPressed) return;
      exitPressed = true;
      // A network printer was updated: "Exit" asks whether RFU stays enabled
      // ("enable" sends nothing to the printer).
      dlg->m_updateSucceeded = true;
      dlg->m_selectedPrinter.printerName = L"QV Net";
      dlg->m_selectedPrinter.portName = L"IP_127.0.0.1";
      // Runs the handler, and the question's modal loop, inside this call.
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
      return;
    }
    if (!commandsSent) {
      commandsSent = true;
      SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_EXIT, BN_CLICKED), 0);
      SendMessageW(dialog, WM_COMMAND, IDOK, 0);
      SendMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
      SendMessageW(dialog, WM_CLOSE, 0, 0);
      return;
    }
    SendDlgItemMessageW(question, IDC_RFU_ENABLE, BM_CLICK, 0, 0);
    SendDlgItemMessageW(question, IDC_RFU_OK, BM_CLICK, 0, 0);
  }
};

ImpatientUser* g_user = nullptr;

// The session's question to the dialog during a burn and after it.
LRESULT g_answers[2] = {-1, -1};

void CALLBACK AskTheSession(HWND, UINT, UINT_PTR, DWORD) {
  HWND dialog = static_cast<HWND>(g_hMainWnd);
  if (!dialog || g_answers[1] >= 0) return;
  {
    BurnScope burning;
    g_answers[0] = SendMessageW(dialog, WM_QUERYENDSESSION, 0, 0);
  }
  g_answers[1] = SendMessageW(dialog, WM_QUERYENDSESSION, 0, 0);
  EndDialog(dialog, IDCANCEL);
}

void CALLBACK OnUserTimer(HWND, UINT, UINT_PTR, DWORD) {
  if (g_user) g_user->Step();
}

}  // namespace

TEST(TidewayDlg, CommandsDuringExitsRfuQuestionAreRefused) {
  // The bar's window class, as the program's start-up registers it.
  SystemStartupPlatform().InitCommonControls();
  FakeSpooler spooler;
  LogCapture log;
  CtidewayDlg dialog;
  ImpatientUser user;
  user.dlg = &dialog;
  g_user = &user;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, OnUserTimer);
  EXPECT_EQ(dialog.DoModal(), IDOK);
  KillTimer(nullptr, timer);
  g_user = nullptr;
  g_hMainWnd = nullptr;

  EXPECT_TRUE(user.commandsSent);
  const std::vector<std::wstring> lines = log.Lines();
  // A second Exit taken under the question would ask it again.
  EXPECT_EQ(std::count(lines.begin(), lines.end(), L"--- RemoteUpgradeStep ---"), 1);
}

// The dialog's own window answers the session: wait while an image is written.
TEST(TidewayDlg, SessionIsAskedToWaitWhileAnImageIsWritten) {
  SystemStartupPlatform().InitCommonControls();
  FakeSpooler spooler;
  LogCapture log;
  CtidewayDlg dialog;
  const UINT_PTR timer = SetTimer(nullptr, 0, 20, AskTheSession);
  dialog.DoModal();
  KillTimer(nullptr, timer);
  g_hMainWnd = nullptr;
  EXPECT_EQ(g_answers[0], FALSE);
  EXPECT_EQ(g_answers[1], TRUE);
  ClearRunInterruptForTesting();
}
