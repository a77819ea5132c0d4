// Port address lookup over a fake spooler: the monitor's answer, the fallback
// through the port list and the monitor's key, and the bounds of every copy.

#include "printer/port_address.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "printer/tcp_port_data.h"
#include "support/fake_ports.h"
#include "support/log_capture.h"

namespace {
const std::wstring kMonitors = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\";
}

TEST(TrimMonitorName, Table) {
  struct Case {
    const wchar_t* name;
    const wchar_t* expected;
  } cases[] = {
      {L"Std TCP/IP Monitor)", L"Std TCP/IP Monitor"},
      {L"Mon.,;) ", L"Mon"},
      {L"Monitor 2", L"Monitor 2"},
      {L"(Tideway Port)", L"(Tideway Port"},
      {L"!!", L"!"},  // the first character stays
      {L"a", L"a"},
      {L"", L""},
      {L"Port\u00e9)", L"Port\u00e9"},
  };
  for (const Case& c : cases) {
    wchar_t name[PORT_NAME_MAX];
    wcscpy(name, c.name);
    TrimMonitorName(name);
    EXPECT_STREQ(name, c.expected) << c.name;
  }
}

TEST(BuildMonitorPortKey, WholeKeyOrNone) {
  wchar_t key[256];
  EXPECT_EQ(BuildMonitorPortKey(key, 256, L"Std Monitor", L"IP_127.30.0.2"), 1);
  EXPECT_EQ(std::wstring(key), kMonitors + L"Std Monitor\\Ports\\IP_127.30.0.2");
  // A cut key could name a shorter port's key ("IP_1.2.3.45" -> "IP_1.2.3.4").
  std::wstring longPort(256 - kMonitors.size() - wcslen(L"M\\Ports\\"), L'x');
  EXPECT_EQ(BuildMonitorPortKey(key, 256, L"M", longPort.c_str()), 0);
  EXPECT_STREQ(key, L"");
  longPort.pop_back();
  EXPECT_EQ(BuildMonitorPortKey(key, 256, L"M", longPort.c_str()), 1);
  EXPECT_EQ(wcslen(key), 255u);
}

TEST(GetIPAddressFromPort, MonitorAnswerIsUsedWhenValid) {
  LogCapture log;
  FakePortSource ports;
  ports.AddXcvAnswer(L"IP_127.30.0.5", L"127.30.0.5");
  ports.AddPort(L"IP_127.30.0.5", L"Std Monitor", L"127.30.0.99");
  wchar_t out[PORT_ADDRESS_MAX] = L"";
  EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.5", out), 1);
  EXPECT_STREQ(out, L"127.30.0.5");
  EXPECT_EQ(ports.XcvNames(), (std::vector<std::wstring>{L",XcvPort IP_127.30.0.5"}));
  EXPECT_TRUE(ports.KeysRead().empty());
  EXPECT_TRUE(log.Contains(L"IPbuf: 127.30.0.5"));
  EXPECT_TRUE(log.Contains(L"IPAddress 127.30.0.5 IS VALID"));
}

TEST(GetIPAddressFromPort, RegistryIsConsultedWhenTheMonitorCannotHelp) {
  struct Case {
    const wchar_t* name;
    const wchar_t* xcvAnswer;  // nullptr: no transceiver for the port
    uint32_t xcvError;
    const wchar_t* line;
  } cases[] = {
      {L"no transceiver", nullptr, 0, L"OpenPrinter() failed (gle=1796)"},
      {L"request fails", nullptr, 50, L"XcvData failed (gle=50)"},
      {L"empty answer", L"", 0, L"IPbuf: "},
      {L"refused answer", L"no-such-host.invalid", 0, L"Unable to resolve host name address"},
  };
  for (const Case& c : cases) {
    LogCapture log;
    FakePortSource ports;
    if (c.xcvAnswer) ports.AddXcvAnswer(L"IP_127.30.0.6", c.xcvAnswer);
    if (c.xcvError) ports.AddXcvFailure(L"IP_127.30.0.6", c.xcvError);
    ports.AddPort(L"LPT1:", L"Local Monitor");
    ports.AddPort(L"IP_127.30.0.6", L"Std Monitor", L"127.30.0.6");
    wchar_t out[PORT_ADDRESS_MAX] = L"";
    EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.6", out), 1) << c.name;
    EXPECT_STREQ(out, L"127.30.0.6") << c.name;
    EXPECT_TRUE(log.Contains(c.line)) << c.name;
    EXPECT_TRUE(log.Contains(L"ports LPT1: ?= IP_127.30.0.6")) << c.name;
    EXPECT_TRUE(log.Contains(L"ports IP_127.30.0.6 ?= IP_127.30.0.6")) << c.name;
    EXPECT_TRUE(log.Contains(L"GetStringFromHKLM " + kMonitors + L"Std Monitor\\Ports\\IP_127.30.0.6 IPAddress"))
        << c.name;
  }
}

