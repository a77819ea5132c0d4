// Address texts come from spooler ports, the registry and the resolver: the
// text rules, the address object and the monitor-name/key helpers must stay in
// their buffers whatever the text.
#include <cstddef>
#include <cstdint>
#include <cwchar>

#include "host/text_utils.h"
#include "net/ip_address.h"
#include "printer/port_address.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  wchar_t text[600];
  Utf8ToWide(reinterpret_cast<const char*>(data), size, text, 600);
  int v4 = IsIPv4Text(text);
  int v6 = IsIPv6Text(text);
  IPAddress address(text);
  if (address.IsValid() && !(v4 || v6)) __builtin_trap();
  if (v4 && address.IsValid() && address.Family() != IPADDR_FAMILY_V4) __builtin_trap();
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
