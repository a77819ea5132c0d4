#include <windows.h>

#include "host/logger.h"
#include "resources/version.h"

// Minimal entry point until start-up proper lands: opens the log and writes the
// banner.
int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  Logger* log = Logger::Instance();
  log->InitLogFile();
  log->SetTag(L"TIDWY");
  log->SetCaption(L"Error");
  log->Write(L"================= Firmware Update ========================");
  log->Write(L"Version: %ls", L"" TIDEWAY_VERSION_TEXT);
  return 0;
}
