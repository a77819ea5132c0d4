// Queues grouped by the device they print to: the first in list order
// carries the update, every later queue of that device rides along.
#include "update/device_groups.h"

#include <gtest/gtest.h>

TEST(DeviceCarriers, FirstQueueOfEachDeviceCarries) {
  struct Case {
    const char* name;
    std::vector<DeviceKey> keys;
    std::vector<size_t> carriers;
  } cases[] = {
      {"one port, two queues",
       {{PORT_NETWORK, L"IP_10.0.0.5", L"10.0.0.5"}, {PORT_NETWORK, L"IP_10.0.0.5", L"10.0.0.5"}},
       {0, 0}},
      {"two ports, one resolved address",
       {{PORT_NETWORK, L"IP_10.0.0.5", L"10.0.0.5"},
        {PORT_NETWORK, L"IP_10.0.0.6", L"10.0.0.6"},
        {PORT_NETWORK, L"office2.example", L"10.0.0.5"}},
       {0, 1, 0}},
      // A print server's raw ports each lead to a printer of their own; an
      // LPR port reaches the printer's own 9100.
      {"three raw ports of one print server",
       {{PORT_NETWORK, L"IP_10.0.0.7", L"10.0.0.7", 9100},
        {PORT_NETWORK, L"IP_10.0.0.7_2", L"10.0.0.7", 9101},
        {PORT_NETWORK, L"IP_10.0.0.7_3", L"10.0.0.7", 9102}},
       {0, 1, 2}},
      {"an LPR and a raw 9100 port of one printer",
       {{PORT_NETWORK, L"LPR_10.0.0.8", L"10.0.0.8", 9100}, {PORT_NETWORK, L"IP_10.0.0.8", L"10.0.0.8", 9100}},
       {0, 0}},
      // No address: the port alone tells, and an unresolved port is not every other unresolved one.
      {"unresolved",
       {{PORT_NETWORK, L"IP_a", L""}, {PORT_NETWORK, L"IP_b", L""}, {PORT_NETWORK, L"ip_a", L""}},
       {0, 1, 0}},
      {"usb and parallel by port",
       {{PORT_USB, L"USB001", L""},
        {PORT_PARALLEL, L"LPT1:", L""},
        {PORT_USB, L"USB002", L""},
        {PORT_USB, L"USB001", L""},
        {PORT_PARALLEL, L"LPT1:", L""}},
       {0, 1, 2, 0, 1}},
      {"names not installed are devices of their own", {{PORT_NETWORK, L"", L""}, {PORT_NETWORK, L"", L""}}, {0, 1}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeviceCarriers(c.keys), c.carriers) << c.name;
  }
}
