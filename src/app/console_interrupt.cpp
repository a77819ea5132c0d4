#include "app/console_interrupt.h"

#include <atomic>

#include "host/clock.h"
#include "host/logger.h"
#include "update/run_interrupt.h"

namespace {
std::atomic<bool> g_runEnded{false};
constexpr uint32_t kCloseWaitSliceMs = 50;

void Interrupt(const wchar_t* why) {
  Logger::Instance()->Write(L"Run interrupted (%ls): no further update starts", why);
  InterruptRun();
}
}  // namespace

void ConsoleRunEnded() {
  g_runEnded.store(true);
}

void ClearConsoleRunEndedForTesting() {
  g_runEnded.store(false);
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
      // Returning lets the system end the process, so the run gets its time
      // to start the spooler again and write the report first.
      Interrupt(L"console closed");
      const uint32_t start = TickCountMs();
      while (!g_runEnded.load() && TickCountMs() - start < kConsoleCloseWaitMs) SleepMs(kCloseWaitSliceMs);
      return true;
    }
    case ConsoleControl::Other:
      break;
  }
  return false;
}
