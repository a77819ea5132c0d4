// The socket calls Winsock and BSD sockets share. This file and the two
// platform files are the only ones that see the system's socket headers.
#ifdef _WIN32
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
// clang-format on
using NativeSocket = SOCKET;
using SockLen = int;
using BufferPtr = char*;
constexpr int kOpenFlags = 0;
constexpr int kSendFlags = 0;
// Winsock refuses an over-long datagram with WSAEMSGSIZE.
constexpr int kReceiveFromFlags = 0;
// AI_NUMERICSERV is not used with Winsock's resolver.
constexpr int kNumericFlags = AI_NUMERICHOST;
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>
using NativeSocket = int;
using SockLen = socklen_t;
using BufferPtr = void*;
constexpr int kOpenFlags = SOCK_CLOEXEC;
// A peer that closes mid-data must give a failed send, not SIGPIPE.
constexpr int kSendFlags = MSG_NOSIGNAL;
// An over-long datagram reports its whole length.
constexpr int kReceiveFromFlags = MSG_TRUNC;
constexpr int kNumericFlags = AI_NUMERICHOST | AI_NUMERICSERV;
#endif

#include <cstdio>
#include <cstring>
#include <cwchar>

#include "host/text_utils.h"
#include "net/ip_address.h"
#include "net/net_platform.h"
#include "net/socket_layer.h"

namespace {
const sockaddr* Addr(const SocketEndpoint& e) { return reinterpret_cast<const sockaddr*>(e.bytes); }

int FromAddrInfo(const addrinfo* result, SocketEndpoint* out) {
  if (result->ai_addrlen > sizeof out->bytes) return SOCKET_ERROR_INVALID;
  memcpy(out->bytes, result->ai_addr, result->ai_addrlen);
  out->size = result->ai_addrlen;
  return 0;
}

NativeSocket Native(SocketHandle h) { return static_cast<NativeSocket>(h); }

size_t CallCount(size_t size) { return size > SOCKET_CALL_MAX ? SOCKET_CALL_MAX : size; }
}  // namespace

int NumericEndpoint(const char* address, uint16_t port, SocketEndpoint* out) {
  char service[8];
  snprintf(service, sizeof service, "%u", static_cast<unsigned>(port));
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_DGRAM;
  hints.ai_flags = kNumericFlags;
  addrinfo* result = nullptr;
  int rc = getaddrinfo(address, service, &hints, &result);
  if (rc != 0 || !result) return rc ? rc : SOCKET_ERROR_INVALID;
  rc = FromAddrInfo(result, out);
  freeaddrinfo(result);
  return rc;
}

SocketEndpoint Ipv4Endpoint(const uint8_t address[4], uint16_t port) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(port);
  memcpy(&sa.sin_addr.s_addr, address, 4);
  SocketEndpoint e;
  memcpy(e.bytes, &sa, sizeof sa);
  e.size = sizeof sa;
  return e;
}

int LocalHostIpv4Endpoint(uint16_t port, SocketEndpoint* out) {
  char host[256];
  int rc = LocalHostName(host, sizeof host);
  if (rc != 0) return rc;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  addrinfo* result = nullptr;
  rc = getaddrinfo(host, nullptr, &hints, &result);
  if (rc != 0 || !result) return rc ? rc : SOCKET_ERROR_ADDRESS_NOT_AVAILABLE;
  rc = FromAddrInfo(result, out);
  freeaddrinfo(result);
  if (rc == 0) reinterpret_cast<sockaddr_in*>(out->bytes)->sin_port = htons(port);
  return rc;
}

bool SameEndpoint(const SocketEndpoint& a, const SocketEndpoint& b) {
  if (a.size < sizeof(sockaddr) || b.size < sizeof(sockaddr) || Addr(a)->sa_family != Addr(b)->sa_family) return false;
  if (Addr(a)->sa_family == AF_INET && a.size >= sizeof(sockaddr_in) && b.size >= sizeof(sockaddr_in)) {
    const auto* x = reinterpret_cast<const sockaddr_in*>(a.bytes);
    const auto* y = reinterpret_cast<const sockaddr_in*>(b.bytes);
    return x->sin_port == y->sin_port && x->sin_addr.s_addr == y->sin_addr.s_addr;
  }
  if (Addr(a)->sa_family == AF_INET6 && a.size >= sizeof(sockaddr_in6) && b.size >= sizeof(sockaddr_in6)) {
    const auto* x = reinterpret_cast<const sockaddr_in6*>(a.bytes);
    const auto* y = reinterpret_cast<const sockaddr_in6*>(b.bytes);
    return x->sin6_port == y->sin6_port && memcmp(&x->sin6_addr, &y->sin6_addr, sizeof x->sin6_addr) == 0;
  }
  return false;
}

