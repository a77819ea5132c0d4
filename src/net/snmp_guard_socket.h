#pragma once
// The raw ICMP socket of the SNMP guard thread. Portable interface;
// snmp_guard_socket_win32.cpp (Winsock) and snmp_guard_socket_posix.cpp hold
// the calls. Error codes are Winsock's on every platform where they matter to
// callers: a receive time-out is GUARD_ERROR_TIMEDOUT everywhere.

#include <cstddef>
#include <cstdint>

constexpr int GUARD_ERROR_TIMEDOUT = 10060;  // WSAETIMEDOUT

class GuardIcmpSocket {
 public:
  GuardIcmpSocket() = default;
  ~GuardIcmpSocket();
  GuardIcmpSocket(const GuardIcmpSocket&) = delete;
  GuardIcmpSocket& operator=(const GuardIcmpSocket&) = delete;

  // Each returns 0 or the socket error code.
  int Open();
  int SetReceiveTimeout(uint32_t ms);
  // Binds to the first IPv4 address of the local host name, with `port` in the
  // address record.
  int BindToLocalHost(uint16_t port);
  // Receive-all mode (SIO_RCVALL); Windows only.
  int SetReceiveAll();
  // Bytes received (>= 0) and the sender's dotted text, or minus the socket
  // error code.
  int Receive(uint8_t* buffer, size_t size, char* senderText, size_t senderTextSize);
  // 0 or the error code of the close.
  int Close();

 private:
  uintptr_t m_socket = 0;
  bool m_open = false;
};

// Socket library start for the guard thread's own use: 0 or the error code.
int GuardSocketsStartup();
void GuardSocketsCleanup();
