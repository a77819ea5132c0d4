#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "net/snmp_udp.h"

int SnmpSocketsStartup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void SnmpSocketsCleanup() { WSACleanup(); }

bool SnmpPlatformSupported() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
  if (!GetVersionExW(&info)) return false;
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion > 4;
}

namespace {
bool SameEndpoint(const sockaddr_storage& a, int aLen, const uint8_t* b, size_t bLen) {
  const sockaddr* peer = reinterpret_cast<const sockaddr*>(b);
  if (a.ss_family != peer->sa_family) return false;
  if (a.ss_family == AF_INET && aLen >= static_cast<int>(sizeof(sockaddr_in)) && bLen >= sizeof(sockaddr_in)) {
    const sockaddr_in* x = reinterpret_cast<const sockaddr_in*>(&a);
    const sockaddr_in* y = reinterpret_cast<const sockaddr_in*>(b);
    return x->sin_port == y->sin_port && x->sin_addr.s_addr == y->sin_addr.s_addr;
  }
  if (a.ss_family == AF_INET6 && aLen >= static_cast<int>(sizeof(sockaddr_in6)) && bLen >= sizeof(sockaddr_in6)) {
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
  hints.ai_flags = AI_NUMERICHOST;
  addrinfo* result = nullptr;
  int rc = getaddrinfo(printerAddress, service, &hints, &result);
  if (rc != 0 || !result) {
    m_lastError = rc ? rc : WSAEINVAL;
    return m_lastError;
  }
  if (result->ai_addrlen > sizeof m_peer) {
    freeaddrinfo(result);
    m_lastError = WSAEINVAL;
    return m_lastError;
  }
  memcpy(m_peer, result->ai_addr, result->ai_addrlen);
  m_peerSize = result->ai_addrlen;
  SOCKET s = socket(result->ai_family, SOCK_DGRAM, IPPROTO_UDP);
  freeaddrinfo(result);
  if (s == INVALID_SOCKET) {
    m_lastError = WSAGetLastError();
    return m_lastError;
  }
  m_socket = static_cast<uintptr_t>(s);
  m_open = true;
  return 0;
}

void SnmpUdpSocket::Close() {
  if (m_open) closesocket(static_cast<SOCKET>(m_socket));
  m_open = false;
}

int SnmpUdpSocket::Send(const uint8_t* data, size_t size) {
  if (!m_open) return m_lastError = WSAENOTSOCK;
  int n = sendto(static_cast<SOCKET>(m_socket), reinterpret_cast<const char*>(data), static_cast<int>(size), 0,
                 reinterpret_cast<const sockaddr*>(m_peer), static_cast<int>(m_peerSize));
  if (n == SOCKET_ERROR) return m_lastError = WSAGetLastError();
  if (static_cast<size_t>(n) != size) return m_lastError = WSAEMSGSIZE;
  return 0;
}

SnmpReceiveResult SnmpUdpSocket::Receive(uint8_t* buffer, size_t size, uint32_t timeoutMs, size_t* received,
                                         bool* fromPrinter) {
  if (!m_open) {
    m_lastError = WSAENOTSOCK;
    return SNMP_RECEIVE_FAILED;
  }
  SOCKET s = static_cast<SOCKET>(m_socket);
  fd_set readable;
  FD_ZERO(&readable);
  FD_SET(s, &readable);
  timeval tv;
  tv.tv_sec = static_cast<long>(timeoutMs / 1000);
  tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
  int ready = select(0, &readable, nullptr, nullptr, &tv);
  if (ready == 0) return SNMP_RECEIVE_TIMEOUT;
  if (ready == SOCKET_ERROR) {
    m_lastError = WSAGetLastError();
    return SNMP_RECEIVE_FAILED;
  }
  sockaddr_storage from{};
  int fromLen = sizeof from;
  int n = recvfrom(s, reinterpret_cast<char*>(buffer), static_cast<int>(size), 0, reinterpret_cast<sockaddr*>(&from),
                   &fromLen);
  if (n == SOCKET_ERROR) {
    m_lastError = WSAGetLastError();
    // WSAECONNRESET is a port-unreachable report for an earlier send (the guard
    // thread reports it); WSAEMSGSIZE an answer too long for any of ours.
    if (m_lastError == WSAECONNRESET || m_lastError == WSAEMSGSIZE || m_lastError == WSAENETRESET)
      return SNMP_RECEIVE_IGNORED;
    return SNMP_RECEIVE_FAILED;
  }
  *received = static_cast<size_t>(n);
  *fromPrinter = SameEndpoint(from, fromLen, m_peer, m_peerSize);
  return SNMP_RECEIVE_DATAGRAM;
}
