// Resolution and ping through the POSIX implementation, against loopback.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "net/ip_address.h"
#include "support/fake_clock.h"
#include "support/log_capture.h"

namespace {
class Reachability : public ::testing::Test {
 protected:
  std::vector<std::wstring> Lines() const { return log_.Lines(); }
  bool Logged(const std::wstring& line) const { return log_.Contains(line); }
  LogCapture log_;
};
}  // namespace

TEST_F(Reachability, ResolvesNamesAndNumericTexts) {
  struct Case {
    const wchar_t* host;
    int expected;
    const wchar_t* address;
  } cases[] = {
      {L"localhost", 1, L"127.0.0.1"},
      {L"127.30.0.7", 1, L"127.30.0.7"},
      {L"::1", 1, L"::1"},  // only IPv6: found after the IPv4 attempt fails
      {L"no-such-host.invalid", 0, L"untouched"},
  };
  for (const Case& c : cases) {
    wchar_t out[IPADDR_TEXT_MAX] = L"untouched";
    EXPECT_EQ(ResolveHostname(c.host, out), c.expected) << c.host;
    EXPECT_STREQ(out, c.address) << c.host;
  }
}

TEST_F(Reachability, IPv6OnlyNameLogsBothAttempts) {
  wchar_t out[IPADDR_TEXT_MAX] = L"";
  ASSERT_EQ(ResolveHostname(L"::1", out), 1);
  const std::vector<std::wstring> expected = {
      L"ResolveHostname(::1)",    L"Network singleton created",   L"Network started!",
      L"GetIpAddrFromHostName()", L"GetIpAddrFromHostName(IPv4)", L"GetIpAddrFromHostName(blIpv6 = 0)",
  };
  auto lines = Lines();
  ASSERT_GE(lines.size(), expected.size() + 3);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(lines[i], expected[i]);
  EXPECT_TRUE(Logged(L"GetIpAddrFromHostName(IPv6)"));
  EXPECT_TRUE(Logged(L"GetIpAddrFromHostName(blIpv6 = 1)"));
  EXPECT_EQ(lines.back(), L"Resolved host name address to ::1");
}

TEST_F(Reachability, LongHostNameIsLookedUpWhole) {
  // Longer than any fixed cut of the name: a cut would look up another name.
  const wchar_t* host = L"a-printer-name-well-beyond-thirty-eight-bytes.invalid";
  wchar_t out[IPADDR_TEXT_MAX] = L"untouched";
  EXPECT_EQ(ResolveHostname(host, out), 0);
  EXPECT_STREQ(out, L"untouched");
  EXPECT_TRUE(Logged(std::wstring(L"ResolveHostname(") + host + L")"));
}

TEST_F(Reachability, ValidIPAddressTable) {
  struct Case {
    const wchar_t* text;
    int expected;
    const wchar_t* line;
  } cases[] = {
      {L"127.30.0.3", 1, L"IPAddress 127.30.0.3 IS VALID"},
      {L"localhost", 1, L"IPAddress 127.0.0.1 IS VALID"},
      {L"", 0, L"HostName address is empty"},
      {nullptr, 0, L"HostName address is NULL"},
      {L"no-such-host.invalid", 0, L"Unable to resolve host name address"},
  };
  for (const Case& c : cases) {
    log_.Clear();
    EXPECT_EQ(ValidIPAddress(c.text), c.expected) << (c.text ? c.text : L"(null)");
    EXPECT_TRUE(Logged(c.line)) << c.line;
  }
}

TEST_F(Reachability, PingsLiveLoopbackOnFirstTry) {
  FakeClock clock;
  EXPECT_EQ(Ping(L"127.30.0.1"), 1);
  EXPECT_TRUE(Logged(L"Ping(127.30.0.1) #0"));
  EXPECT_TRUE(Logged(L"Ping4()"));
  EXPECT_TRUE(Logged(L"Ping SUCCESSFUL"));
  EXPECT_FALSE(Logged(L"Ping(127.30.0.1) #1"));
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(Reachability, PingsIPv6Loopback) {
  FakeClock clock;
  EXPECT_EQ(Ping(L"::1"), 1);
  EXPECT_TRUE(Logged(L"Ping6()"));
  EXPECT_TRUE(Logged(L"Ping SUCCESSFUL"));
}

TEST_F(Reachability, UnresolvableHostIsNotPinged) {
  FakeClock clock;
  EXPECT_EQ(Ping(L"no-such-host.invalid"), 0);
  EXPECT_TRUE(Logged(L"Unable to resolve hostname = no-such-host.invalid"));
  EXPECT_FALSE(Logged(L"Ping4()"));
  EXPECT_TRUE(clock.Sleeps().empty());
}

TEST_F(Reachability, AddressWithoutFamilyFailsThreeTriesWithWaits) {
  FakeClock clock;
  Network network;
  IPAddress none(L"not-an-address");
  EXPECT_EQ(PingAddress(none, network), 0);
  EXPECT_EQ(clock.Sleeps(), (std::vector<uint32_t>{500, 500, 500}));
  EXPECT_TRUE(Logged(L"Ping(not-an-address) #2"));
  EXPECT_FALSE(Logged(L"Ping4()"));
  EXPECT_EQ(Lines().back(), L"Failed ping, trys exhaused");
}
