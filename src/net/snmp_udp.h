#pragma once
// The UDP socket one SNMP session talks through (over net/socket_layer.h).

#include <cstddef>
#include <cstdint>

#include "net/socket_layer.h"

constexpr uint16_t SNMP_PORT = 161;
// Answers larger than this are refused as truncated.
constexpr size_t SNMP_DATAGRAM_MAX = 4096;

// The SNMP client's socket library version.
constexpr uint8_t SNMP_SOCKETS_MAJOR = 2;
constexpr uint8_t SNMP_SOCKETS_MINOR = 2;

// The platform can run the SNMP client: on Windows an NT-family system above
// version 4 (always true elsewhere; snmp_udp_win32.cpp / snmp_udp_posix.cpp).
bool SnmpPlatformSupported();

enum SnmpReceiveResult {
  SNMP_RECEIVE_DATAGRAM = 0,
  SNMP_RECEIVE_TIMEOUT = 1,
  SNMP_RECEIVE_IGNORED = 2,  // an error report or an over-long datagram: keep waiting
  SNMP_RECEIVE_FAILED = 3,
};

class SnmpUdpSocket {
 public:
  SnmpUdpSocket() = default;
  SnmpUdpSocket(const SnmpUdpSocket&) = delete;
  SnmpUdpSocket& operator=(const SnmpUdpSocket&) = delete;

  // Opens an unbound UDP socket for the printer at the numeric address text
  // (IPv4 or IPv6) and port. 0, or the system error code.
  int Open(const char* printerAddress, uint16_t port);
  void Close() { m_socket.Close(); }
  bool IsOpen() const { return m_socket.IsOpen(); }

  // 0, or the system error code.
  int Send(const uint8_t* data, size_t size);
  // Waits at most `timeoutMs` for one datagram. On SNMP_RECEIVE_DATAGRAM,
  // `*received` is its size and `*fromPrinter` whether it came from the
  // printer's address and port.
  SnmpReceiveResult Receive(uint8_t* buffer, size_t size, uint32_t timeoutMs, size_t* received, bool* fromPrinter);
  int LastError() const { return m_lastError; }

 private:
  Socket m_socket;
  SocketEndpoint m_peer;  // the printer's
  int m_lastError = 0;
};
