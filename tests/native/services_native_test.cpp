// Natively there is no service control manager: callers of the spooler
// control (download code under native tests) get a logged failure and go on.

#include <gtest/gtest.h>

#include "printer/services.h"
#include "support/log_capture.h"

TEST(ServicesNative, WithoutServiceManagerBothLogAndReturnZero) {
  LogCapture log;
  EXPECT_EQ(StopAService(), 0);
  EXPECT_EQ(StartAService(), 0);
  EXPECT_EQ(log.Lines(), (std::vector<std::wstring>{L"StopAService(Spooler)", L"OpenSCManager failed (gle=120)",
                                                    L"StartAService(Spooler)", L"OpenSCManager failed (gle=120)"}));
}
