#include <arpa/inet.h>
#include <errno.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "host/text_utils.h"
#include "net/snmp_guard_socket.h"

int GuardSocketsStartup() { return 0; }
void GuardSocketsCleanup() {}

GuardIcmpSocket::~GuardIcmpSocket() { Close(); }

int GuardIcmpSocket::Open() {
  int fd = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  if (fd < 0) return errno;
  m_socket = static_cast<uintptr_t>(fd);
  m_open = true;
  return 0;
}

int GuardIcmpSocket::SetReceiveTimeout(uint32_t ms) {
  timeval tv;
  tv.tv_sec = ms / 1000;
  tv.tv_usec = (ms % 1000) * 1000;
  if (setsockopt(static_cast<int>(m_socket), SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof tv) != 0) return errno;
  return 0;
}

int GuardIcmpSocket::BindToLocalHost(uint16_t port) {
  char host[256];
  if (gethostname(host, sizeof host) != 0) return errno;
  host[sizeof host - 1] = '\0';
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &result) != 0 || !result) return EADDRNOTAVAIL;
  sockaddr_in local;
  memcpy(&local, result->ai_addr, sizeof local);
  freeaddrinfo(result);
  local.sin_port = htons(port);
  if (bind(static_cast<int>(m_socket), reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) return errno;
  return 0;
}

int GuardIcmpSocket::SetReceiveAll() { return EOPNOTSUPP; }

int GuardIcmpSocket::Receive(uint8_t* buffer, size_t size, char* senderText, size_t senderTextSize) {
  sockaddr_in from{};
  socklen_t fromLen = sizeof from;
  ssize_t n = recvfrom(static_cast<int>(m_socket), buffer, size, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
  if (n < 0) return (errno == EAGAIN || errno == EWOULDBLOCK) ? -GUARD_ERROR_TIMEDOUT : -errno;
  char text[INET_ADDRSTRLEN] = "";
  inet_ntop(AF_INET, &from.sin_addr, text, sizeof text);
  CopyText(senderText, senderTextSize, text);
  return static_cast<int>(n);
}

int GuardIcmpSocket::Close() {
  if (!m_open) return 0;
  m_open = false;
  return close(static_cast<int>(m_socket)) == 0 ? 0 : errno;
}
