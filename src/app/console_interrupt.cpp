#include "app/console_interrupt.h"

#include "host/clock.h"
#include "host/logger.h"
#include "update/run_interrupt.h"
#include "update/run_rescue.h"

namespace {
void Interrupt(const wchar_t* why) {
  Logger::Instance()->Write(L"Run interrupted (%ls): no further update starts", why);
  InterruptRun();
}
}  // namespace

ConsoleControl ConsoleControlOf(uint32_t event) {
  switch (event) {
    case 0:
      return ConsoleControl::CtrlC;
    case 1:
      return ConsoleControl::Break;
    case 2:
      return ConsoleControl::Close;
    default:
      return ConsoleControl::Other;
  }
}

bool HandleConsoleControl(ConsoleControl control) {
  switch (control) {
    case ConsoleControl::CtrlC:
      Interrupt(L"Ctrl+C");
      return true;
    case ConsoleControl::Break:
      Interrupt(L"Ctrl+Break");
      return true;
    case ConsoleControl::Close: {
      Interrupt(L"console closed");
      // The process ends soon whatever the run waits for: what must not be
      // left behind is put right here, and then the run may still end by
      // itself in the time left.
      const uint32_t start = TickCountMs();
      RescueRun(L"the console was closed");
      const uint32_t spent = TickCountMs() - start;
      if (spent < kConsoleCloseWaitMs) SleepMs(kConsoleCloseWaitMs - spent);
      return true;
    }
    case ConsoleControl::Other:
      break;
  }
  return false;
}
