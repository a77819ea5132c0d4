#include <windows.h>

#include "app/console_interrupt.h"

namespace {
BOOL WINAPI OnConsoleControl(DWORD event) {
  static_assert(CTRL_C_EVENT == 0 && CTRL_BREAK_EVENT == 1 && CTRL_CLOSE_EVENT == 2, "ConsoleControlOf's numbers");
  return HandleConsoleControl(ConsoleControlOf(event)) ? TRUE : FALSE;
}
}  // namespace

void InstallConsoleInterrupt() {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
