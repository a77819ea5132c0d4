// What the Win32 layer adds to the session's end: the hidden window's answers
// to the session's messages, the block reason while an image is written, the
// rescue when the session ends.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/session_end.h"
#include "support/log_capture.h"
#include "transport/burn_count.h"
#include "update/run_interrupt.h"
#include "update/run_rescue.h"

namespace {
// The reason the window holds, through the system's query; false when this
// system has no such query (Wine 8 does not export it).
bool BlockReason(HWND window, std::wstring* reason) {
  using QueryFn = BOOL(WINAPI*)(HWND, LPWSTR, DWORD*);
  auto query = reinterpret_cast<QueryFn>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"user32.dll"), "ShutdownBlockReasonQuery")));
  if (!query) return false;
  wchar_t text[256] = {};
  DWORD size = 256;
  reason->assign(query(window, text, &size) ? text : L"");
  return true;
}
}  // namespace

TEST(SessionEndWin32, HiddenWindowWaitsOutABurnAndRescuesAtTheEnd) {
  ClearRunInterruptForTesting();
  LogCapture log;
  std::vector<RunReport> written;
  SetRescueReportWriter([&written](const RunReport& report) { written.push_back(report); });
  RunReport run;
  run.printers.emplace_back();
  run.printers.back().name = L"QV Busy";
  RescueRecordRun(run);

  SessionEndWindow session;
  HWND window = static_cast<HWND>(session.Window());
  ASSERT_NE(window, nullptr);
  // A top-level window (a message-only one gets no broadcast), never shown.
  EXPECT_EQ(GetAncestor(window, GA_PARENT), GetDesktopWindow());
  EXPECT_FALSE(IsWindowVisible(window));
  {
    BurnScope burning;
    EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), FALSE);
    EXPECT_FALSE(RunInterrupted());
    std::wstring reason;
    if (BlockReason(window, &reason)) {
      EXPECT_EQ(reason, L"Updating printer firmware. Do not turn off the computer.");
    } else {
      std::printf("ShutdownBlockReasonQuery does not exist here: the reason is not checked\n");
    }
  }
  EXPECT_EQ(SendMessageW(window, WM_QUERYENDSESSION, 0, 0), TRUE);
  EXPECT_TRUE(RunInterrupted());
  EXPECT_TRUE(written.empty());

  SendMessageW(window, WM_ENDSESSION, FALSE, 0);
  EXPECT_TRUE(written.empty());
  SendMessageW(window, WM_ENDSESSION, TRUE, 0);
  ASSERT_EQ(written.size(), 1u);
  EXPECT_EQ(written[0].printers[0].outcome, UpdateOutcome::Failed);
  EXPECT_EQ(written[0].printers[0].detail.find(L"QV Busy: the run was interrupted (the session ended)"), 0u);

  SetRescueReportWriter(nullptr);
  RescueRecordRun(RunReport());
  ClearRunInterruptForTesting();
}
