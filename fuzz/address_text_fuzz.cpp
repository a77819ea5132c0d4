// Address texts come from spooler ports, the registry and the resolver: the
// text rules, the address object and the monitor-name/key helpers must stay in
// their buffers whatever the text.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <cwchar>

#include "host/text_utils.h"
#include "net/ip_address.h"
#include "printer/port_address.h"
#include "transport/tcp_channel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wchar_t text[600];
  Utf8ToWide(reinterpret_cast<const char*>(data), size, text, 600);
  int v4 = IsIPv4Text(text);
  int v6 = IsIPv6Text(text);
  // No text reads as both families: an IPv4 text has one colon at most,
  // before its port, and IPv6 groups cannot hold a dotted part that is not last.
  if (v4 && v6) __builtin_trap();
  IPAddress address(text);
  if (address.IsValid() && !(v4 || v6)) __builtin_trap();
  if (address.IsValid() && address.Family() != (v4 ? IPADDR_FAMILY_V4 : IPADDR_FAMILY_V6)) __builtin_trap();
  // The other way: the conversion takes every IPv4 text the rule passes (the
  // IPv6 rule is only a pre-filter), as long as the address keeps it whole.
  const size_t length = wcslen(text);
  if (v4 && length < IPADDR_TEXT_MAX && !address.IsValid()) __builtin_trap();
  // The printer connection's parser is the same rule without a port.
  char narrow[600];
  if (ToUtf8(text, narrow, sizeof narrow) != TEXT_ERROR_BAD_LENGTH && strlen(narrow) == length) {
    uint8_t bytes[4];
    const bool dotted = ParseDottedIPv4(narrow, bytes) == 1;
    if (dotted != (v4 && !wcschr(text, L':'))) __builtin_trap();
    if (dotted && address.IsValid() && memcmp(bytes, address.Binary(), 4) != 0) __builtin_trap();
  }
  size_t sockaddrSize = 0;
  address.SocketAddress(&sockaddrSize);
  IPAddress copy = address;
  (void)copy;

  wchar_t monitor[PORT_NAME_MAX];
  CopyText(monitor, PORT_NAME_MAX, text);
  TrimMonitorName(monitor);
  wchar_t key[256];
  BuildMonitorPortKey(key, 256, monitor, text);
  return 0;
}
