// The guard thread of an RFU read may outlive the read by up to its receive
// time-out, and the program may end in that window (the "Exit" answer after an
// update): a process that ends while a guard runs must end cleanly, with no
// sanitizer report about what the guard still uses.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "host/clock.h"
#include "net/snmp_guard.h"

namespace {

bool RawIcmpAvailable() {
  int fd = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  if (fd < 0) return false;
  close(fd);
  return true;
}

// A child that starts a guard and ends the process at once through exit(), as
// returning from main does; its wait status and what it wrote to stderr.
int RunChildThatExitsWithGuard(std::string* errors) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return -1;
  fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(pipeFds[1], 2);
    close(pipeFds[0]);
    close(pipeFds[1]);
    SnmpGuardThread guard;
    if (!guard.Start("127.0.0.1")) _exit(3);
    exit(0);
  }
  close(pipeFds[1]);
  char buffer[512];
  ssize_t n;
  while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0) errors->append(buffer, static_cast<size_t>(n));
  close(pipeFds[0]);
  int status = -1;
  waitpid(pid, &status, 0);
  return status;
}

}  // namespace

TEST(SnmpGuardExit, ProcessEndsCleanlyWhileGuardRuns) {
  if (!RawIcmpAvailable()) GTEST_SKIP() << "raw ICMP sockets need root";
  TickCountMs();  // the real clock exists before the guards start, as in the program
  for (int run = 0; run < 40; ++run) {
    std::string errors;
    int status = RunChildThatExitsWithGuard(&errors);
    ASSERT_TRUE(WIFEXITED(status)) << "run " << run << ": status " << status << "\n" << errors;
    ASSERT_EQ(WEXITSTATUS(status), 0) << "run " << run << "\n" << errors;
    ASSERT_EQ(errors.find("runtime error"), std::string::npos) << errors;
    ASSERT_EQ(errors.find("Sanitizer"), std::string::npos) << errors;
  }
}
