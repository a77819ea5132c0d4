// Port address lookup against Wine's spooler: a test-only port monitor that
// answers the transceiver request, and the fallback through the port list and
// the monitor's key. The ports come from scripts/lib/pre-test.d/50-host-port-monitor.sh.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "printer/port_address.h"
#include "printer/port_source.h"
#include "support/log_capture.h"

namespace {
const std::wstring kTestMonitorKey =
    L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tideway Test Monitor\\Ports\\";
}

TEST(PortAddressWine, MonitorAnswerWins) {
  LogCapture log;
  wchar_t out[PORT_ADDRESS_MAX] = L"";
  ASSERT_EQ(GetIPAddressFromPort(L"IP_127.30.2.1", out), 1);
  EXPECT_STREQ(out, L"127.30.2.1");  // the key holds 127.30.2.201
  EXPECT_TRUE(log.Contains(L"IPbuf: 127.30.2.1"));
  EXPECT_FALSE(log.ContainsPart(L"GetStringFromHKLM"));

  wchar_t raw[PORT_XCV_BUFFER_BYTES / sizeof(wchar_t)];
  EXPECT_EQ(GetIPViaXcv(L"IP_127.30.2.1", raw, sizeof raw), 1);
  EXPECT_STREQ(raw, L"127.30.2.1");
}

TEST(PortAddressWine, RegistryFallback) {
  struct Case {
    const wchar_t* port;
    const wchar_t* address;
    std::wstring key;
    const wchar_t* xcvLine;
  } cases[] = {
      // The answer does not resolve.
      {L"IP_127.30.2.2", L"127.30.2.2", kTestMonitorKey + L"IP_127.30.2.2", L"IPbuf: no-such-host.invalid"},
      // The answer does not fit the 256-byte buffer: the monitor refuses it.
      {L"IP_127.30.2.3", L"127.30.2.3", kTestMonitorKey + L"IP_127.30.2.3", L"IPbuf: "},
      // The monitor has no answer.
      {L"IP_127.30.2.4", L"127.30.2.4", kTestMonitorKey + L"IP_127.30.2.4", L"IPbuf: "},
      // Wine's local port monitor opens the transceiver but returns no data.
      {L"IP_127.30.3.1", L"127.30.3.1",
       L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Local Monitor\\Ports\\IP_127.30.3.1", L"IPbuf: "},
  };
  for (const Case& c : cases) {
    LogCapture log;
    wchar_t out[PORT_ADDRESS_MAX] = L"";
    EXPECT_EQ(GetIPAddressFromPort(c.port, out), 1) << c.port;
    EXPECT_STREQ(out, c.address) << c.port;
    EXPECT_TRUE(log.Contains(c.xcvLine)) << c.port;
    EXPECT_TRUE(log.Contains(std::wstring(L"ports ") + c.port + L" ?= " + c.port)) << c.port;
    // "Tideway Test Monitor)" as listed, cut back to the monitor's key name.
    EXPECT_TRUE(log.Contains(L"GetStringFromHKLM " + c.key + L" IPAddress")) << c.port;
  }
}

TEST(PortAddressWine, UnknownPort) {
  LogCapture log;
  wchar_t out[PORT_ADDRESS_MAX] = L"untouched";
  EXPECT_EQ(GetIPAddressFromPort(L"IP_127.30.9.9", out), 0);
  EXPECT_TRUE(log.Contains(L"OpenPrinter() failed (gle=1796)"));
  EXPECT_FALSE(log.ContainsPart(L"GetStringFromHKLM"));
}

TEST(PortAddressWine, PortListNamesEachPortsMonitor) {
  std::vector<PortEntry> ports;
  uint32_t error = 0;
  ASSERT_EQ(SystemPortSource().ListPorts(&ports, &error), 1) << error;
  bool local = false;
  bool test = false;
  for (const PortEntry& p : ports) {
    if (p.portName == L"IP_127.30.3.1") local = p.monitorName == L"Local Monitor";
    if (p.portName == L"IP_127.30.2.1") test = p.monitorName == L"Tideway Test Monitor)";
  }
  EXPECT_TRUE(local);
  EXPECT_TRUE(test);
}

// The TCP port through Wine's spooler: the test monitor's GetConfigInfo answer
// (the PORT_DATA_1 it lays out by the SDK's offsets), an LPR answer, and the
// key's values where the monitor has no answer or answers with an error status.
TEST(PortAddressWine, TcpPortFromTheMonitorElseItsKey) {
  struct Case {
    const wchar_t* port;
    uint16_t expected;
    const wchar_t* configLine;  // nullptr: the monitor gives no answer
  } cases[] = {
      {L"IP_127.30.2.1", 9101, L"GetConfigInfo IP_127.30.2.1: protocol 1, port 9101"},  // key: raw 9109
      {L"IP_127.30.2.2", 9100, L"GetConfigInfo IP_127.30.2.2: protocol 2, port 515"},   // key: raw 9109
      {L"IP_127.30.2.4", 9102, nullptr},
      {L"IP_127.30.3.1", 9103, nullptr},  // Wine's local monitor: status 87
  };
  for (const Case& c : cases) {
    LogCapture log;
    EXPECT_EQ(GetPortTcpNumber(c.port), c.expected) << c.port;
    if (c.configLine) {
      EXPECT_TRUE(log.Contains(c.configLine)) << c.port;
    } else {
      EXPECT_FALSE(log.ContainsPart(L"GetConfigInfo")) << c.port;
    }
  }
}
