#include "snmp_agent_posix.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>

#include "net/snmp_message.h"

// The fuzz build links the support folder without the test definitions.
#ifndef TIDEWAY_SOURCE_DIR
#define TIDEWAY_SOURCE_DIR "."
#endif

std::string RfuPassPersistScript() { return std::string(TIDEWAY_SOURCE_DIR) + "/tests/support/snmp/rfu_pass_persist.py"; }

bool NameThisHostLocalhost() {
  static const char kName[] = "localhost";
  return unshare(CLONE_NEWUTS) == 0 && sethostname(kName, sizeof kName - 1) == 0;
}

std::string FreeSnmpAddress(int host) {
  for (int n = 10; n < 256; ++n) {
    std::string address = "127.20." + std::to_string(n) + "." + std::to_string(host);
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    if (fd < 0) return "";
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(161);
    inet_pton(AF_INET, address.c_str(), &a.sin_addr);
    bool free = bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    close(fd);
    if (free) return address;
  }
  return "";
}

bool SnmpAgent::Start(const SnmpAgentOptions& options) {
  Stop();
  m_options = options;
  char tmpl[] = "/tmp/tideway-snmpd-XXXXXX";
  if (!mkdtemp(tmpl)) {
    m_error = "mkdtemp failed";
    return false;
  }
  m_dir = tmpl;
  std::filesystem::create_directories(m_dir + "/persist");
  SetValue(options.initialValue);
  {
    std::ofstream conf(m_dir + "/snmpd.conf");
    conf << "agentAddress udp:" << options.address << ":161\n";
    if (!options.roCommunity.empty()) conf << "rocommunity " << options.roCommunity << " 127.0.0.0/8\n";
    if (!options.rwCommunity.empty()) conf << "rwcommunity " << options.rwCommunity << " 127.0.0.0/8\n";
    if (options.serveRfu)
      conf << "pass_persist .1.3.6.1.4.1.7734.2.3.9.4.2.1.1.20.8 " << RfuPassPersistScript() << " " << m_dir
           << "/state\n";
  }
  pid_t pid = fork();
  if (pid < 0) {
    m_error = "fork failed";
    return false;
  }
  if (pid == 0) {
    int log = open((m_dir + "/snmpd.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (log >= 0) {
      dup2(log, 1);
      dup2(log, 2);
    }
    setenv("SNMP_PERSISTENT_DIR", (m_dir + "/persist").c_str(), 1);
    setenv("MIBS", "", 1);
    std::string conf = m_dir + "/snmpd.conf";
    std::string pidfile = m_dir + "/snmpd.pid";
    execlp("snmpd", "snmpd", "-C", "-c", conf.c_str(), "-f", "-Lo", "-p", pidfile.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  m_pid = pid;
  if (!WaitUntilAnswering(10000)) {
    std::ifstream log(m_dir + "/snmpd.log");
    m_error = "snmpd did not answer: " + std::string(std::istreambuf_iterator<char>(log), {});
    Stop();
    return false;
  }
  return true;
}

bool SnmpAgent::WaitUntilAnswering(int timeoutMs) {
  int fd = socket(AF_INET, SOCK_DGRAM, 0);
  if (fd < 0) return false;
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_port = htons(161);
  inet_pton(AF_INET, m_options.address.c_str(), &to.sin_addr);
  // Any answer will do, even noSuchObject: the agent is up.
  std::string community = m_options.rwCommunity.empty() ? m_options.roCommunity : m_options.rwCommunity;
  SnmpVarBind binding{};
  SnmpParseOid("1.3.6.1.2.1.1.3.0", &binding.oid);
  binding.value.syntax = SNMP_SYNTAX_NULL;
  uint8_t request[SNMP_REQUEST_MAX];
  size_t n = SnmpEncodeRequest(SNMP_PDU_GET, 77, reinterpret_cast<const uint8_t*>(community.data()),
                               community.size(), binding, request, sizeof request);
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  bool ok = false;
  while (!ok && std::chrono::steady_clock::now() < deadline) {
    int status = 0;
    if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
      m_pid = 0;
      break;
    }
    sendto(fd, request, n, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 100) == 1) {
      uint8_t answer[2048];
      ok = recv(fd, answer, sizeof answer, 0) > 0;
    }
  }
  close(fd);
  return ok;
}

void SnmpAgent::Stop() {
  if (m_pid > 0) {
    kill(m_pid, SIGTERM);
    int status = 0;
    for (int i = 0; i < 50; ++i) {
      if (waitpid(m_pid, &status, WNOHANG) == m_pid) {
        m_pid = 0;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    if (m_pid > 0) {
      kill(m_pid, SIGKILL);
      waitpid(m_pid, &status, 0);
    }
    m_pid = 0;
  }
  if (!m_dir.empty()) {
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
    m_dir.clear();
  }
}

int SnmpAgent::Value() const {
  std::ifstream in(m_dir + "/state");
  int v = -1;
  in >> v;
  return v;
}

void SnmpAgent::SetValue(int value) const {
  std::ofstream out(m_dir + "/state.tmp");
  out << value << "\n";
  out.close();
  std::filesystem::rename(m_dir + "/state.tmp", m_dir + "/state");
}
