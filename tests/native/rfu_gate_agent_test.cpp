// The RFU gate against net-snmp's snmpd: real SNMP by spooler port, scripted
// prompts and registry.
#include <gtest/gtest.h>

#include "printer/rfu_status.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"
#include "support/snmp_agent_posix.h"

// RFU off -> the user enables -> SET -> on. When "tarnel" is only the read
// community, the agent refuses the SET (noAccess): the Set prompt appears and
// the typed name switches RFU on.
TEST(RfuGateAgent, OffIsSwitchedOn) {
  struct Case {
    int host;
    std::string roCommunity, rwCommunity;
    std::deque<int> prompts;
    std::vector<std::wstring> calls;
  };
  const std::vector<Case> cases = {
      {40, "", "tarnel", {}, {L"get(tarnel)", L"question", L"set(tarnel,2)"}},
      {41,
       "tarnel",
       "typed1",
       {1},
       {L"get(tarnel)", L"question", L"set(tarnel,2)", L"ask(Set Community Name)", L"set(typed1,2)"}},
  };
  for (const Case& c : cases) {
    const std::string address = FreeSnmpAddress(c.host);
    const std::wstring w(address.begin(), address.end());
    SnmpAgentOptions options;
    options.address = address;
    options.roCommunity = c.roCommunity;
    options.rwCommunity = c.rwCommunity;
    options.initialValue = RFU_OFF;
    SnmpAgent agent;
    ASSERT_TRUE(agent.Start(options)) << agent.Error();
    FakePortSource ports;
    ports.AddXcvAnswer(L"IP_" + w, w);
    FakeClock clock;  // the client's 500 ms pauses
    LogCapture log;
    BoxCapture boxes;
    ScriptedRfuPlatform platform;
    platform.realSnmp = true;
    platform.choices = {1};
    platform.prompts = c.prompts;
    EXPECT_EQ(RunRfuGate({L"QV Office", L"IP_" + w, L"0"}, platform), RFU_GATE_PASSED);
    EXPECT_EQ(platform.calls, c.calls);
    EXPECT_EQ(agent.Value(), RFU_ON);
  }
}
