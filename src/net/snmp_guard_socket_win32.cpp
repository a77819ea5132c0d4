#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <mstcpip.h>

#include <cstring>

#include "host/text_utils.h"
#include "net/snmp_guard_socket.h"

int GuardSocketsStartup() {
  WSADATA data;
  return WSAStartup(MAKEWORD(2, 2), &data);
}

void GuardSocketsCleanup() { WSACleanup(); }

GuardIcmpSocket::~GuardIcmpSocket() { Close(); }

int GuardIcmpSocket::Open() {
  SOCKET s = socket(AF_INET, SOCK_RAW, IPPROTO_ICMP);
  if (s == INVALID_SOCKET) return WSAGetLastError();
  m_socket = static_cast<uintptr_t>(s);
  m_open = true;
  return 0;
}

int GuardIcmpSocket::SetReceiveTimeout(uint32_t ms) {
  DWORD timeout = ms;
  if (setsockopt(static_cast<SOCKET>(m_socket), SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout),
                 sizeof timeout) != 0)
    return WSAGetLastError();
  return 0;
}

int GuardIcmpSocket::BindToLocalHost(uint16_t port) {
  char host[256];
  if (gethostname(host, sizeof host) != 0) return WSAGetLastError();
  host[sizeof host - 1] = '\0';
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  int rc = getaddrinfo(host, nullptr, &hints, &result);
  if (rc != 0 || !result) return rc ? rc : WSAEADDRNOTAVAIL;
  sockaddr_in local;
  memcpy(&local, result->ai_addr, sizeof local);
  freeaddrinfo(result);
  local.sin_port = htons(port);
  if (bind(static_cast<SOCKET>(m_socket), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0)
    return WSAGetLastError();
  return 0;
}

int GuardIcmpSocket::SetReceiveAll() {
  DWORD on = RCVALL_ON;
  DWORD returned = 0;
  if (WSAIoctl(static_cast<SOCKET>(m_socket), SIO_RCVALL, &on, sizeof on, nullptr, 0, &returned, nullptr, nullptr) !=
      0)
    return WSAGetLastError();
  return 0;
}

int GuardIcmpSocket::Receive(uint8_t* buffer, size_t size, char* senderText, size_t senderTextSize) {
  sockaddr_in from{};
  int fromLen = sizeof from;
  int n = recvfrom(static_cast<SOCKET>(m_socket), reinterpret_cast<char*>(buffer), static_cast<int>(size), 0,
                   reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n == SOCKET_ERROR) return -WSAGetLastError();
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  CopyText(senderText, senderTextSize, text);
  return n;
}

int GuardIcmpSocket::Close() {
  if (!m_open) return 0;
  m_open = false;
  return closesocket(static_cast<SOCKET>(m_socket)) == 0 ? 0 : WSAGetLastError();
}
