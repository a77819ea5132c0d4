#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "net/snmp_udp.h"

int SnmpSocketsStartup() { return 0; }
void SnmpSocketsCleanup() {}
bool SnmpPlatformSupported() { return true; }

namespace {
bool SameEndpoint(const sockaddr_storage& a, socklen_t aLen, const uint8_t* b, size_t bLen) {
  const sockaddr* peer = reinterpret_cast<const sockaddr*>(b);
  if (a.ss_family != peer->sa_family) return false;
  if (a.ss_family == AF_INET && aLen >= sizeof(sockaddr_in) && bLen >= sizeof(sockaddr_in)) {
    const sockaddr_in* x = reinterpret_cast<const sockaddr_in*>(&a);
    const sockaddr_in* y = reinterpret_cast<const sockaddr_in*>(b);
    return x->sin_port == y->sin_port && x->sin_addr.s_addr == y->sin_addr.s_addr;
  }
  if (a.ss_family == AF_INET6 && aLen >= sizeof(sockaddr_in6) && bLen >= sizeof(sockaddr_in6)) {
    const sockaddr_in6* x = reinterpret_cast<const sockaddr_in6*>(&a);
    const sockaddr_in6* y = reinterpret_cast<const sockaddr_in6*>(b);
    return x->sin6_port == y->sin6_port && memcmp(&x->sin6_addr, &y->sin6_addr, sizeof x->sin6_addr) == 0;
  }
  return false;
}
}  // namespace

SnmpUdpSocket::~SnmpUdpSocket() { Close(); }

int SnmpUdpSocket::Open(const char* printerAddress, uint16_t port) {
  Close();
  char service[8];
  snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* result = nullptr;
  int rc = getaddrinfo(printerAddress, service, &hints, &result);
  if (rc != 0 || !result) {
    m_lastError = rc ? rc : EINVAL;
    return m_lastError;
  }
  if (result->ai_addrlen > sizeof m_peer) {
    freeaddrinfo(result);
    m_lastError = EINVAL;
    return m_lastError;
  }
  memcpy(m_peer, result->ai_addr, result->ai_addrlen);
  m_peerSize = result->ai_addrlen;
  int fd = socket(result->ai_family, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_UDP);
  freeaddrinfo(result);
  if (fd < 0) {
    m_lastError = errno;
    return m_lastError;
  }
  m_socket = static_cast<uintptr_t>(fd);
  m_open = true;
  return 0;
}

void SnmpUdpSocket::Close() {
  if (m_open) close(static_cast<int>(m_socket));
  m_open = false;
}

int SnmpUdpSocket::Send(const uint8_t* data, size_t size) {
  if (!m_open) return m_lastError = EBADF;
  ssize_t n = sendto(static_cast<int>(m_socket), data, size, 0, reinterpret_cast<const sockaddr*>(m_peer),
                     static_cast<socklen_t>(m_peerSize));
  if (n < 0) return m_lastError = errno;
  if (static_cast<size_t>(n) != size) return m_lastError = EMSGSIZE;
  return 0;
}

SnmpReceiveResult SnmpUdpSocket::Receive(uint8_t* buffer, size_t size, uint32_t timeoutMs, size_t* received,
                                         bool* fromPrinter) {
  if (!m_open) {
    m_lastError = EBADF;
    return SNMP_RECEIVE_FAILED;
  }
  pollfd p{static_cast<int>(m_socket), POLLIN, 0};
  int ready = poll(&p, 1, static_cast<int>(timeoutMs > 0x7FFFFFFF ? 0x7FFFFFFF : timeoutMs));
  if (ready == 0) return SNMP_RECEIVE_TIMEOUT;
  if (ready < 0) {
    m_lastError = errno;
    return errno == EINTR ? SNMP_RECEIVE_IGNORED : SNMP_RECEIVE_FAILED;
  }
  sockaddr_storage from{};
  socklen_t fromLen = sizeof from;
  ssize_t n = recvfrom(static_cast<int>(m_socket), buffer, size, MSG_TRUNC, reinterpret_cast<sockaddr*>(&from),
                       &fromLen);
  if (n < 0) {
    m_lastError = errno;
    // An ICMP error queued for the socket is not the answer; the guard thread reports it.
    if (errno == ECONNREFUSED || errno == EINTR || errno == EAGAIN || errno == EHOSTUNREACH || errno == ENETUNREACH)
      return SNMP_RECEIVE_IGNORED;
    return SNMP_RECEIVE_FAILED;
  }
  if (static_cast<size_t>(n) > size) return SNMP_RECEIVE_IGNORED;
  *received = static_cast<size_t>(n);
  *fromPrinter = SameEndpoint(from, fromLen, m_peer, m_peerSize);
  return SNMP_RECEIVE_DATAGRAM;
}
