#include <windows.h>

#include "app/console_interrupt.h"

namespace {
BOOL WINAPI OnConsoleControl(DWORD event) {
  ConsoleControl control = ConsoleControl::Other;
  if (event == CTRL_C_EVENT) control = ConsoleControl::CtrlC;
  if (event == CTRL_BREAK_EVENT) control = ConsoleControl::Break;
  if (event == CTRL_CLOSE_EVENT) control = ConsoleControl::Close;
  return HandleConsoleControl(control) ? TRUE : FALSE;
}
}  // namespace

void InstallConsoleInterrupt() {
  SetConsoleCtrlHandler(OnConsoleControl, TRUE);
}
