// The Windows headers depend on this order.
// clang-format off
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>
// clang-format on

#include <cstring>

#include "host/logger.h"
#include "host/win_handles.h"
#include "net/ip_address.h"

namespace {
constexpr DWORD kEchoTimeoutMs = 5000;
constexpr DWORD kEcho4ReplyBytes = 228;
constexpr DWORD kEcho6ReplyBytes = 292;
// An ICMPv6 reply starts with the packed source address (port, flow info,
// 8 words, scope id: 26 bytes), then the status; not every SDK's headers
// declare the structure, so it is read by offset.
constexpr size_t kEcho6StatusOffset = 26;

using IcmpCreateFileFn = HANDLE(WINAPI*)();
using IcmpSendEcho2Fn = decltype(&IcmpSendEcho2);
using Icmp6SendEcho2Fn = decltype(&Icmp6SendEcho2);

// The ICMPv6 services exist from Windows XP SP2 on.
bool AtLeastXpSp2() {
  OSVERSIONINFOEXW info{};
  info.dwOSVersionInfoSize = sizeof info;
  info.dwMajorVersion = 5;
  info.dwMinorVersion = 1;
  info.wServicePackMajor = 2;
  info.wServicePackMinor = 0;
  DWORDLONG mask = 0;
  VER_SET_CONDITION(mask, VER_MAJORVERSION, VER_GREATER_EQUAL);
  VER_SET_CONDITION(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  VER_SET_CONDITION(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  VER_SET_CONDITION(mask, VER_SERVICEPACKMINOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR | VER_SERVICEPACKMINOR,
                            mask) != FALSE;
}

HANDLE CreateEchoHandle(const Network& network, const char* creator) {
  auto create = reinterpret_cast<IcmpCreateFileFn>(network.GetIcmpFunction(creator));
  return create ? create() : nullptr;
}

const unsigned char kEchoData[4] = {'e', 'c', 'h', 'o'};
}  // namespace

struct Network::Owned {
  win::UniqueLibrary iphlpLib;
  win::UniqueLibrary icmpLib;
  win::UniqueIcmp icmp;
  win::UniqueIcmp icmp6;
};

Network::Network() : m_owned(std::make_unique<Owned>()) {
  Logger* log = Logger::Instance();
  log->Write(L"Network singleton created");
  m_owned->iphlpLib.Reset(LoadLibraryW(L"iphlpapi.dll"));
  m_owned->icmpLib.Reset(LoadLibraryW(L"icmp.dll"));
  m_owned->icmp.Reset(CreateEchoHandle(*this, "IcmpCreateFile"));
  if (AtLeastXpSp2()) m_owned->icmp6.Reset(CreateEchoHandle(*this, "Icmp6CreateFile"));
  if (m_owned->icmp) m_icmpHandle = reinterpret_cast<intptr_t>(m_owned->icmp.Get());
  if (m_owned->icmp6) m_icmp6Handle = reinterpret_cast<intptr_t>(m_owned->icmp6.Get());
  m_sockets = SocketLibrary(2, 2);
  if (m_sockets.Error() != 0) {
    log->Write(L"Can't start WSAStartup");
    return;
  }
  log->Write(L"Network started!");
}

Network::~Network() = default;

void* Network::GetIcmpFunction(const char* name) const {
  FARPROC f = nullptr;
  if (m_owned->iphlpLib) f = GetProcAddress(m_owned->iphlpLib.Get(), name);
  if (!f && m_owned->icmpLib) f = GetProcAddress(m_owned->icmpLib.Get(), name);
  return reinterpret_cast<void*>(f);
}

int Ping4(IPAddress& address, Network& network) {
  Logger* log = Logger::Instance();
  log->Write(L"Ping4()");
  size_t size = 0;
  const void* sa = address.SocketAddress(&size);
  if (!sa || address.Family() != IPADDR_FAMILY_V4 || size < sizeof(sockaddr_in)) return 1;
  auto send = reinterpret_cast<IcmpSendEcho2Fn>(network.GetIcmpFunction("IcmpSendEcho2"));
  if (!send || !network.HasIcmp()) {
    log->Write(L"ERROR: no ICMP echo service");
    return 1;
  }
  sockaddr_in dest;
  memcpy(&dest, sa, sizeof dest);
  alignas(8) unsigned char reply[kEcho4ReplyBytes];
  DWORD count =
      send(reinterpret_cast<HANDLE>(network.IcmpHandle()), nullptr, nullptr, nullptr, dest.sin_addr.s_addr,
           const_cast<unsigned char*>(kEchoData), sizeof kEchoData, nullptr, reply, sizeof reply, kEchoTimeoutMs);
  if (count != 1) {
    log->Write(L"IcmpSendEcho2 failed (gle=%d)", static_cast<int>(GetLastError()));
    return 1;
  }
  const auto* echo = reinterpret_cast<const ICMP_ECHO_REPLY*>(reply);
  return (echo->Status == IP_SUCCESS && echo->DataSize == sizeof kEchoData) ? 0 : 1;
}

int Ping6(IPAddress& address, Network& network) {
  Logger* log = Logger::Instance();
  log->Write(L"Ping6()");
  if (!network.HasIcmp6()) return 1;
  size_t size = 0;
  const void* sa = address.SocketAddress(&size);
  if (!sa || address.Family() != IPADDR_FAMILY_V6 || size < sizeof(sockaddr_in6)) return 1;
  auto send = reinterpret_cast<Icmp6SendEcho2Fn>(network.GetIcmpFunction("Icmp6SendEcho2"));
  if (!send) return 1;
  sockaddr_in6 source{};
  source.sin6_family = AF_INET6;
  sockaddr_in6 dest;
  memcpy(&dest, sa, sizeof dest);
  IP_OPTION_INFORMATION options{};
  options.Ttl = 255;
  alignas(8) unsigned char reply[kEcho6ReplyBytes];
  DWORD count =
      send(reinterpret_cast<HANDLE>(network.Icmp6Handle()), nullptr, nullptr, nullptr, &source, &dest,
           const_cast<unsigned char*>(kEchoData), sizeof kEchoData, &options, reply, sizeof reply, kEchoTimeoutMs);
  if (count != 1) {
    log->Write(L"Icmp6SendEcho2 failed (gle=%d)", static_cast<int>(GetLastError()));
    return 1;
  }
  ULONG status = 0;
  memcpy(&status, reply + kEcho6StatusOffset, sizeof status);
  return status == IP_SUCCESS ? 0 : 1;
}
