#include "app/session_end.h"

#include "host/logger.h"
#include "transport/burn_count.h"
#include "update/run_interrupt.h"
#include "update/run_rescue.h"

const wchar_t SESSION_BLOCK_REASON[] = L"Updating printer firmware. Do not turn off the computer.";

bool SessionMayEnd() {
  Logger* log = Logger::Instance();
  if (BurnsInProgress() > 0) {
    log->Write(L"The session asked to end while firmware is being written: asked to wait.");
    return false;
  }
  log->Write(L"The session may end: no further update starts.");
  InterruptRun();
  return true;
}

void SessionEnds(bool ending) {
  if (!ending) return;
  Logger::Instance()->Write(L"Run interrupted (the session ended): no further update starts");
  InterruptRun();
  RescueRun(L"the session ended");
}
