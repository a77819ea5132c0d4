// The progress message reaches the main window from another thread and is
// handled before the sender goes on.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <vector>

#include "app/main_window_link.h"

namespace {
std::vector<LPARAM> g_received;
std::atomic<bool> g_senderReturned{false};

LRESULT CALLBACK ProgressWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_FW_PROGRESS && wParam == 0) {
    // A posted message would be handled after the sender went on.
    EXPECT_FALSE(g_senderReturned.load());
    g_received.push_back(lParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
}  // namespace

TEST(MainWindowLink, ProgressIsSentToTheWindowAndHandledBeforeTheSenderGoesOn) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ProgressWindowProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = L"TidewayProgressProbe";
  ASSERT_NE(RegisterClassW(&wc), 0);
  HWND window = CreateWindowW(wc.lpszClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, wc.hInstance, nullptr);
  ASSERT_NE(window, nullptr);
  g_hMainWnd = window;

  HANDLE worker = CreateThread(
      nullptr, 0,
      [](void*) -> DWORD {
        SendFwProgress(15);
        SendFwProgress(50);
        g_senderReturned = true;
        return 0;
      },
      nullptr, 0, nullptr);
  ASSERT_NE(worker, nullptr);
  // The worker's sends are handled while this thread waits for messages.
  while (MsgWaitForMultipleObjects(1, &worker, FALSE, 10000, QS_ALLINPUT) == WAIT_OBJECT_0 + 1) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  CloseHandle(worker);
  g_hMainWnd = nullptr;
  DestroyWindow(window);
  EXPECT_EQ(g_received, (std::vector<LPARAM>{15, 50}));
}
