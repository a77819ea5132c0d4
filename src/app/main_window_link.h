#pragma once
// How the update worker and the download controller reach the main dialog:
// messages sent (never posted) to g_hMainWnd, so the dialog has handled each
// one before the sender goes on. Portable: the window system call sits behind
// MainWindowSender, which tests replace to see the messages in order.

#include <cstdint>
#include <functional>

// WM_USER (0x0400) + 100 to + 102.
constexpr unsigned WM_FW_PROGRESS = 0x0400 + 100;  // wParam 0, lParam percent 0..100
constexpr unsigned WM_FW_FAILED = 0x0400 + 101;    // both parameters 0
// wParam 0, lParam the StatusReport to show (valid while the message is handled).
constexpr unsigned WM_FW_STATUS = 0x0400 + 102;

// The main dialog's window (an HWND); null until the dialog stores it, and
// nothing is sent while it is null. Defined in main_window_link.cpp.
extern void* g_hMainWnd;

using MainWindowSender = std::function<void(void* window, unsigned message, uintptr_t wParam, intptr_t lParam)>;

// Sends `message` to g_hMainWnd and waits until it was handled; does nothing
// while g_hMainWnd is null.
void SendMainWindowMessage(unsigned message, uintptr_t wParam, intptr_t lParam);
// WM_FW_PROGRESS with the percentage.
void SendFwProgress(int percent);

// Replaces the window system's send (nullptr restores it) and returns the one
// in place. Only tests call this.
MainWindowSender SetMainWindowSenderForTesting(MainWindowSender sender);
