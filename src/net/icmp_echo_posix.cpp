// ICMP echo on Linux: a datagram ICMP socket when the system allows it, else a
// raw socket (root). Lets native tests ping loopback through the same Ping.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>

#include "host/logger.h"
#include "net/ip_address.h"

namespace {
constexpr int kEchoTimeoutMs = 5000;
constexpr size_t kEchoDataSize = 4;
constexpr uint8_t kEcho4Request = 8, kEcho4Reply = 0;
constexpr uint8_t kEcho6Request = 128, kEcho6Reply = 129;

std::atomic<uint16_t> g_sequence{1};

int OpenIcmpSocket(int domain, int protocol) {
  int fd = socket(domain, SOCK_DGRAM, protocol);
  if (fd < 0) fd = socket(domain, SOCK_RAW, protocol);
  return fd;
}

bool IsRaw(int fd) {
  int type = 0;
  socklen_t len = sizeof type;
  return getsockopt(fd, SOL_SOCKET, SO_TYPE, &type, &len) == 0 && type == SOCK_RAW;
}

uint16_t InternetChecksum(const uint8_t* data, size_t len) {
  uint32_t sum = 0;
  for (size_t i = 0; i + 1 < len; i += 2) sum += static_cast<uint32_t>(data[i] << 8 | data[i + 1]);
  if (len & 1) sum += static_cast<uint32_t>(data[len - 1] << 8);
  while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint16_t>(~sum);
}

// Sends one echo request and waits for its reply: 0 on a reply with our
// sequence number from the destination carrying the 4 data bytes, 1 otherwise.
int Echo(int fd, bool v6, const void* dest, socklen_t destLen) {
  const bool raw = IsRaw(fd);
  const uint16_t id = static_cast<uint16_t>(getpid());
  const uint16_t seq = g_sequence.fetch_add(1);
  uint8_t packet[8 + kEchoDataSize] = {v6 ? kEcho6Request : kEcho4Request,
                                       0,
                                       0,
                                       0,
                                       static_cast<uint8_t>(id >> 8),
                                       static_cast<uint8_t>(id),
                                       static_cast<uint8_t>(seq >> 8),
                                       static_cast<uint8_t>(seq),
                                       'e',
                                       'c',
                                       'h',
                                       'o'};
  if (!v6) {
    // The kernel fills the ICMPv6 checksum itself.
    uint16_t sum = InternetChecksum(packet, sizeof packet);
    packet[2] = static_cast<uint8_t>(sum >> 8);
    packet[3] = static_cast<uint8_t>(sum);
  }
  if (sendto(fd, packet, sizeof packet, 0, static_cast<const sockaddr*>(dest), destLen) != sizeof packet) {
    Logger::Instance()->Write(L"ERROR: echo request not sent (errno=%d)", errno);
    return 1;
  }

  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kEchoTimeoutMs);
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return 1;
    pollfd pfd{fd, POLLIN, 0};
    if (poll(&pfd, 1, static_cast<int>(left.count())) <= 0) return 1;
    uint8_t buf[1500];
    sockaddr_storage from{};
    socklen_t fromLen = sizeof from;
    ssize_t n = recvfrom(fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen);
    if (n <= 0) continue;
    const uint8_t* icmp = buf;
    size_t len = static_cast<size_t>(n);
    if (raw && !v6) {
      // Raw IPv4 sockets deliver the IP header too.
      size_t header = static_cast<size_t>(buf[0] & 0x0F) * 4;
      if (len < header) continue;
      icmp += header;
      len -= header;
    }
    if (len < 8 || icmp[0] != (v6 ? kEcho6Reply : kEcho4Reply)) continue;
    if ((icmp[6] << 8 | icmp[7]) != seq) continue;
    // Datagram sockets get their own identifier from the kernel, filtered there.
    if (raw && (icmp[4] << 8 | icmp[5]) != id) continue;
    bool sameSource = false;
    if (v6) {
      sameSource = from.ss_family == AF_INET6 && memcmp(&reinterpret_cast<sockaddr_in6*>(&from)->sin6_addr,
                                                        &static_cast<const sockaddr_in6*>(dest)->sin6_addr, 16) == 0;
    } else {
      sameSource = from.ss_family == AF_INET && reinterpret_cast<sockaddr_in*>(&from)->sin_addr.s_addr ==
                                                    static_cast<const sockaddr_in*>(dest)->sin_addr.s_addr;
    }
    if (!sameSource) continue;
    return len - 8 == kEchoDataSize ? 0 : 1;
  }
}
}  // namespace

struct Network::Owned {
  Socket icmp;
  Socket icmp6;
};

Network::Network() : m_owned(std::make_unique<Owned>()) {
  Logger::Instance()->Write(L"Network singleton created");
  int fd4 = OpenIcmpSocket(AF_INET, IPPROTO_ICMP);
  if (fd4 >= 0) {
    m_owned->icmp.Adopt(static_cast<SocketHandle>(fd4));
    m_icmpHandle = fd4 + 1;
  }
  int fd6 = OpenIcmpSocket(AF_INET6, IPPROTO_ICMPV6);
  if (fd6 >= 0) {
    m_owned->icmp6.Adopt(static_cast<SocketHandle>(fd6));
    int hops = 255;
    setsockopt(fd6, IPPROTO_IPV6, IPV6_UNICAST_HOPS, &hops, sizeof hops);
    m_icmp6Handle = fd6 + 1;
  }
  Logger::Instance()->Write(L"Network started!");
}

Network::~Network() = default;

void* Network::GetIcmpFunction(const char* name) const {
  (void)name;
  return nullptr;
}

int Ping4(IPAddress& address, Network& network) {
  Logger::Instance()->Write(L"Ping4()");
  size_t size = 0;
  const void* sa = address.SocketAddress(&size);
  if (!sa || address.Family() != IPADDR_FAMILY_V4 || !network.HasIcmp()) return 1;
  sockaddr_in dest{};
  memcpy(&dest, sa, sizeof dest);
  dest.sin_port = 0;
  return Echo(static_cast<int>(network.IcmpHandle() - 1), false, &dest, sizeof dest);
}

int Ping6(IPAddress& address, Network& network) {
  Logger::Instance()->Write(L"Ping6()");
  if (!network.HasIcmp6()) return 1;
  size_t size = 0;
  const void* sa = address.SocketAddress(&size);
  if (!sa || address.Family() != IPADDR_FAMILY_V6) return 1;
  sockaddr_in6 dest{};
  memcpy(&dest, sa, sizeof dest);
  dest.sin6_port = 0;
  return Echo(static_cast<int>(network.Icmp6Handle() - 1), true, &dest, sizeof dest);
}
