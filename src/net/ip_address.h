#pragma once
// Address objects, name resolution and ICMP reachability for network printers.
// Portable interface; the Winsock and ICMP calls live in *_win32.cpp, and a
// POSIX implementation (getaddrinfo, ICMP sockets) lets native tests use the
// same code path against loopback.

#include <cstddef>
#include <cstdint>
#include <memory>

#include "net/ip_text.h"
#include "net/socket_layer.h"

constexpr size_t IPADDR_TEXT_MAX = 256;     // address texts and host names
constexpr size_t IPADDR_SOCKADDR_MAX = 28;  // sockaddr_in6 on Windows and Linux

constexpr int IPADDR_FAMILY_V4 = 0;
constexpr int IPADDR_FAMILY_V6 = 1;
constexpr int IPADDR_FAMILY_NONE = 2;

// One address: its text and, when the text passed IsIPv4Text/IsIPv6Text and the
// system converted it, its binary form. Copyable.
class IPAddress {
 public:
  IPAddress();
  explicit IPAddress(const wchar_t* text);
  IPAddress(const IPAddress&) = default;
  IPAddress& operator=(const IPAddress&) = default;
  virtual ~IPAddress();

  const wchar_t* Text() const { return m_text; }
  bool IsValid() const { return m_valid; }
  int Family() const { return m_family; }
  // 4 (IPv4) or 16 (IPv6) bytes in network order; nullptr when invalid.
  const uint8_t* Binary() const { return m_valid ? m_binary : nullptr; }
  size_t BinarySize() const { return m_valid ? (m_family == IPADDR_FAMILY_V4 ? 4u : 16u) : 0u; }
  // The text converted again by the system into a socket address (built on
  // first use and kept); nullptr for an invalid address or a text the system
  // refuses. *size receives the length in bytes.
  const void* SocketAddress(size_t* size);

 private:
  wchar_t m_text[IPADDR_TEXT_MAX];
  uint8_t m_binary[16];
  bool m_valid;
  int m_family;
  uint8_t m_sockaddr[IPADDR_SOCKADDR_MAX];
  size_t m_sockaddrSize;  // 0 until built
  bool m_sockaddrTried;
};

// Owner of the operating system's ICMP services for one operation (created on
// the stack). Windows: iphlpapi.dll and icmp.dll with their echo handles.
// POSIX: ICMP sockets for both families.
class Network {
 public:
  Network();
  virtual ~Network();
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  // A function of the ICMP services: first from the IP helper library, then
  // from the ICMP library; nullptr when neither has it (POSIX: always nullptr).
  void* GetIcmpFunction(const char* name) const;
  bool HasIcmp() const { return m_icmpHandle != 0; }
  bool HasIcmp6() const { return m_icmp6Handle != 0; }
  intptr_t IcmpHandle() const { return m_icmpHandle; }
  intptr_t Icmp6Handle() const { return m_icmp6Handle; }

 private:
  // The platform's owners of what the services hold (icmp_echo_*.cpp).
  struct Owned;
  SocketLibrary m_sockets;
  std::unique_ptr<Owned> m_owned;
  intptr_t m_icmpHandle = 0;  // what m_owned holds, for the echo calls
  intptr_t m_icmp6Handle = 0;
};

// 0 and `address` filled on success (IPv4 tried first, then IPv6); nonzero on
// failure (11 when no usable family is installed, 1 when the protocol list
// could not be read).
int GetIpAddrFromHostName(Network& network, IPAddress& address, const wchar_t* host);

// 1 and the numeric address text (IPADDR_TEXT_MAX characters) in `out`, or 0
// with `out` untouched.
int ResolveHostname(const wchar_t* host, wchar_t* out);

// 1 when `text` resolves to a valid address.
int ValidIPAddress(const wchar_t* text);

// 1 when the host answered an ICMP echo within three tries (500 ms apart).
int Ping(const wchar_t* host);

// The three tries of Ping on an address already resolved; 1 on an answer.
int PingAddress(IPAddress& address, Network& network);

// One echo each; 0 when a correct reply came back, 1 otherwise.
int Ping4(IPAddress& address, Network& network);
int Ping6(IPAddress& address, Network& network);
