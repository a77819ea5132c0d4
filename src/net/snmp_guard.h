#pragma once
// The guard thread of an RFU read: watches a raw ICMP socket for a
// port-unreachable message from the printer, which means that the printer
// rejects SNMP outright.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

#include "host/logger.h"

constexpr int GUARD_EXIT_WSASTARTUP = -1;
constexpr int GUARD_EXIT_SOCKET = -2;
constexpr int GUARD_EXIT_BIND = -3;
constexpr int GUARD_EXIT_RCVALL = -4;
constexpr int GUARD_EXIT_PORT_UNREACHABLE = -100;
// What a thread that has not ended reports (the platform's STILL_ACTIVE).
constexpr int GUARD_STILL_ACTIVE = 259;
// A receive time-out ends the guard with Winsock's code on every platform.
constexpr int GUARD_ERROR_TIMEDOUT = 10060;  // WSAETIMEDOUT

constexpr uint32_t GUARD_RECEIVE_TIMEOUT_MS = 5000;
constexpr size_t GUARD_DATAGRAM_MAX = 1024;
constexpr size_t GUARD_ADDRESS_MAX = 260;

// True for an ICMP destination-unreachable / port-unreachable message behind a
// 20-byte IPv4 header, as a raw ICMP socket delivers it.
bool IsIcmpPortUnreachable(const uint8_t* datagram, size_t size);

// The thread routine: runs until the receive times out (exit code: the socket
// error code, 10060) or a port-unreachable message from `printerAddress`
// (dotted text) arrives (-100); -1..-4 when the socket cannot be set up.
int WatchSnmpPortUnreachable(const char* printerAddress);

// One guard thread. The thread owns a copy of the address and may outlive both
// the call that started it and this object, by up to the receive time-out.
class SnmpGuardThread {
 public:
  SnmpGuardThread() = default;
  ~SnmpGuardThread();
  SnmpGuardThread(const SnmpGuardThread&) = delete;
  SnmpGuardThread& operator=(const SnmpGuardThread&) = delete;

  // False when the thread could not be started.
  bool Start(const char* printerAddress);
  // The exit code once the thread has ended, GUARD_STILL_ACTIVE before (and
  // when it never started).
  int ExitCode() const;

  struct State {
    char address[GUARD_ADDRESS_MAX];
    wchar_t printer[LOG_PRINTER_MAX];  // the starter's log scope
    std::atomic<bool> ended{false};
    std::atomic<int> exitCode{GUARD_STILL_ACTIVE};
  };

 private:
  std::shared_ptr<State> m_state;
};
