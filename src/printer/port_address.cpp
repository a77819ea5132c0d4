#include "printer/port_address.h"

#include <atomic>
#include <cstring>
#include <cwchar>

#include "host/logger.h"
#include "host/text_utils.h"
#include "net/ip_address.h"
#include "printer/port_source.h"
#include "printer/tcp_port_data.h"

namespace {
constexpr size_t kKeyPathMax = 256;
constexpr wchar_t kXcvPrefix[] = L",XcvPort ";
constexpr wchar_t kAddressValue[] = L"IPAddress";

std::atomic<PortSource*> g_sourceOverride{nullptr};

bool IsLetterOrDigit(wchar_t c) {
  return (c >= L'0' && c <= L'9') || (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z') ||
         static_cast<uint32_t>(c) >= 0x80;
}

// Room for the prefix and a port name of PORT_NAME_MAX - 1 characters.
constexpr size_t kXcvNameMax = PORT_NAME_MAX + sizeof kXcvPrefix / sizeof kXcvPrefix[0] - 1;

// The monitor key of the first listed port of exactly this name into `key`
// (kKeyPathMax). 0 when the list fails, the port is not listed or its key
// would not fit (logged).
int FindMonitorPortKey(const wchar_t* portName, wchar_t* key) {
  Logger* log = Logger::Instance();
  std::vector<PortEntry> ports;
  uint32_t error = 0;
  if (!CurrentPortSource().ListPorts(&ports, &error)) {
    log->Write(L"EnumPorts failed (gle=%d)", static_cast<int>(error));
    return 0;
  }
  for (const PortEntry& port : ports) {
    log->Write(L"ports %ls ?= %ls", port.portName.c_str(), portName);
    if (port.portName != portName) continue;

    wchar_t monitor[PORT_NAME_MAX];
    CopyText(monitor, PORT_NAME_MAX, port.monitorName.c_str());
    TrimMonitorName(monitor);
    if (BuildMonitorPortKey(key, kKeyPathMax, monitor, port.portName.c_str())) return 1;
    log->Write(L"ERROR: monitor key for port %ls is too long", portName);
    return 0;
  }
  return 0;
}

// A raw port's own number; the printer's own port for an LPR port; 0 when
// the protocol or the number tells nothing.
uint16_t TcpPortOf(uint32_t protocol, uint32_t number) {
  if (protocol == TCP_PROTOCOL_LPR) return PORT_PRINTER_RAW_TCP;
  if (protocol == TCP_PROTOCOL_RAW && number > 0 && number <= 0xFFFF) return static_cast<uint16_t>(number);
  return 0;
}

// A four-byte value of the monitor key: false when missing or of another size.
bool ReadKeyDword(const wchar_t* key, const wchar_t* name, uint32_t* value) {
  uint32_t read = 0;
  uint32_t bytes = sizeof read;
  if (CurrentPortSource().ReadMachineValue(key, name, &read, &bytes) != 0 || bytes != sizeof read) return false;
  *value = read;
  return true;
}
}  // namespace

PortSource& CurrentPortSource() {
  PortSource* s = g_sourceOverride.load(std::memory_order_acquire);
  return s ? *s : SystemPortSource();
}

PortSource* SetPortSourceForTesting(PortSource* source) {
  return g_sourceOverride.exchange(source, std::memory_order_acq_rel);
}

void TrimMonitorName(wchar_t* name) {
  if (!name) return;
  size_t len = wcslen(name);
  while (len > 1 && !IsLetterOrDigit(name[len - 1])) name[--len] = 0;
}

int BuildMonitorPortKey(wchar_t* out, size_t outSize, const wchar_t* monitor, const wchar_t* port) {
  if (!out || outSize == 0) return 0;
  const wchar_t* format = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\%ls\\Ports\\%ls";
  FormatText(out, outSize, format, monitor ? monitor : L"", port ? port : L"");
  // Both parts are in the key whole, or there is no key.
  size_t expected = wcslen(L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\\\Ports\\") +
                    (monitor ? wcslen(monitor) : 0) + (port ? wcslen(port) : 0);
  if (wcslen(out) != expected) {
    out[0] = 0;
    return 0;
  }
  return 1;
}

int GetIPViaXcv(const wchar_t* portName, wchar_t* out, uint32_t outBytes) {
  if (!out || outBytes < 2 * sizeof(wchar_t)) return 0;
  const size_t outChars = outBytes / sizeof(wchar_t);
  memset(out, 0, outChars * sizeof(wchar_t));
  if (!portName) return 0;

  wchar_t xcvName[kXcvNameMax];
  FormatText(xcvName, kXcvNameMax, L"%ls%ls", kXcvPrefix, portName);

  uint32_t error = 0;
  // The monitor need not terminate its answer: the last character stays 0.
  int step =
      CurrentPortSource().XcvIPAddress(xcvName, out, static_cast<uint32_t>((outChars - 1) * sizeof(wchar_t)), &error);
  out[outChars - 1] = 0;
  if (step == PORT_XCV_OPEN_FAILED) {
    out[0] = 0;
    Logger::Instance()->Write(L"OpenPrinter() failed (gle=%d)", static_cast<int>(error));
    return 0;
  }
  if (step != PORT_XCV_OK) {
    out[0] = 0;
    Logger::Instance()->Write(L"XcvData failed (gle=%d)", static_cast<int>(error));
    return 0;
  }
  Logger::Instance()->Write(L"IPbuf: %ls", out);
  return 1;
}

int GetIPAddressFromPort(const wchar_t* portName, wchar_t* out) {
  if (!portName || !out) return 0;
  Logger* log = Logger::Instance();
  log->Write(L"GetIPAddressFromPort(%ls)", portName);

  wchar_t answer[PORT_XCV_BUFFER_BYTES / sizeof(wchar_t)];
  if (GetIPViaXcv(portName, answer, PORT_XCV_BUFFER_BYTES) && answer[0] && ValidIPAddress(answer)) {
    CopyText(out, PORT_ADDRESS_MAX, answer);
    return 1;
  }

  wchar_t key[kKeyPathMax];
  if (!FindMonitorPortKey(portName, key)) return 0;
  log->Write(L"GetStringFromHKLM %ls %ls", key, kAddressValue);
  wchar_t value[PORT_ADDRESS_MAX] = {};
  uint32_t bytes = static_cast<uint32_t>(sizeof value);
  if (CurrentPortSource().ReadMachineValue(key, kAddressValue, value, &bytes) != 0) return 0;
  // A stored text need not be terminated; one that fills the whole buffer
  // without a terminator is too long, and a cut address would be wrong.
  size_t chars = bytes / sizeof(wchar_t);
  if (chars >= PORT_ADDRESS_MAX) {
    if (value[PORT_ADDRESS_MAX - 1] != 0) {
      log->Write(L"ERROR: IPAddress of port %ls is too long", portName);
      return 0;
    }
    chars = PORT_ADDRESS_MAX - 1;
  }
  value[chars] = 0;
  CopyText(out, PORT_ADDRESS_MAX, value);
  return 1;
}

uint16_t GetPortTcpNumber(const wchar_t* portName) {
  if (!portName) return PORT_PRINTER_RAW_TCP;
  Logger* log = Logger::Instance();
  wchar_t xcvName[kXcvNameMax];
  FormatText(xcvName, kXcvNameMax, L"%ls%ls", kXcvPrefix, portName);
  TcpPortData1 config;
  memset(&config, 0, sizeof config);
  uint32_t error = 0;
  uint16_t port = 0;
  const wchar_t* from = L"the monitor";
  if (CurrentPortSource().XcvConfigInfo(xcvName, &config, static_cast<uint32_t>(sizeof config), &error) ==
      PORT_XCV_OK) {
    log->Write(L"GetConfigInfo %ls: protocol %d, port %d", portName, static_cast<int>(config.protocol),
               static_cast<int>(config.portNumber));
    port = TcpPortOf(config.protocol, config.portNumber);
  }
  wchar_t key[kKeyPathMax];
  uint32_t protocol = 0;
  uint32_t number = 0;
  if (port == 0 && FindMonitorPortKey(portName, key) && ReadKeyDword(key, L"Protocol", &protocol)) {
    from = L"the monitor key";
    ReadKeyDword(key, L"PortNumber", &number);
    port = TcpPortOf(protocol, number);
  }
  if (port == 0) {
    from = L"the printer's own";
    port = PORT_PRINTER_RAW_TCP;
  }
  log->Write(L"Port %ls: the printer takes jobs at TCP port %d (%ls)", portName, static_cast<int>(port), from);
  return port;
}

int ResolvePortAddress(const wchar_t* portName, wchar_t* out) {
  wchar_t host[PORT_ADDRESS_MAX] = {};
  out[0] = 0;
  if (!GetIPAddressFromPort(portName, host) || host[0] == 0) return 0;
  if (ResolveHostname(host, out) && out[0] != 0) return 1;
  out[0] = 0;
  return 0;
}
