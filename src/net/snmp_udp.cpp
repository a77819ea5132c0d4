#include "net/snmp_udp.h"

int SnmpUdpSocket::Open(const char* printerAddress, uint16_t port) {
  Close();
  int rc = NumericEndpoint(printerAddress, port, &m_peer);
  if (rc == 0) rc = m_socket.OpenDatagram(m_peer);
  if (rc != 0) m_lastError = rc;
  return rc;
}

int SnmpUdpSocket::Send(const uint8_t* data, size_t size) {
  if (!m_socket.IsOpen()) return m_lastError = SOCKET_ERROR_NOT_SOCKET;
  int64_t n = m_socket.SendTo(data, size, m_peer);
  if (n < 0) return m_lastError = SocketLastError();
  if (static_cast<size_t>(n) != size) return m_lastError = SOCKET_ERROR_MESSAGE_SIZE;
  return 0;
}

SnmpReceiveResult SnmpUdpSocket::Receive(uint8_t* buffer, size_t size, uint32_t timeoutMs, size_t* received,
                                         bool* fromPrinter) {
  if (!m_socket.IsOpen()) {
    m_lastError = SOCKET_ERROR_NOT_SOCKET;
    return SNMP_RECEIVE_FAILED;
  }
  int ready = m_socket.WaitReadable(timeoutMs);
  if (ready == 0) return SNMP_RECEIVE_TIMEOUT;
  if (ready < 0) {
    m_lastError = SocketLastError();
    return DatagramErrorIsTransient(m_lastError) ? SNMP_RECEIVE_IGNORED : SNMP_RECEIVE_FAILED;
  }
  SocketEndpoint from;
  int64_t n = m_socket.ReceiveFrom(buffer, size, &from);
  if (n < 0) {
    m_lastError = SocketLastError();
    // An ICMP error queued for the socket is not the answer; the guard thread reports it.
    return DatagramErrorIsTransient(m_lastError) ? SNMP_RECEIVE_IGNORED : SNMP_RECEIVE_FAILED;
  }
  if (static_cast<size_t>(n) > size) return SNMP_RECEIVE_IGNORED;
  *received = static_cast<size_t>(n);
  *fromPrinter = SameEndpoint(from, m_peer);
  return SNMP_RECEIVE_DATAGRAM;
}
