// Resolution and ping through Winsock and the ICMP services, under Wine
// against loopback.

#include <gtest/gtest.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "net/ip_address.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"
#include "support/test_env.h"

using fwtest::RunningUnderWine;

TEST(WinResolve, NamesAndNumericTexts) {
  struct Case {
    const wchar_t* host;
    int expected;
    const wchar_t* address;
  } cases[] = {
      {L"localhost", 1, L"127.0.0.1"},
      {L"127.30.0.7", 1, L"127.30.0.7"},
      {L"::1", 1, L"::1"},
      {L"no-such-host.invalid", 0, L"untouched"},
  };
  for (const Case& c : cases) {
    wchar_t out[IPADDR_TEXT_MAX] = L"untouched";
    EXPECT_EQ(ResolveHostname(c.host, out), c.expected) << c.host;
    EXPECT_STREQ(out, c.address) << c.host;
  }
}

TEST(WinResolve, UnknownNameLogsTheResolverError) {
  LogCapture log;
  EXPECT_EQ(ValidIPAddress(L"no-such-host.invalid"), 0);
  // WSAHOST_NOT_FOUND, once per family.
  EXPECT_TRUE(log.ContainsPart(L"ERROR (gle=11001, 0x2af9)"));
  EXPECT_TRUE(log.Contains(L"Unable to resolve host name address"));
  EXPECT_TRUE(log.Contains(L"GetIpAddrFromHostName(IPv6)"));
}

TEST(WinResolve, NumericAddressIsValid) {
  LogCapture log;
  EXPECT_EQ(ValidIPAddress(L"127.30.0.8"), 1);
  EXPECT_TRUE(log.Contains(L"IPAddress 127.30.0.8 IS VALID"));
  EXPECT_EQ(ValidIPAddress(L""), 0);
  EXPECT_TRUE(log.Contains(L"HostName address is empty"));
}

TEST(WinPing, LiveLoopbackAnswersFirstTry) {
  FakeClock clock;
  LogCapture log;
  EXPECT_EQ(Ping(L"127.30.0.1"), 1);
  EXPECT_TRUE(log.Contains(L"Ping(127.30.0.1) #0"));
  EXPECT_TRUE(log.Contains(L"Ping SUCCESSFUL"));
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST(WinPing, NetworkFindsTheEchoServices) {
  Network network;
  EXPECT_TRUE(network.HasIcmp());
  EXPECT_NE(network.GetIcmpFunction("IcmpSendEcho2"), nullptr);
  EXPECT_NE(network.GetIcmpFunction("Icmp6SendEcho2"), nullptr);
  EXPECT_EQ(network.GetIcmpFunction("NoSuchIcmpFunction"), nullptr);
}

TEST(WinPing, IPv6Loopback) {
  FakeClock clock;
  LogCapture log;
  Network network;
  if (RunningUnderWine()) {
    // Wine has no ICMPv6 echo (Icmp6CreateFile fails with 120): every try
    // fails at once and Ping reports no answer after the three waits.
    EXPECT_FALSE(network.HasIcmp6());
    EXPECT_EQ(Ping(L"::1"), 0);
    EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{500, 500, 500}));
    EXPECT_TRUE(log.Contains(L"Ping6()"));
  } else {
    EXPECT_EQ(Ping(L"::1"), 1);
  }
}

// Run by tests/e2e/ping_netns.sh inside a network namespace that ignores echo
// requests (the whole Wine session runs there); not useful anywhere else.
TEST(WinPing, DISABLED_AddressThatDoesNotAnswer) {
  const char* address = std::getenv("TIDEWAY_SILENT_ADDRESS");
  ASSERT_NE(address, nullptr);
  std::wstring text(address, address + strlen(address));
  FakeClock clock;
  LogCapture log;
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(Ping(text.c_str()), 0);
  auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
  // Three echo requests each waited out their 5 s time-out; the 500 ms pauses
  // went through the clock seam.
  EXPECT_GE(seconds, 14);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{500, 500, 500}));
  EXPECT_TRUE(log.Contains(L"IcmpSendEcho2 failed (gle=11010)"));
  EXPECT_EQ(log.Lines().back(), L"Failed ping, trys exhaused");
}
