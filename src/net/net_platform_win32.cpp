// The Windows headers depend on this order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
// clang-format on

#include <cstring>
#include <memory>
#include <new>

#include "host/logger.h"
#include "host/text_utils.h"
#include "net/ip_address.h"
#include "net/net_platform.h"

namespace {
// Room for 255 protocol entries.
constexpr DWORD kProtocolListBytes = 160140;

// Winsock must be started for the conversions; each caller holds its own start
// (the count is kept by the system), so an address can be built without a
// Network.
class WinsockScope {
 public:
  WinsockScope() {
    WSADATA data;
    m_started = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~WinsockScope() {
    if (m_started) WSACleanup();
  }
  WinsockScope(const WinsockScope&) = delete;
  WinsockScope& operator=(const WinsockScope&) = delete;

 private:
  bool m_started;
};
}  // namespace

int NetTextToAddress(const wchar_t* text, int family, uint8_t* binary, uint8_t* sockaddrOut, size_t* sockaddrSize) {
  if (!text) return 0;
  WinsockScope winsock;
  wchar_t buf[IPADDR_TEXT_MAX];
  CopyText(buf, IPADDR_TEXT_MAX, text);
  SOCKADDR_STORAGE storage{};
  if (family == IPADDR_FAMILY_V4) {
    INT len = sizeof(sockaddr_in);
    if (WSAStringToAddressW(buf, AF_INET, nullptr, reinterpret_cast<LPSOCKADDR>(&storage), &len) != 0) return 0;
    const auto* sin = reinterpret_cast<const sockaddr_in*>(&storage);
    memcpy(binary, &sin->sin_addr, 4);
    memcpy(sockaddrOut, sin, sizeof(sockaddr_in));
    *sockaddrSize = sizeof(sockaddr_in);
    return 1;
  }
  if (family == IPADDR_FAMILY_V6) {
    INT len = sizeof(sockaddr_in6);
    if (WSAStringToAddressW(buf, AF_INET6, nullptr, reinterpret_cast<LPSOCKADDR>(&storage), &len) != 0) return 0;
    const auto* sin6 = reinterpret_cast<const sockaddr_in6*>(&storage);
    memcpy(binary, &sin6->sin6_addr, 16);
    memcpy(sockaddrOut, sin6, sizeof(sockaddr_in6));
    *sockaddrSize = sizeof(sockaddr_in6);
    return 1;
  }
  return 0;
}

int NetProtocolInstalled(int family) {
  std::unique_ptr<unsigned char[]> buffer(new (std::nothrow) unsigned char[kProtocolListBytes]);
  if (!buffer) return 1;
  DWORD size = kProtocolListBytes;
  auto* list = reinterpret_cast<WSAPROTOCOL_INFOW*>(buffer.get());
  int count = WSAEnumProtocolsW(nullptr, list, &size);
  if (count == SOCKET_ERROR) {
    Logger::Instance()->WriteError(static_cast<uint32_t>(WSAGetLastError()), L"WSAEnumProtocols");
    return 1;
  }
  const int wanted = family == IPADDR_FAMILY_V6 ? AF_INET6 : AF_INET;
  for (int i = 0; i < count; ++i) {
    if (list[i].iAddressFamily == wanted) return 0;
  }
  return 11;
}

int NetLocalHostName(char* out, size_t outSize) {
  if (outSize == 0 || gethostname(out, static_cast<int>(outSize)) != 0) return 0;
  out[outSize - 1] = 0;
  return 1;
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
    Logger::Instance()->WriteError(static_cast<uint32_t>(rc), L"getaddrinfo");
    return NET_RESOLVE_FAILED;
  }
  int result = NET_RESOLVE_NO_ADDRESS;
  if (list && list->ai_addr) {
    // An IPv6 text with a zone needs more than the 39 characters of a bare one.
    wchar_t formatted[64];
    DWORD length = 64;
    DWORD addrLen = family == IPADDR_FAMILY_V6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
    if (WSAAddressToStringW(list->ai_addr, addrLen, nullptr, formatted, &length) == 0) {
      CopyText(text, textSize, formatted);
      result = NET_RESOLVE_OK;
    } else {
      Logger::Instance()->WriteError(static_cast<uint32_t>(WSAGetLastError()), L"WSAAddressToString");
      result = NET_RESOLVE_FORMAT_FAILED;
    }
  }
  freeaddrinfo(list);
  return result;
}
