// The RFU gate against net-snmp's snmpd: real SNMP by spooler port, scripted
// prompts and registry.
#include <gtest/gtest.h>

#include <string>

#include "app/rfu_sequencer.h"
#include "printer/rfu_status.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/log_capture.h"
#include "support/scripted_rfu_platform.h"
#include "support/snmp_agent_posix.h"

namespace {

// SNMP goes to the printer; the prompts and the question stay scripted.
class AgentPlatform : public ScriptedRfuPlatform {
 public:
  int QueryRfuStatus(const wchar_t* portName, const wchar_t* community) override {
    calls.push_back(L"get(" + std::wstring(community) + L")");
    return RfuPlatform::QueryRfuStatus(portName, community);
  }
  int WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value) override {
    calls.push_back(L"set(" + std::wstring(community) + L"," + std::to_wstring(value) + L")");
    return RfuPlatform::WriteRfuStatus(portName, community, value);
  }
};

struct AgentCase {
  const char* name;
  int host;
  std::string roCommunity, rwCommunity;
  std::deque<int> prompts;
  std::vector<std::wstring> calls;
};

}  // namespace

// RFU off -> the user enables -> SET -> on. When "tarnel" is only the read
// community, the agent answers the SET with noAccess: the Set prompt appears
// and the typed name switches RFU on.
TEST(RfuGateAgent, OffIsSwitchedOn) {
  const std::vector<AgentCase> cases = {
      {"one community", 40, "", "tarnel", {}, {L"get(tarnel)", L"question", L"set(tarnel,2)"}},
      {"read-only Get community used for the SET",
       41,
       "tarnel",
       "typed1",
       {1},
       {L"get(tarnel)", L"question", L"set(tarnel,2)", L"ask(Set Community Name)", L"set(typed1,2)"}},
  };
  for (const AgentCase& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string address = FreeSnmpAddress(c.host);
    ASSERT_FALSE(address.empty());
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

    AgentPlatform platform;
    platform.choices = {1};
    platform.prompts = c.prompts;
    EXPECT_EQ(RunRfuGate({L"QV Office", L"IP_" + w, L"0"}, platform), RFU_GATE_PASSED);
    EXPECT_EQ(platform.calls, c.calls);
    EXPECT_EQ(agent.Value(), RFU_ON);
    EXPECT_EQ(boxes.Boxes().size(), 0u);
  }
}
