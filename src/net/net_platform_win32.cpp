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

}  // namespace

int NetTextToAddress(const wchar_t* text, int family, uint8_t* binary, uint8_t* sockaddrOut, size_t* sockaddrSize) {
  if (!text) return 0;
  // The conversion needs the library started; an address can be built
  // without a Network.
  SocketLibrary winsock(2, 2);
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

void LogResolverError(int rc) { Logger::Instance()->WriteError(static_cast<uint32_t>(rc), L"getaddrinfo"); }

bool FormatResolvedAddress(const SocketEndpoint& address, int family, wchar_t* text, size_t textSize) {
  // An IPv6 text with a zone needs more than the 39 characters of a bare one.
  wchar_t formatted[64];
  DWORD length = 64;
  DWORD addrLen = family == IPADDR_FAMILY_V6 ? sizeof(sockaddr_in6) : sizeof(sockaddr_in);
  auto* sa = reinterpret_cast<LPSOCKADDR>(const_cast<uint8_t*>(address.bytes));
  if (WSAAddressToStringW(sa, addrLen, nullptr, formatted, &length) != 0) {
    Logger::Instance()->WriteError(static_cast<uint32_t>(WSAGetLastError()), L"WSAAddressToString");
    return false;
  }
  CopyText(text, textSize, formatted);
  return true;
}