TEST(GetIPAddressFromPort, MonitorKeyUsesTheTrimmedMonitorName) {
  FakePortSource ports;
  ports.AddPort(L"IP_127.30.0.7", L"Tideway Port Monitor (v2)");
  ports.SetRegistryValue(kMonitors + L"Tideway Port Monitor (v2\\Ports\\IP_127.30.0.7", L"127.30.0.7");
  wchar_t out[PORT_ADDRESS_MAX] = L"";
  EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.7", out), 1);
  EXPECT_STREQ(out, L"127.30.0.7");
}

TEST(GetIPAddressFromPort, FirstCaseSensitiveMatchOnly) {
  LogCapture log;
  FakePortSource ports;
  ports.AddPort(L"ip_127.30.0.8", L"Std Monitor", L"127.30.0.80");
  ports.AddPort(L"IP_127.30.0.8", L"Std Monitor");  // no value in its key
  ports.AddPort(L"IP_127.30.0.8", L"Other Monitor", L"127.30.0.81");
  wchar_t out[PORT_ADDRESS_MAX] = L"untouched";
  // The first equal name decides; its missing value is not made up for.
  EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.8", out), 0);
  EXPECT_EQ(ports.KeysRead(), (std::vector<std::wstring>{kMonitors + L"Std Monitor\\Ports\\IP_127.30.0.8"}));
  EXPECT_TRUE(log.Contains(L"ports ip_127.30.0.8 ?= IP_127.30.0.8"));
  EXPECT_TRUE(log.Contains(L"ports IP_127.30.0.8 ?= IP_127.30.0.8"));
}

TEST(GetIPAddressFromPort, NothingFound) {
  {
    FakePortSource ports;  // empty port list
    wchar_t out[PORT_ADDRESS_MAX] = L"";
    EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.9", out), 0);
    EXPECT_TRUE(ports.KeysRead().empty());
  }
  {
    FakePortSource ports;
    ports.AddPort(L"USB001", L"USB Monitor", L"127.30.0.9");
    wchar_t out[PORT_ADDRESS_MAX] = L"";
    EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.9", out), 0);
    EXPECT_TRUE(ports.KeysRead().empty());
  }
  {
    LogCapture log;
    FakePortSource ports;
    ports.FailListing(5);
    wchar_t out[PORT_ADDRESS_MAX] = L"";
    EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.9", out), 0);
    EXPECT_TRUE(log.Contains(L"EnumPorts failed (gle=5)"));
  }
}

TEST(GetIPAddressFromPort, OverlongSpoolerValuesAreCutOrRefusedNeverOverflow) {
  const std::wstring longText(300, L'7');
  {
    // A transceiver answer longer than its 256-byte buffer is cut and refused.
    FakePortSource ports;
    ports.AddXcvAnswer(L"IP_127.30.0.10", longText);
    ports.AddPort(L"IP_127.30.0.10", L"Std Monitor", L"127.30.0.10");
    wchar_t out[PORT_ADDRESS_MAX] = L"";
    EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.10", out), 1);
    EXPECT_STREQ(out, L"127.30.0.10");
    wchar_t raw[8];
    EXPECT_EQ(GetIPViaXcv(L"IP_127.30.0.10", raw, sizeof raw), 1);
    EXPECT_EQ(std::wstring(raw), std::wstring(7, L'7'));
  }
  {
    // A registry value that does not fit is refused, not cut into an address.
    FakePortSource ports;
    ports.AddPort(L"IP_127.30.0.11", L"Std Monitor", longText.c_str());
    wchar_t out[PORT_ADDRESS_MAX + 1];
    wmemset(out, L'#', PORT_ADDRESS_MAX + 1);
    EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.11", out), 0);
    EXPECT_EQ(out[PORT_ADDRESS_MAX], L'#');
  }
  {
    // A stored text that fills the whole buffer without a terminator does not
    // fit either: cut to 255 characters it would name another host.
    const std::wstring full(PORT_ADDRESS_MAX, L'7');
    FakePortSource ports;
    ports.AddPort(L"IP_127.30.0.14", L"Std Monitor");
    ports.SetRegistryBytes(FakePortSource::MonitorKey(L"Std Monitor", L"IP_127.30.0.14"), L"IPAddress", full.data(),
                           full.size() * sizeof(wchar_t));
    wchar_t out[PORT_ADDRESS_MAX] = L"untouched";
    EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.14", out), 0);
    EXPECT_STREQ(out, L"untouched");
  }
  {
    // The longest value that fits comes back whole and terminated.
    const std::wstring fits(PORT_ADDRESS_MAX - 1, L'a');
    FakePortSource ports;
    ports.AddPort(L"IP_127.30.0.12", L"Std Monitor", fits.c_str());
    wchar_t out[PORT_ADDRESS_MAX + 1];
    wmemset(out, L'#', PORT_ADDRESS_MAX + 1);
    ASSERT_EQ(GetIPAddressFromPort(L"IP_127.30.0.12", out), 1);
    EXPECT_EQ(std::wstring(out), fits);
    EXPECT_EQ(out[PORT_ADDRESS_MAX], L'#');
  }
  {
    // Monitor and port names past their buffers: no key is read at all.
    const std::wstring longName(400, L'M');
    FakePortSource ports;
    ports.AddPort(L"IP_127.30.0.13", longName);
    ports.AddPort(longName, L"Std Monitor");
    wchar_t out[PORT_ADDRESS_MAX] = L"";
    EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.0.13", out), 0);
    EXPECT_EQ(GetIPAddressFromPort(longName.c_str(), out), 0);
    EXPECT_TRUE(ports.KeysRead().empty());
    ASSERT_EQ(ports.XcvNames().size(), 2u);
    EXPECT_EQ(ports.XcvNames()[1].size(), PORT_NAME_MAX + 9 - 1);
  }
}

