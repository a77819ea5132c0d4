#include "app/main_window_link.h"

#include <utility>

void* g_hMainWnd = nullptr;

// The platform's send (main_window_link_win32.cpp / _posix.cpp).
void SystemSendMainWindowMessage(void* window, unsigned message, uintptr_t wParam, intptr_t lParam);

namespace {
MainWindowSender& ActiveSender() {
  static MainWindowSender sender;
  return sender;
}
}  // namespace

void SendMainWindowMessage(unsigned message, uintptr_t wParam, intptr_t lParam) {
  void* window = g_hMainWnd;
  if (window == nullptr) return;
  const MainWindowSender& sender = ActiveSender();
  if (sender) {
    sender(window, message, wParam, lParam);
  } else {
    SystemSendMainWindowMessage(window, message, wParam, lParam);
  }
}

void SendFwProgress(int percent) {
  SendMainWindowMessage(WM_FW_PROGRESS, 0, percent);
}

MainWindowSender SetMainWindowSenderForTesting(MainWindowSender sender) {
  return std::exchange(ActiveSender(), std::move(sender));
}
