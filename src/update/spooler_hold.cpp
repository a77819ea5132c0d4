#include "update/spooler_hold.h"

#include "host/logger.h"
#include "printer/services.h"

SpoolerHold::SpoolerHold(bool needed) : m_held(needed) {
  if (!m_held) return;
  Logger::Instance()->Write(L"Unattended: the spooler is stopped for the run's downloads");
  StopAService();
}

SpoolerHold::~SpoolerHold() {
  if (!m_held) return;
  StartAService();
  Logger::Instance()->Write(L"Unattended: the spooler is started again after the run's downloads");
}
