#include "net/ip_address.h"

#include <cstring>

#include "host/clock.h"
#include "host/logger.h"
#include "host/text_utils.h"
#include "net/net_platform.h"

namespace {
constexpr int kPingTries = 3;
constexpr uint32_t kPingRetryWaitMs = 500;
// A host text of IPADDR_TEXT_MAX wide characters needs at most 4 bytes each.
constexpr size_t kHostUtf8Max = IPADDR_TEXT_MAX * 4;

const wchar_t* Printable(const wchar_t* text) {
  return text ? text : L"";
}

// One family's lookup: 0 on success with `address` set, nonzero otherwise.
int ResolveForFamily(IPAddress& address, const wchar_t* host, int family) {
  Logger::Instance()->Write(L"GetIpAddrFromHostName(blIpv6 = %d)", family == IPADDR_FAMILY_V6 ? 1 : 0);

  // The whole name is used: cutting a long host name would look up another one.
  char hostUtf8[kHostUtf8Max];
  if (host[0] == 0) {
    if (!NetLocalHostName(hostUtf8, sizeof hostUtf8)) return 1;
  } else if (ToUtf8(host, hostUtf8, sizeof hostUtf8) == TEXT_ERROR_BAD_LENGTH) {
    Logger::Instance()->Write(L"ERROR: host name too long: %ls", host);
    return 1;
  }

  wchar_t text[IPADDR_TEXT_MAX];
  int rc = NetResolveFirst(hostUtf8, family, text, IPADDR_TEXT_MAX);
  if (rc == NET_RESOLVE_FAILED || rc == NET_RESOLVE_NO_ADDRESS) return 1;
  // A formatting failure still stores the (empty, invalid) address.
  address = IPAddress(text);
  return rc == NET_RESOLVE_OK ? 0 : 1;
}
}  // namespace

IPAddress::IPAddress()
    : m_text{},
      m_binary{},
      m_valid(false),
      m_family(IPADDR_FAMILY_NONE),
      m_sockaddr{},
      m_sockaddrSize(0),
      m_sockaddrTried(false) {}

IPAddress::IPAddress(const wchar_t* text) : IPAddress() {
  size_t copied = CopyText(m_text, IPADDR_TEXT_MAX, Printable(text));
  // A text cut to fit could name another address ("1.2.3.4:80x" cut to
  // "1.2.3.4:80"): an over-long text is never valid.
  if (Printable(text)[copied] != 0) return;
  int family = IPADDR_FAMILY_NONE;
  if (IsIPv4Text(m_text)) {
    family = IPADDR_FAMILY_V4;
  } else if (IsIPv6Text(m_text)) {
    family = IPADDR_FAMILY_V6;
  }
  if (family == IPADDR_FAMILY_NONE) return;
  uint8_t sockaddr[IPADDR_SOCKADDR_MAX];
  size_t size = 0;
  if (NetTextToAddress(m_text, family, m_binary, sockaddr, &size)) {
    m_valid = true;
    m_family = family;
  }
}

IPAddress::~IPAddress() = default;

const void* IPAddress::SocketAddress(size_t* size) {
  if (size) *size = 0;
  if (!m_valid) return nullptr;
  if (!m_sockaddrTried) {
    m_sockaddrTried = true;
    uint8_t binary[16];
    size_t built = 0;
    if (NetTextToAddress(m_text, m_family, binary, m_sockaddr, &built)) m_sockaddrSize = built;
  }
  if (m_sockaddrSize == 0) return nullptr;
  if (size) *size = m_sockaddrSize;
  return m_sockaddr;
}

int GetIpAddrFromHostName(Network& network, IPAddress& address, const wchar_t* host) {
  (void)network;  // the network object keeps Windows Sockets started meanwhile
  Logger::Instance()->Write(L"GetIpAddrFromHostName()");
  if (!host) return 1;

  int v4 = NetProtocolInstalled(IPADDR_FAMILY_V4);
  if (v4 == 0) {
    Logger::Instance()->Write(L"GetIpAddrFromHostName(IPv4)");
    if (ResolveForFamily(address, host, IPADDR_FAMILY_V4) == 0) return 0;
  }
  int v6 = NetProtocolInstalled(IPADDR_FAMILY_V6);
  if (v6 != 0) return v6;
  Logger::Instance()->Write(L"GetIpAddrFromHostName(IPv6)");
  return ResolveForFamily(address, host, IPADDR_FAMILY_V6);
}

int ResolveHostname(const wchar_t* host, wchar_t* out) {
  Logger::Instance()->Write(L"ResolveHostname(%ls)", Printable(host));
  Network network;
  IPAddress address;
  if (GetIpAddrFromHostName(network, address, host) != 0) return 0;
  if (out) CopyText(out, IPADDR_TEXT_MAX, address.Text());
  Logger::Instance()->Write(L"Resolved host name address to %ls", address.Text());
  return 1;
}

int ValidIPAddress(const wchar_t* text) {
  Logger* log = Logger::Instance();
  log->Write(L"ValidIPAddress(%ls)", Printable(text));
  if (!text) {
    log->Write(L"HostName address is NULL");
    return 0;
  }
  if (text[0] == 0) {
    log->Write(L"HostName address is empty");
    return 0;
  }
  Network network;
  IPAddress address;
  if (GetIpAddrFromHostName(network, address, text) != 0) {
    log->Write(L"Unable to resolve host name address");
    return 0;
  }
  if (address.IsValid()) {
    log->Write(L"IPAddress %ls IS VALID", address.Text());
    return 1;
  }
  log->Write(L"IP address %ls is not a valid ip address", address.Text());
  return 0;
}

int PingAddress(IPAddress& address, Network& network) {
  Logger* log = Logger::Instance();
  for (int attempt = 0; attempt < kPingTries; ++attempt) {
    log->Write(L"Ping(%ls) #%d", address.Text(), attempt);
    int rc = 1;
    if (address.Family() == IPADDR_FAMILY_V4) {
      rc = Ping4(address, network);
    } else if (address.Family() == IPADDR_FAMILY_V6) {
      rc = Ping6(address, network);
    }
    if (rc == 0) {
      log->Write(L"Ping SUCCESSFUL");
      return 1;
    }
    SleepMs(kPingRetryWaitMs);
  }
  log->Write(L"Failed ping, trys exhaused");
  return 0;
}

int Ping(const wchar_t* host) {
  Logger::Instance()->Write(L"Ping(%ls)", Printable(host));
  Network network;
  IPAddress address;
  if (GetIpAddrFromHostName(network, address, host) != 0) {
    Logger::Instance()->Write(L"Unable to resolve hostname = %ls", Printable(host));
    return 0;
  }
  return PingAddress(address, network);
}
