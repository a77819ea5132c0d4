// The test harness for the simulated printer: start, talk, control, events, stop.

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "support/printer_sim_posix.h"

namespace {

TEST(PrinterSimHelper, StartsAnswersAndLogs) {
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.50.1.1";
  o.args = {"--version", "4321"};
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  EXPECT_GT(sim.port(), 0);
  EXPECT_GT(sim.control_port(), 0);

  std::string reply = PrinterSim::Query(sim.address(), sim.port(), 0x0001);
  ASSERT_EQ(reply.size(), 16u);
  EXPECT_EQ(reply.substr(6, 8), "00004321");

  ASSERT_TRUE(sim.WaitForEvents("command", 1));
  std::string cmd = sim.Events("command")[0];
  EXPECT_EQ(PrinterSim::Str(cmd, "cmd"), "GET_VERSION");
  EXPECT_EQ(PrinterSim::Num(cmd, "cmd_id"), 1);
  EXPECT_EQ(PrinterSim::Num(cmd, "status"), 1);
  std::string pjl = sim.Events("pjl")[0];
  EXPECT_EQ(PrinterSim::Str(pjl, "line"), "@PJL ENTER LANGUAGE=ACL");
  EXPECT_TRUE(PrinterSim::Bool(pjl, "enter_acl"));
}

TEST(PrinterSimHelper, FaultsAndStateThroughControl) {
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.50.1.2";
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  ASSERT_TRUE(sim.SetFaults({"status:value=2,cmd=version"}));
  std::string reply = PrinterSim::Query(sim.address(), sim.port(), 0x0001);
  ASSERT_EQ(reply.size(), 16u);
  EXPECT_EQ(reply[5], 2);
  EXPECT_FALSE(sim.SetFaults({"no-such-mode"}));
  ASSERT_TRUE(sim.SetFaults({}));
  std::string state = sim.Control(R"({"op":"set","version":77})");
  EXPECT_TRUE(PrinterSim::Bool(state, "ok"));
  EXPECT_EQ(PrinterSim::Num(sim.Control(R"({"op":"state"})"), "version"), 77);
  EXPECT_EQ(PrinterSim::Query(sim.address(), sim.port(), 0x0001).substr(6, 8), "00000077");

  // A restart refuses connections until it is over.
  ASSERT_TRUE(PrinterSim::Bool(sim.Control(R"({"op":"set","restart_ms":400})"), "ok"));
  ASSERT_TRUE(PrinterSim::Bool(sim.Control(R"({"op":"restart"})"), "ok"));
  EXPECT_EQ(PrinterSim::Query(sim.address(), sim.port(), 0x0001), "refused");
  EXPECT_TRUE(sim.WaitUntilUp(5000));
  EXPECT_EQ(PrinterSim::Query(sim.address(), sim.port(), 0x0001).size(), 16u);
}

TEST(PrinterSimHelper, StopEndsTheProcessAndCleansUp) {
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.50.1.3";
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  pid_t pid = sim.pid();
  std::string dir = sim.work_dir();
  ASSERT_TRUE(std::filesystem::exists(dir));
  sim.Stop();
  EXPECT_FALSE(sim.running());
  EXPECT_NE(kill(pid, 0), 0);  // reaped: the pid no longer names our child
  EXPECT_FALSE(std::filesystem::exists(dir));
  sim.Stop();
}

TEST(PrinterSimHelper, StartFailsForNonLoopbackAddress) {
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "192.0.2.1";
  EXPECT_FALSE(sim.Start(o));
  EXPECT_NE(sim.error().find("loopback"), std::string::npos) << sim.error();
}

TEST(PrinterSimHelper, FlatJsonFields) {
  const std::string line =
      R"({"seq":3,"event":"pjl","line":"x \"cmd\":7, y","cmd":"RESET","n":-12,"ok":true,"s":"a\\b\r\n\u0041"})";
  EXPECT_EQ(PrinterSim::Str(line, "cmd"), "RESET");
  EXPECT_EQ(PrinterSim::Num(line, "n"), -12);
  EXPECT_EQ(PrinterSim::Num(line, "cmd", 5), 5);
  EXPECT_TRUE(PrinterSim::Bool(line, "ok"));
  EXPECT_EQ(PrinterSim::Str(line, "s"), "a\\b\r\nA");
  EXPECT_FALSE(PrinterSim::Has(line, "missing"));
  EXPECT_EQ(PrinterSim::Quote("a\"b\\\n"), R"("a\"b\\\n")");
}

}  // namespace
