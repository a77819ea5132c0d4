#include <windows.h>

#include "app/main_window_link.h"

void SystemSendMainWindowMessage(void* window, unsigned message, uintptr_t wParam, intptr_t lParam) {
  SendMessageW(static_cast<HWND>(window), message, static_cast<WPARAM>(wParam), static_cast<LPARAM>(lParam));
}
