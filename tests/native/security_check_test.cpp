// Which network printers the RFU gate guards: firmware dated after 2011-12-10,
// asked of the simulated printer; a printer that does not say is updated
// directly (the update then finds out), one that does not answer a ping not at all.
#include "update/security_check.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ntwk_sim_fixture.h"
#include "support/fake_clock.h"
#include "support/fake_ports.h"

using nettest::SimPrinter;

TEST(SecurityCheck, FirmwareDateDecidesTheGate) {
  struct Case {
    std::vector<std::string> simArgs;
    int result;
    uint32_t version;
    std::vector<uint32_t> waits;
  } cases[] = {
      {{"--version", "20111210"}, SECURITY_FW_DIRECT, 20111210, {}},
      {{"--version", "20111211"}, SECURITY_FW_GATE, 20111211, {}},
      {{"--version", "20150101", "--fault", "status:value=2,cmd=version"}, SECURITY_FW_DIRECT, 0, {1000, 1000, 1000}},
  };
  int n = 0;
  for (const Case& c : cases) {
    SimPrinter sim;
    const std::string address = "127.65.0." + std::to_string(++n);
    ASSERT_TRUE(sim.Start(address, c.simArgs, 5000)) << sim.error();
    FakePortSource ports;
    ports.AddXcvAnswer(L"IP_" + sim.Address(), sim.Address());
    FakeClock clock;
    uint32_t version = 1;
    EXPECT_EQ(CheckSecurityFirmware((L"IP_" + sim.Address()).c_str(), &version), c.result) << address;
    EXPECT_EQ(version, c.version) << address;
    EXPECT_EQ(clock.Sleeps(), c.waits) << address;
  }
}
