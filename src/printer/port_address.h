#pragma once
// The IP address behind a spooler port, and the TCP port its printer takes
// jobs on: asked of the port monitor first, then read from the monitor's
// registry key.

#include <cstddef>
#include <cstdint>

constexpr size_t PORT_NAME_MAX = 256;
constexpr size_t PORT_ADDRESS_MAX = 256;  // characters of the address text
constexpr uint32_t PORT_XCV_BUFFER_BYTES = 256;
// The printer's own raw printing port.
constexpr uint16_t PORT_PRINTER_RAW_TCP = 9100;

// 1 and the address text (PORT_ADDRESS_MAX characters, always terminated) in
// `out` when an address was found, 0 otherwise.
int GetIPAddressFromPort(const wchar_t* portName, wchar_t* out);

// The numeric address of the printer behind a network port: 1 and the text
// (PORT_ADDRESS_MAX characters), or 0 with `out` empty when the port has no
// address or it does not resolve. An empty text is never resolved: the
// resolver would answer with this computer.
int ResolvePortAddress(const wchar_t* portName, wchar_t* out);

// The TCP port a network port's printer is reached on. A print server's raw
// port passes jobs to its own printer at its own number, so a raw port gives
// that number; an LPR port's printer, and a port that tells nothing, is
// reached at its own PORT_PRINTER_RAW_TCP. Asked of the monitor
// ("GetConfigInfo") first, then read from the monitor's key ("Protocol",
// "PortNumber": 1 raw, 2 LPR).
uint16_t GetPortTcpNumber(const wchar_t* portName);

// Asks the port's monitor for "IPAddress" through its transceiver interface.
// `out` receives a terminated wide text within `outBytes` bytes. 1 on success.
int GetIPViaXcv(const wchar_t* portName, wchar_t* out, uint32_t outBytes);

// Portable pieces (port_address.cpp).

// Cuts trailing characters that are neither letters nor digits, stopping at the
// first letter or digit from the end; the first character is never cut.
// Letters are A-Z, a-z and every character beyond ASCII.
void TrimMonitorName(wchar_t* name);
// "SYSTEM\CurrentControlSet\Control\Print\Monitors\<monitor>\Ports\<port>"
// into `out` (`outSize` characters). 0 (and `out` empty) when it does not fit:
// a cut key could name another port's key.
int BuildMonitorPortKey(wchar_t* out, size_t outSize, const wchar_t* monitor, const wchar_t* port);
