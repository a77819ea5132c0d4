// The simulated printer driven from a Windows test under Wine, talked to over Winsock.

#include <winsock2.h>
#include <ws2tcpip.h>
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

// UEL, enter-language line and one query record; the bytes received until the simulator
// stops sending for a moment.
std::string Query(const std::string& address, int port, unsigned cmd) {
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(static_cast<u_short>(port));
  inet_pton(AF_INET, address.c_str(), &sa.sin_addr);
  if (connect(s, reinterpret_cast<sockaddr*>(&sa), sizeof sa) != 0) {
    closesocket(s);
    return "refused";
  }
  DWORD tv = 300;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&tv), sizeof tv);
  std::string job = "\x1b%-12345X@PJL ENTER LANGUAGE=ACL\r\n";
  const char rec[16] = {0x00, static_cast<char>(0xAC), static_cast<char>(cmd >> 8), static_cast<char>(cmd & 0xFF)};
  job.append(rec, sizeof rec);
  send(s, job.data(), static_cast<int>(job.size()), 0);
  std::string out;
  char buf[2048];
  int n;
  while ((n = recv(s, buf, sizeof buf, 0)) > 0) out.append(buf, static_cast<size_t>(n));
  closesocket(s);
  return out;
}

TEST_F(Winsock, PrinterSimStartsAnswersAndStops) {
  PrinterSim sim;
  PrinterSimOptions o;
  o.address = "127.50.2.1";
  o.args = {"--version", "2468", "--printer-info", "MDL:Wine Sim \"1\";"};
  ASSERT_TRUE(sim.Start(o)) << sim.error();
  EXPECT_GT(sim.pid(), 0);

  std::string reply = Query(sim.address(), sim.port(), 0x0001);
  ASSERT_EQ(reply.size(), 16u);
  EXPECT_EQ(reply.substr(6, 8), "00002468");
  std::string info = Query(sim.address(), sim.port(), 0x0006);
  EXPECT_EQ(info.substr(16), "\r\nMDL:Wine Sim \"1\";");  // the option survived the command line

  ASSERT_TRUE(sim.WaitForEvents("command", 2));
  EXPECT_EQ(PrinterSim::Str(sim.Events("command")[0], "cmd"), "GET_VERSION");

  ASSERT_TRUE(sim.SetFaults({"status:value=2"}));
  EXPECT_EQ(Query(sim.address(), sim.port(), 0x0001)[5], 2);

  const std::string dir = sim.work_dir();
  const int port = sim.port();
  sim.Stop();
  EXPECT_FALSE(sim.running());
  EXPECT_EQ(Query("127.50.2.1", port, 0x0001), "refused");
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
