#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "host/logger.h"
#include "host/text_utils.h"
#include "net/ip_address.h"
#include "net/net_platform.h"

namespace {
bool ParseDecimal(const wchar_t* s, size_t* pos, uint32_t limit, uint32_t* out) {
  size_t start = *pos;
  uint64_t v = 0;
  while (s[*pos] >= L'0' && s[*pos] <= L'9') {
    v = v * 10 + static_cast<uint64_t>(s[*pos] - L'0');
    if (v > limit) return false;
    ++*pos;
  }
  *out = static_cast<uint32_t>(v);
  return *pos > start;
}

int ToV4(const wchar_t* text, uint8_t* binary, uint8_t* sa, size_t* saSize) {
  size_t pos = 0;
  uint8_t b[4];
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && text[pos++] != L'.') return 0;
    uint32_t v = 0;
    if (!ParseDecimal(text, &pos, 255, &v)) return 0;
    b[i] = static_cast<uint8_t>(v);
  }
  uint32_t port = 0;
  if (text[pos] == L':') {
    ++pos;
    if (!ParseDecimal(text, &pos, 65535, &port)) return 0;
  }
  if (text[pos] != 0) return 0;
  sockaddr_in sin{};
  sin.sin_family = AF_INET;
  sin.sin_port = htons(static_cast<uint16_t>(port));
  memcpy(&sin.sin_addr, b, 4);
  memcpy(binary, b, 4);
  memcpy(sa, &sin, sizeof sin);
  *saSize = sizeof sin;
  return 1;
}

// Accepts what the Windows conversion accepts: "addr", "addr%zone",
// "[addr]", "[addr%zone]:port".
int ToV6(const wchar_t* text, uint8_t* binary, uint8_t* sa, size_t* saSize) {
  char buf[IPADDR_TEXT_MAX];
  if (ToUtf8(text, buf, sizeof buf) == TEXT_ERROR_BAD_LENGTH) return 0;
  char* s = buf;
  uint32_t port = 0;
  if (s[0] == '[') {
    char* close = strchr(s, ']');
    if (!close) return 0;
    if (close[1] == ':') {
      wchar_t wport[16];
      size_t n = Utf8ToWide(close + 2, strlen(close + 2), wport, 16);
      size_t pos = 0;
      if (n == 0 || !ParseDecimal(wport, &pos, 65535, &port) || wport[pos] != 0) return 0;
    } else if (close[1] != 0) {
      return 0;
    }
    *close = 0;
    ++s;
  }
  uint32_t scope = 0;
  if (char* percent = strchr(s, '%')) {
    *percent = 0;
    char* end = nullptr;
    errno = 0;
    unsigned long v = strtoul(percent + 1, &end, 10);
    if (end == percent + 1 || *end != 0 || errno != 0 || v > 0xFFFFFFFFul) return 0;
    scope = static_cast<uint32_t>(v);
  }
  sockaddr_in6 sin6{};
  if (inet_pton(AF_INET6, s, &sin6.sin6_addr) != 1) return 0;
  sin6.sin6_family = AF_INET6;
  sin6.sin6_port = htons(static_cast<uint16_t>(port));
  sin6.sin6_scope_id = scope;
  memcpy(binary, &sin6.sin6_addr, 16);
  memcpy(sa, &sin6, sizeof sin6);
  *saSize = sizeof sin6;
  return 1;
}
}  // namespace

int NetTextToAddress(const wchar_t* text, int family, uint8_t* binary, uint8_t* sockaddr, size_t* sockaddrSize) {
  if (!text) return 0;
  if (family == IPADDR_FAMILY_V4) return ToV4(text, binary, sockaddr, sockaddrSize);
  if (family == IPADDR_FAMILY_V6) return ToV6(text, binary, sockaddr, sockaddrSize);
  return 0;
}

int NetProtocolInstalled(int family) {
  int fd = socket(family == IPADDR_FAMILY_V6 ? AF_INET6 : AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (fd >= 0) {
    close(fd);
    return 0;
  }
  if (errno == EAFNOSUPPORT || errno == EPROTONOSUPPORT) return 11;
  Logger::Instance()->Write(L"ERROR: protocol list: %ls", FromUtf8Static(strerror(errno)));
  return 1;
}

void LogResolverError(int rc) {
  Logger::Instance()->Write(L"ERROR: getaddrinfo: %ls", FromUtf8Static(gai_strerror(rc)));
}

bool FormatResolvedAddress(const SocketEndpoint& address, int, wchar_t* text, size_t textSize) {
  char addr[INET6_ADDRSTRLEN] = "";
  char formatted[IPADDR_TEXT_MAX] = "";
  bool ok = false;
  const auto* sa = reinterpret_cast<const sockaddr*>(address.bytes);
  if (sa->sa_family == AF_INET) {
    const auto* sin = reinterpret_cast<const sockaddr_in*>(address.bytes);
    ok = inet_ntop(AF_INET, &sin->sin_addr, addr, sizeof addr) != nullptr;
    if (ok) snprintf(formatted, sizeof formatted, "%s", addr);
  } else if (sa->sa_family == AF_INET6) {
    const auto* sin6 = reinterpret_cast<const sockaddr_in6*>(address.bytes);
    ok = inet_ntop(AF_INET6, &sin6->sin6_addr, addr, sizeof addr) != nullptr;
    // The zone is part of the text, as the Windows conversion writes it.
    if (ok && sin6->sin6_scope_id)
      snprintf(formatted, sizeof formatted, "%s%%%u", addr, sin6->sin6_scope_id);
    else if (ok)
      snprintf(formatted, sizeof formatted, "%s", addr);
  }
  if (!ok) {
    Logger::Instance()->Write(L"ERROR: address to text: %ls", FromUtf8Static(strerror(errno)));
    return false;
  }
  Utf8ToWide(formatted, strlen(formatted), text, textSize);
  return true;
}
