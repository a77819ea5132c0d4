// A printer with nothing on the SNMP port answers ICMP port unreachable; the
// guard thread sees it on its raw socket and the read returns -100. This
// executable runs as a Windows later than 6.1 (Wine's per-application
// version, set by scripts/lib/pre-test.d/snmp_agent.sh), where the guard does
// not switch to receive-all mode.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>

#include "host/logger.h"
#include "net/snmp_rfu.h"

TEST(SnmpUnreachableWine, RunsAsWindowsLaterThan61) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  EXPECT_TRUE(info.dwMajorVersion > 6 || (info.dwMajorVersion == 6 && info.dwMinorVersion > 1))
      << info.dwMajorVersion << "." << info.dwMinorVersion;
}

TEST(SnmpUnreachableWine, NoAgentListeningIsUnreachable) {
  Logger::Instance()->CloseLogFileForTesting();
  // An address where nothing listens (scripts/lib/pre-test.d/snmp_agent.sh).
  wchar_t silent[64] = L"127.20.3.1";
  DWORD n = GetEnvironmentVariableW(L"TIDEWAY_SNMP_SILENT", silent, 64);
  if (n == 0 || n >= 64) wcscpy(silent, L"127.20.3.1");
  // Real pauses: the guard needs its 500 ms to be listening before the GET.
  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(QueryRfuStatusAtAddress(silent, L"tarnel"), RFU_SNMP_UNREACHABLE);
  EXPECT_GE(GetTickCount64() - start, 5900u);  // 500 + 5000 + 500
}
