#include "app/console_interrupt.h"

#include "host/clock.h"
#include "host/logger.h"
#include "update/run_interrupt.h"

namespace {
void Interrupt(const wchar_t* why) {
  Logger::Instance()->Write(L"Run interrupted (%ls): no further update starts", why);
  InterruptRun();
}
}  // namespace

bool HandleConsoleControl(ConsoleControl control) {
  switch (control) {
    case ConsoleControl::CtrlC:
      Interrupt(L"Ctrl+C");
      return true;
    case ConsoleControl::Break:
      Interrupt(L"Ctrl+Break");
      return true;
    case ConsoleControl::Close:
      Interrupt(L"console closed");
      SleepMs(kConsoleCloseWaitMs);
      return true;
    case ConsoleControl::Other:
      break;
  }
  return false;
}
