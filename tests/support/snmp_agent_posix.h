#pragma once
// net-snmp's snmpd as the printer's SNMP agent for native tests: its own
// configuration, pid file and persistent folder in a temporary folder, the RFU
// object served read-write by tests/support/snmp/rfu_pass_persist.py from a
// state file the test can read and set. Stopped by its pid.

#include <sys/types.h>

#include <string>

struct SnmpAgentOptions {
  std::string address;            // 127.20.0.x; snmpd binds udp:<address>:161
  std::string rwCommunity = "tarnel";
  std::string roCommunity;        // empty: none
  bool serveRfu = true;           // false: the object does not exist
  int initialValue = 1;
};

class SnmpAgent {
 public:
  SnmpAgent() = default;
  ~SnmpAgent() { Stop(); }
  SnmpAgent(const SnmpAgent&) = delete;
  SnmpAgent& operator=(const SnmpAgent&) = delete;

  // Starts snmpd and waits until it answers a GET; false (with the reason in
  // Error()) otherwise.
  bool Start(const SnmpAgentOptions& options);
  void Stop();
  pid_t Pid() const { return m_pid; }
  const std::string& Error() const { return m_error; }
  const std::string& Folder() const { return m_dir; }

  int Value() const;
  void SetValue(int value) const;

 private:
  bool WaitUntilAnswering(int timeoutMs);

  SnmpAgentOptions m_options;
  std::string m_dir;
  pid_t m_pid = 0;
  std::string m_error;
};

// An address 127.20.<n>.<host> (n from 10 up) on which nothing holds the SNMP
// port, so that test runs started side by side do not meet; "" if none.
std::string FreeSnmpAddress(int host);

// The guard sees port unreachable on the address this host's name resolves
// to, as on a printer's network; on loopback the replies go to 127.0.0.1,
// while Debian names the host 127.0.1.1. Gives this process the host name
// "localhost" in a UTS namespace of its own (root); false (errno set) if it
// cannot.
bool NameThisHostLocalhost();

// Path of the python handler served by pass_persist.
std::string RfuPassPersistScript();