void Ipv4EndpointText(const SocketEndpoint& endpoint, char* text, size_t textSize) {
  char dotted[INET_ADDRSTRLEN] = "";
  if (Addr(endpoint)->sa_family == AF_INET)
    inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(endpoint.bytes)->sin_addr, dotted, sizeof dotted);
  CopyText(text, textSize, dotted);
}

int LocalHostName(char* out, size_t outSize) {
  if (outSize == 0) return SOCKET_ERROR_INVALID;
  if (gethostname(out, static_cast<SockLen>(outSize)) != 0) return SocketLastError();
  out[outSize - 1] = 0;
  return 0;
}

int Socket::OpenDatagram(const SocketEndpoint& peer) {
  Close();
  return Open(Addr(peer)->sa_family, SOCK_DGRAM | kOpenFlags, IPPROTO_UDP);
}

int Socket::OpenStreamIpv4() {
  Close();
  return Open(AF_INET, SOCK_STREAM | kOpenFlags, IPPROTO_TCP);
}

int Socket::OpenIcmpIpv4() {
  Close();
  return Open(AF_INET, SOCK_RAW | kOpenFlags, IPPROTO_ICMP);
}

int Socket::Open(int family, int type, int protocol) {
  NativeSocket s = socket(family, type, protocol);
  if (static_cast<SocketHandle>(s) == SOCKET_HANDLE_NONE) return SocketLastError();
  m_handle = static_cast<SocketHandle>(s);
  m_open = true;
  return 0;
}

int Socket::Bind(const SocketEndpoint& local) {
  if (bind(Native(m_handle), Addr(local), static_cast<SockLen>(local.size)) != 0) return SocketLastError();
  return 0;
}

int Socket::Connect(const SocketEndpoint& peer) {
  int rc;
  do {
    rc = connect(Native(m_handle), Addr(peer), static_cast<SockLen>(peer.size));
  } while (rc != 0 && SocketCallInterrupted(SocketLastError()));
  return rc == 0 ? 0 : SocketLastError();
}

int64_t Socket::SendTo(const uint8_t* data, size_t size, const SocketEndpoint& peer) {
  return sendto(Native(m_handle), reinterpret_cast<const char*>(data), CallCount(size), kSendFlags, Addr(peer),
                static_cast<SockLen>(peer.size));
}

int64_t Socket::ReceiveFrom(uint8_t* buffer, size_t size, SocketEndpoint* from) {
  sockaddr_storage storage{};
  SockLen length = sizeof storage;
  int64_t n = recvfrom(Native(m_handle), reinterpret_cast<BufferPtr>(buffer), CallCount(size), kReceiveFromFlags,
                       reinterpret_cast<sockaddr*>(&storage), &length);
  if (n >= 0) {
    from->size = static_cast<size_t>(length) < sizeof from->bytes ? static_cast<size_t>(length) : sizeof from->bytes;
    memcpy(from->bytes, &storage, from->size);
  }
  return n;
}

int64_t Socket::Receive(uint8_t* buffer, size_t size) {
  int64_t n;
  do {
    n = recv(Native(m_handle), reinterpret_cast<BufferPtr>(buffer), CallCount(size), 0);
  } while (n < 0 && SocketCallInterrupted(SocketLastError()));
  return n;
}

int NetResolveFirst(const char* host, int family, wchar_t* text, size_t textSize) {
  text[0] = 0;
  addrinfo hints{};
  hints.ai_family = family == IPADDR_FAMILY_V6 ? AF_INET6 : AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* list = nullptr;
  int rc = getaddrinfo(host, nullptr, &hints, &list);
  if (rc != 0) {
    LogResolverError(rc);
    return NET_RESOLVE_FAILED;
  }
  int result = NET_RESOLVE_NO_ADDRESS;
  SocketEndpoint first;
  if (list && list->ai_addr && FromAddrInfo(list, &first) == 0) {
    result = FormatResolvedAddress(first, family, text, textSize) ? NET_RESOLVE_OK : NET_RESOLVE_FORMAT_FAILED;
  }
  freeaddrinfo(list);
  return result;
}

int NetLocalHostName(char* out, size_t outSize) { return LocalHostName(out, outSize) == 0 ? 1 : 0; }
