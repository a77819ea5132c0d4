// The simulated printer driven from a Windows test under Wine, talked to over Winsock.

#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "support/printer_sim.h"

namespace {

class Winsock : public ::testing::Test {
 protected:
  void SetUp() override {
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
  }
  void TearDown() override { WSACleanup(); }
};

TEST_F(Winsock, PrinterSimStartsAnswersAndStops) {
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.50.2.1";
  o.args = {"--version", "2468", "--printer-info", "MDL:Wine Sim \"1\";"};
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  EXPECT_GT(sim.pid(), 0);

  std::string reply = PrinterSim::Query(sim.address(), sim.port(), 0x0001);
  ASSERT_EQ(reply.size(), 16u);
  EXPECT_EQ(reply.substr(6, 8), "00002468");
  std::string info = PrinterSim::Query(sim.address(), sim.port(), 0x0006);
  EXPECT_EQ(info.substr(16), "\r\nMDL:Wine Sim \"1\";");  // the option survived the command line

  ASSERT_TRUE(sim.WaitForEvents("command", 2));
  EXPECT_EQ(PrinterSim::Str(sim.Events("command")[0], "cmd"), "GET_VERSION");

  ASSERT_TRUE(sim.SetFaults({"status:value=2"}));
  EXPECT_EQ(PrinterSim::Query(sim.address(), sim.port(), 0x0001)[5], 2);

  const std::string dir = sim.work_dir();
  const int port = sim.port();
  sim.Stop();
  EXPECT_FALSE(sim.running());
  EXPECT_EQ(PrinterSim::Query("127.50.2.1", port, 0x0001), "refused");
  EXPECT_EQ(GetFileAttributesA(dir.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Winsock, PrinterSimReportsAFailedStart) {
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "192.0.2.1";
  EXPECT_FALSE(sim.Start(o, 5000));
  EXPECT_NE(sim.error().find("loopback"), std::string::npos) << sim.error();
}

}  // namespace
