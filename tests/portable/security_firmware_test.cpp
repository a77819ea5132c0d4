// The firmware-date check before a network update, at its bounds: the version
// question goes to the printer over the scripted network, the ping is the
// test's.

#include "update/security_firmware.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/tideway_dlg.h"
#include "printer/tcp_port_data.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"
#include "support/fake_tcp_channel.h"
#include "support/log_capture.h"

using namespace nettest;

namespace {

std::vector<std::wstring> g_pinged;
int g_pingAnswer = 1;

int FakePing(const wchar_t* host) {
  g_pinged.push_back(host);
  return g_pingAnswer;
}

ConnScript VersionReply(const char* digits) {
  ConnScript script;
  script.replies.push_back(Reply(Response(0x0001, 1, Bytes(digits))));
  return script;
}

}  // namespace

TEST(SecurityFirmware, DateBoundsUnreadableVersionAndUnreachablePrinter) {
  struct Case {
    const char* what;
    bool hasAddress;
    int pingAnswer;
    std::vector<ConnScript> connections;
    int result;
    int asked;  // version questions sent
    std::vector<uint32_t> sleeps;
    std::wstring line;
    uint16_t rawPort = 0;  // the port's own raw port; 0: none known (9100)
  } cases[] = {
      {"firmware of the start date",
       true,
       1,
       {VersionReply("20111210")},
       SECURITY_FW_DIRECT,
       1,
       {},
       L"securilty firmware version start date= 20111210, firmware version=20111210"},
      {"a day newer",
       true,
       1,
       {VersionReply("20111211")},
       SECURITY_FW_GATE,
       1,
       {},
       L"securilty firmware version start date= 20111210, firmware version=20111211"},
      {"a print server's raw port of its own",
       true,
       1,
       {VersionReply("20111211")},
       SECURITY_FW_GATE,
       1,
       {},
       L"securilty firmware version start date= 20111210, firmware version=20111211",
       9102},
      {"three failed reads",
       true,
       1,
       {},
       SECURITY_FW_DIRECT,
       3,
       {1000, 1000, 1000},
       L"Failed to get the Firmware Version"},
      {"printer does not answer the ping",
       true,
       0,
       {},
       SECURITY_FW_UNREACHABLE,
       0,
       {},
       L"--- This IP address is not valid ---"},
      {"port without an address",
       false,
       1,
       {},
       SECURITY_FW_UNREACHABLE,
       0,
       {},
       L"--- This IP address is not valid ---"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    FakeClock clock;
    FakePortSource ports;
    if (c.hasAddress) ports.AddXcvAnswer(L"IP_127.64.0.1", L"127.64.0.1");
    if (c.rawPort) ports.AddXcvConfig(L"IP_127.64.0.1", TCP_PROTOCOL_RAW, c.rawPort);
    FakeNet net;
    for (const ConnScript& script : c.connections) net.AddConnection(script);
    LogCapture log;
    g_pinged.clear();
    g_pingAnswer = c.pingAnswer;

    EXPECT_EQ(CheckSecurityFirmwareOfPort(L"IP_127.64.0.1", FakePing), c.result);
    EXPECT_EQ(net.Connections(), c.asked);
    const std::string connect = "connect 127.64.0.1:" + std::to_string(c.rawPort ? c.rawPort : 9100);
    for (int n = 1; n <= c.asked; ++n) {
      const std::vector<std::string> trace = net.Trace();
      EXPECT_NE(std::find(trace.begin(), trace.end(), std::to_string(n) + " " + connect), trace.end());
    }
    // Each question: the framing and ACLCMD_GET_VERSION without parameters.
    const std::vector<uint8_t> question = Concat({Uel(), EnterLang(), Response(0x0001, 0)});
    for (int n = 1; n <= c.asked; ++n) {
      std::vector<uint8_t> sent = net.Sent(n);
      sent.resize(std::min(sent.size(), question.size()));
      EXPECT_EQ(Hex(sent), Hex(question));
    }
    EXPECT_EQ(g_pinged, c.hasAddress ? std::vector<std::wstring>{L"127.64.0.1"} : std::vector<std::wstring>{});
    EXPECT_EQ(clock.Sleeps(), c.sleeps);
    EXPECT_TRUE(log.Contains(c.line));
  }
}