// A print server's raw ports each lead to a printer of their own; an LPR
// port's printer, and one whose port tells nothing, is reached at 9100.
TEST(GetPortTcpNumber, RawPortsOwnNumberElseThePrintersOwn) {
  constexpr uint32_t kNone = 0xFFFFFFFF;  // value absent
  struct Case {
    const char* name;
    bool monitorAnswers;
    uint32_t xcvProtocol, xcvPort;
    uint32_t keyProtocol, keyPort;  // kNone: not stored
    uint16_t expected;
  } cases[] = {
      {"monitor: raw", true, TCP_PROTOCOL_RAW, 9101, TCP_PROTOCOL_RAW, 9109, 9101},
      {"monitor: LPR", true, TCP_PROTOCOL_LPR, 515, TCP_PROTOCOL_RAW, 9109, 9100},
      {"monitor: raw at 9100", true, TCP_PROTOCOL_RAW, 9100, TCP_PROTOCOL_RAW, 9109, 9100},
      {"no monitor, key: raw", false, 0, 0, TCP_PROTOCOL_RAW, 9102, 9102},
      {"no monitor, key: LPR", false, 0, 0, TCP_PROTOCOL_LPR, 515, 9100},
      // An answer that tells nothing: the key decides.
      {"monitor: unknown protocol", true, 0, 9101, TCP_PROTOCOL_RAW, 9103, 9103},
      {"monitor: raw without a number", true, TCP_PROTOCOL_RAW, 0, TCP_PROTOCOL_RAW, 9104, 9104},
      {"monitor: raw past 65535", true, TCP_PROTOCOL_RAW, 70000, TCP_PROTOCOL_RAW, 9105, 9105},
      {"nothing stored", false, 0, 0, kNone, kNone, 9100},
      {"key: raw without a number", false, 0, 0, TCP_PROTOCOL_RAW, kNone, 9100},
      {"key: a number without a protocol", false, 0, 0, kNone, 9106, 9100},
      {"key: raw past 65535", false, 0, 0, TCP_PROTOCOL_RAW, 65536, 9100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    FakePortSource ports;
    if (c.monitorAnswers) ports.AddXcvConfig(L"IP_127.30.1.1", c.xcvProtocol, c.xcvPort);
    ports.AddPort(L"IP_127.30.1.1", L"Std Monitor)");
    const std::wstring key = FakePortSource::MonitorKey(L"Std Monitor", L"IP_127.30.1.1");
    if (c.keyProtocol != kNone) ports.SetRegistryDword(key, L"Protocol", c.keyProtocol);
    if (c.keyPort != kNone) ports.SetRegistryDword(key, L"PortNumber", c.keyPort);
    EXPECT_EQ(GetPortTcpNumber(L"IP_127.30.1.1"), c.expected);
  }
  // A stored value of another size is no port number.
  FakePortSource ports;
  ports.AddPort(L"IP_127.30.1.2", L"Std Monitor");
  const std::wstring key = FakePortSource::MonitorKey(L"Std Monitor", L"IP_127.30.1.2");
  ports.SetRegistryDword(key, L"Protocol", TCP_PROTOCOL_RAW);
  const uint16_t twoBytes = 9107;
  ports.SetRegistryBytes(key, L"PortNumber", &twoBytes, sizeof twoBytes);
  EXPECT_EQ(GetPortTcpNumber(L"IP_127.30.1.2"), 9100);
}
