// The RFU client against net-snmp's snmpd on loopback: each test starts its
// own agent on its own address, so the tests can run in parallel.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <future>

#include <chrono>
#include <thread>
#include <string>
#include <vector>

#include "host/text_utils.h"
#include "net/snmp_guard.h"
#include "printer/rfu_status.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/log_capture.h"
#include "support/snmp_agent_posix.h"

namespace {

class RfuAgentTest : public ::testing::Test {
 protected:
  bool Logged(const wchar_t* part) const { return log_.ContainsPart(part); }

  void StartAgent(const SnmpAgentOptions& options) { ASSERT_TRUE(agent_.Start(options)) << agent_.Error(); }

  SnmpAgent agent_;
  LogCapture log_;
};

SnmpAgentOptions Agent(const std::string& address) {
  SnmpAgentOptions o;
  o.address = address;
  return o;
}

double SecondsSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST_F(RfuAgentTest, ReadsEachValue) {
  const std::string a = FreeSnmpAddress(1);
  const std::wstring w(a.begin(), a.end());
  StartAgent(Agent(a));
  FakeClock clock;
  for (int value : {RFU_OFF_LOCKED, RFU_ON, RFU_OFF, 0}) {
    agent_.SetValue(value);
    EXPECT_EQ(QueryRfuStatusAtAddress(w.c_str(), L"tarnel"), value);
  }
  // The guard gets 500 ms to start listening and 500 ms to report, per read.
  std::vector<uint32_t> sleeps = clock.Sleeps();
  ASSERT_GE(sleeps.size(), 8u);
  for (uint32_t s : sleeps) EXPECT_EQ(s, RFU_GUARD_SETTLE_MS);
}

TEST_F(RfuAgentTest, SwitchesOnAndOff) {
  const std::string a = FreeSnmpAddress(2);
  const std::wstring w(a.begin(), a.end());
  StartAgent(Agent(a));
  FakeClock clock;
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"tarnel", RFU_ON), RFU_SNMP_OK);
  EXPECT_EQ(agent_.Value(), RFU_ON);
  EXPECT_EQ(QueryRfuStatusAtAddress(w.c_str(), L"tarnel"), RFU_ON);
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"tarnel", RFU_OFF), RFU_SNMP_OK);
  EXPECT_EQ(agent_.Value(), RFU_OFF);
  // A value the agent refuses (wrongValue, requested value echoed) is a
  // failure, and the setting stays as it was.
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"tarnel", 7), RFU_SNMP_REFUSED);
  EXPECT_EQ(agent_.Value(), RFU_OFF);
  EXPECT_TRUE(Logged(L"error-status 10"));
}

// A wrong community gets no answer at all: the read waits its full 5 s.
TEST_F(RfuAgentTest, WrongGetCommunityIsNoAnswerAfterFiveSeconds) {
  const std::string a = FreeSnmpAddress(3);
  const std::wstring w(a.begin(), a.end());
  StartAgent(Agent(a));
  agent_.SetValue(RFU_ON);
  FakeClock clock;  // the 500 ms pauses are not part of what is measured
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QueryRfuStatusAtAddress(w.c_str(), L"wrong"), RFU_SNMP_NO_ANSWER);
  double seconds = SecondsSince(start);
  EXPECT_GE(seconds, 4.99);
  EXPECT_LT(seconds, 5.8);
  // A SET is never sent when its GET is not answered.
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"wrong", RFU_OFF), RFU_SNMP_NO_ANSWER);
  EXPECT_EQ(agent_.Value(), RFU_ON);
}

// The agent answers a SET with a read-only community with noAccess and echoes
// the requested value: that is not a success, the setting did not change.
TEST_F(RfuAgentTest, ReadOnlyCommunityUsedForSetFails) {
  const std::string a = FreeSnmpAddress(4);
  const std::wstring w(a.begin(), a.end());
  SnmpAgentOptions o = Agent(a);
  o.roCommunity = "getonly";
  StartAgent(o);
  FakeClock clock;
  EXPECT_EQ(QueryRfuStatusAtAddress(w.c_str(), L"getonly"), RFU_OFF);
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"getonly", RFU_ON), RFU_SNMP_REFUSED);
  EXPECT_EQ(agent_.Value(), RFU_OFF);
  EXPECT_TRUE(Logged(L"error-status 6, error-index 1"));
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"tarnel", RFU_ON), RFU_SNMP_OK);
  EXPECT_EQ(agent_.Value(), RFU_ON);
}

