// The RFU client with the real Winsock build under Wine, against the snmpd
// that scripts/lib/pre-test.d/snmp_agent.sh starts (address in
// TIDEWAY_SNMP_AGENT; communities "tarnel" read-write, "getonly" read-only).
#include <windows.h>

#include <gtest/gtest.h>
#include <io.h>

#include <cstdio>
#include <fstream>
#include <string>

#include "host/logger.h"
#include "net/snmp_guard.h"
#include "printer/rfu_status.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"

namespace {
std::wstring FromEnvironment(const wchar_t* name, const wchar_t* fallback) {
  wchar_t value[64];
  DWORD n = GetEnvironmentVariableW(name, value, 64);
  return n > 0 && n < 64 ? std::wstring(value) : std::wstring(fallback);
}
const std::wstring g_agent = FromEnvironment(L"TIDEWAY_SNMP_AGENT", L"127.20.1.1");
const std::wstring g_silent = FromEnvironment(L"TIDEWAY_SNMP_SILENT", L"127.20.3.1");
const wchar_t* const kAgent = g_agent.c_str();

class SnmpRfuWine : public ::testing::Test {
 protected:
  void SetUp() override { Logger::Instance()->CloseLogFileForTesting(); }
};
}  // namespace

// Everything that depends on the agent's value runs in this one test, so that
// parallel test processes cannot change it in between.
TEST_F(SnmpRfuWine, ReadsAndSwitchesAgainstSnmpd) {
  FakeClock clock;
  FakePortSource ports;
  ports.AddXcvAnswer(L"IP_AGENT", kAgent);
  int first = QueryRfuStatusAtAddress(kAgent, L"getonly");
  ASSERT_GE(first, RFU_OFF) << "the snmpd of scripts/lib/pre-test.d/snmp_agent.sh is not answering";
  for (int value : {RFU_OFF_LOCKED, RFU_ON, RFU_OFF}) {
    EXPECT_EQ(WriteRfuStatus(L"IP_AGENT", L"tarnel", value), RFU_SNMP_OK) << value;
    EXPECT_EQ(QueryRfuStatus(L"IP_AGENT", L"getonly"), value);
    EXPECT_EQ(QueryRfuStatusAtAddress(kAgent, L"tarnel"), value);
  }
  // Read-only community for the SET: answered with noAccess, not a success.
  EXPECT_EQ(WriteRfuStatus(L"IP_AGENT", L"getonly", RFU_ON), RFU_SNMP_REFUSED);
  // A value the agent refuses.
  EXPECT_EQ(WriteRfuStatusAtAddress(kAgent, L"tarnel", 9), RFU_SNMP_REFUSED);
  EXPECT_EQ(QueryRfuStatusAtAddress(kAgent, L"getonly"), RFU_OFF);
}

TEST_F(SnmpRfuWine, WrongCommunityIsNoAnswerAfterFiveSeconds) {
  FakeClock clock;
  ULONGLONG start = GetTickCount64();
  EXPECT_EQ(QueryRfuStatusAtAddress(kAgent, L"wrong"), RFU_SNMP_NO_ANSWER);
  ULONGLONG elapsed = GetTickCount64() - start;
  EXPECT_GE(elapsed, 4950u);
  EXPECT_LT(elapsed, 5800u);
  EXPECT_EQ(WriteRfuStatusAtAddress(kAgent, L"wrong", RFU_ON), RFU_SNMP_NO_ANSWER);
}

// Wine reports Windows 6.1 and refuses receive-all mode with 10045: the guard
// ends with -4 and its message, so a silent agent is -7 here, not -100 (the
// -100 case runs in win32_snmp_unreachable_test.exe, configured as a later
// Windows).
TEST_F(SnmpRfuWine, GuardRefusedReceiveAllOnWindows7) {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
  ASSERT_TRUE(GetVersionExW(&info));
  if (info.dwMajorVersion != 6 || info.dwMinorVersion > 1) GTEST_SKIP() << "not Windows 6.0/6.1";

  char path[MAX_PATH];
  GetTempPathA(MAX_PATH, path);
  std::string out = std::string(path) + "snmp_guard_stdout.txt";
  fflush(stdout);
  int saved = _dup(1);
  FILE* f = fopen(out.c_str(), "w");
  ASSERT_NE(f, nullptr);
  _dup2(_fileno(f), 1);
  std::string silent(g_silent.begin(), g_silent.end());
  int code = WatchSnmpPortUnreachable(silent.c_str());
  fflush(stdout);
  _dup2(saved, 1);
  _close(saved);
  fclose(f);
  EXPECT_EQ(code, GUARD_EXIT_RCVALL);
  std::ifstream in(out);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "ioctlsocket failed with error 10045\n");
  DeleteFileA(out.c_str());

  FakeClock clock;
  EXPECT_EQ(QueryRfuStatusAtAddress(g_silent.c_str(), L"tarnel"), RFU_SNMP_NO_ANSWER);
}