TEST_F(RfuAgentTest, SeparateGetAndSetCommunities) {
  const std::string a = FreeSnmpAddress(5);
  const std::wstring w(a.begin(), a.end());
  SnmpAgentOptions o = Agent(a);
  o.roCommunity = "pubget";
  o.rwCommunity = "privset";
  o.initialValue = RFU_OFF;
  StartAgent(o);
  FakeClock clock;
  EXPECT_EQ(QueryRfuStatusAtAddress(w.c_str(), L"pubget"), RFU_OFF);
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"privset", RFU_ON), RFU_SNMP_OK);
  EXPECT_EQ(QueryRfuStatusAtAddress(w.c_str(), L"pubget"), RFU_ON);
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"pubget", RFU_OFF), RFU_SNMP_REFUSED);
  EXPECT_EQ(agent_.Value(), RFU_ON);
}

// An agent without the object answers noSuchObject: no RFU value was read.
TEST_F(RfuAgentTest, MissingObjectGivesNoValue) {
  const std::string a = FreeSnmpAddress(7);
  const std::wstring w(a.begin(), a.end());
  SnmpAgentOptions o = Agent(a);
  o.serveRfu = false;
  StartAgent(o);
  FakeClock clock;
  EXPECT_EQ(QueryRfuStatusAtAddress(w.c_str(), L"tarnel"), RFU_SNMP_REFUSED);
  EXPECT_TRUE(Logged(L"no RFU value (syntax 0x80)"));
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"tarnel", RFU_ON), RFU_SNMP_REFUSED);
}

// Nothing listens on the SNMP port: the host answers ICMP port unreachable,
// which the guard thread sees, although the GET itself only times out.
TEST_F(RfuAgentTest, NoAgentListeningIsUnreachable) {
  ASSERT_TRUE(NameThisHostLocalhost()) << strerror(errno);
  const std::string a = FreeSnmpAddress(8);
  const std::wstring w(a.begin(), a.end());
  // Real pauses: the guard needs its 500 ms to be listening before the GET.
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(QueryRfuStatusAtAddress(w.c_str(), L"tarnel"), RFU_SNMP_UNREACHABLE);
  EXPECT_GE(SecondsSince(start), 4.99);  // the GET still waited for its answer
  // A write has no guard: the same printer is just silent.
  EXPECT_EQ(WriteRfuStatusAtAddress(w.c_str(), L"tarnel", RFU_ON), RFU_SNMP_NO_ANSWER);
}

// The guard thread on its own: port unreachable from the printer ends it with
// -100 at once; from another address it is ignored until the 5 s receive
// time-out ends it with the socket's time-out code, even while other ICMP
// traffic keeps arriving (the test sends some).
TEST(SnmpGuard, ExitCodes) {
  ASSERT_TRUE(NameThisHostLocalhost()) << strerror(errno);
  // Here the host's own name may already resolve to 127.0.0.1; elsewhere not.
  char host[64] = {0};
  ASSERT_EQ(gethostname(host, sizeof host - 1), 0);
  ASSERT_STREQ(host, "localhost");
  const std::string printer = FreeSnmpAddress(10), silent = FreeSnmpAddress(11), elsewhere = FreeSnmpAddress(12);
  const uint8_t probe[] = {0x30, 0x00};
  SocketLibrary sockets(SNMP_SOCKETS_MAJOR, SNMP_SOCKETS_MINOR);
  SnmpUdpSocket toPrinter, toElsewhere;
  ASSERT_EQ(toPrinter.Open(printer.c_str(), SNMP_PORT), 0);
  ASSERT_EQ(toElsewhere.Open(elsewhere.c_str(), SNMP_PORT), 0);

  auto started = std::chrono::steady_clock::now();
  SnmpGuardThread guard;
  ASSERT_TRUE(guard.Start(printer.c_str()));
  SnmpGuardThread other;
  ASSERT_TRUE(other.Start(silent.c_str()));
  EXPECT_EQ(guard.ExitCode(), GUARD_STILL_ACTIVE);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(toPrinter.Send(probe, sizeof probe), 0);
  while (guard.ExitCode() == GUARD_STILL_ACTIVE && SecondsSince(started) < 2) {
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  EXPECT_EQ(guard.ExitCode(), GUARD_EXIT_PORT_UNREACHABLE);
  EXPECT_LT(SecondsSince(started), 1.0);

  // Port-unreachable messages from a third address every 300 ms.
  EXPECT_EQ(other.ExitCode(), GUARD_STILL_ACTIVE);
  while (other.ExitCode() == GUARD_STILL_ACTIVE && SecondsSince(started) < 8) {
    toElsewhere.Send(probe, sizeof probe);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
  }
  EXPECT_EQ(other.ExitCode(), GUARD_ERROR_TIMEDOUT);
  EXPECT_GE(SecondsSince(started), 4.9);
  EXPECT_LT(SecondsSince(started), 5.7);
}

TEST(SnmpGuard, PortUnreachableTable) {
  struct Case {
    std::vector<uint8_t> bytes;
    bool expected;
  } cases[] = {
      {std::vector<uint8_t>(20, 0x45), false},
      {[] { std::vector<uint8_t> v(22, 0); v[20] = 3; v[21] = 3; return v; }(), true},
      {[] { std::vector<uint8_t> v(61, 0); v[20] = 3; v[21] = 3; return v; }(), true},
      {[] { std::vector<uint8_t> v(21, 0); v[20] = 3; return v; }(), false},
      {[] { std::vector<uint8_t> v(61, 0); v[20] = 3; v[21] = 1; return v; }(), false},  // host unreachable
      {[] { std::vector<uint8_t> v(61, 0); v[20] = 0; v[21] = 3; return v; }(), false},  // echo reply
  };
  for (const Case& c : cases) EXPECT_EQ(IsIcmpPortUnreachable(c.bytes.data(), c.bytes.size()), c.expected);
}

// A printer that does not answer ping: -3 before any SNMP traffic. Runs inside
// a network namespace of its own whose loopback ignores ICMP echo; the test
// re-runs itself there.
TEST(RfuNetns, AddressThatDoesNotAnswerPingIsNotValid) {
  if (getenv("TIDEWAY_SNMP_IN_NETNS")) {
    LogCapture log;
    int listener = socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(161);
    inet_pton(AF_INET, "127.20.0.9", &a.sin_addr);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    FakeClock clock;
    auto write = std::async(std::launch::async, [] { return WriteRfuStatusAtAddress(L"127.20.0.9", L"tarnel", 2); });
    EXPECT_EQ(QueryRfuStatusAtAddress(L"127.20.0.9", L"tarnel"), RFU_SNMP_NO_ADDRESS);
    EXPECT_EQ(write.get(), RFU_SNMP_NO_ADDRESS);
    uint8_t buf[64];
    EXPECT_LT(recv(listener, buf, sizeof buf, MSG_DONTWAIT), 0) << "SNMP was sent";
    close(listener);
    int notValid = 0;
    for (const std::wstring& line : log.Lines()) {
      notValid += line.find(L"--- This IP address is not valid ---") != std::wstring::npos;
    }
    EXPECT_EQ(notValid, 2);
    return;
  }
  std::string ns = "tw-snmp-" + std::to_string(getpid());
  auto run = [](const std::string& cmd) { return system(cmd.c_str()); };
  ASSERT_EQ(run("ip netns add " + ns), 0);
  int rc = run("ip netns exec " + ns + " ip link set lo up") |
           run("ip netns exec " + ns + " sh -c 'echo 1 > /proc/sys/net/ipv4/icmp_echo_ignore_all'");
  if (rc == 0) {
    rc = run("ip netns exec " + ns + " env TIDEWAY_SNMP_IN_NETNS=1 /proc/" + std::to_string(getpid()) +
             "/exe --gtest_filter=RfuNetns.AddressThatDoesNotAnswerPingIsNotValid");
  }
  run("ip netns del " + ns);
  EXPECT_EQ(rc, 0);
}

// By spooler port: the monitor's answer or its registry key gives the address.
// A port without an address is a failed look-up (-3); it must not turn into a
// query of this computer, which is what an empty address would resolve to.
TEST_F(RfuAgentTest, ByPortName) {
  const std::string a = FreeSnmpAddress(13);
  const std::wstring w(a.begin(), a.end());
  StartAgent(Agent(a));
  agent_.SetValue(RFU_OFF_LOCKED);
  FakePortSource ports;
  ports.AddXcvAnswer((L"IP_" + w).c_str(), w.c_str());
  ports.AddPort(L"NPI13", L"Standard TCP/IP Port", w.c_str());
  ports.AddXcvAnswer(L"IP_EMPTY", L"");
  FakeClock clock;
  EXPECT_EQ(QueryRfuStatus((L"IP_" + w).c_str(), L"tarnel"), RFU_OFF_LOCKED);
  EXPECT_EQ(WriteRfuStatus(L"NPI13", L"tarnel", RFU_ON), RFU_SNMP_OK);
  EXPECT_EQ(agent_.Value(), RFU_ON);
  EXPECT_EQ(QueryRfuStatus(L"NPI13", L"tarnel"), RFU_ON);
  EXPECT_FALSE(Logged(L"--- IP address get failed ---"));
  for (const wchar_t* port : {L"IP_EMPTY", L"LPT9:", L""}) {
    auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(QueryRfuStatus(port, L"tarnel"), RFU_SNMP_NO_ADDRESS) << port;
    EXPECT_EQ(WriteRfuStatus(port, L"tarnel", RFU_OFF), RFU_SNMP_NO_ADDRESS) << port;
    EXPECT_LT(SecondsSince(start), 1.0);
  }
  EXPECT_EQ(QueryRfuStatus(nullptr, L"tarnel"), RFU_SNMP_NO_ADDRESS);
  EXPECT_TRUE(Logged(L"--- IP address get failed ---"));
  EXPECT_EQ(agent_.Value(), RFU_ON);
}
