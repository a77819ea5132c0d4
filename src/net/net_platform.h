#pragma once
// Platform calls behind ip_address.cpp (net_platform_win32.cpp with Winsock,
// net_platform_posix.cpp with the BSD socket API; the resolver's shared part in
// socket_layer.cpp). Not for other callers.

#include <cstddef>
#include <cstdint>

#include "net/socket_layer.h"

// Converts a text that passed IsIPv4Text (family 0) or IsIPv6Text (family 1)
// with the system's string-to-address conversion. On success fills `binary`
// (4 or 16 bytes) and the socket address (`sockaddr`, IPADDR_SOCKADDR_MAX bytes;
// *sockaddrSize = 16 or 28) and returns 1.
int NetTextToAddress(const wchar_t* text, int family, uint8_t* binary, uint8_t* sockaddr, size_t* sockaddrSize);

// Whether a protocol of the family (0 IPv4, 1 IPv6) is installed: 0 yes, 11 no,
// 1 when the protocol list could not be read (the system's text is logged).
int NetProtocolInstalled(int family);

// The local computer's name as UTF-8; 1 on success.
int NetLocalHostName(char* out, size_t outSize);

constexpr int NET_RESOLVE_OK = 0;
constexpr int NET_RESOLVE_FAILED = 1;         // resolver error (logged)
constexpr int NET_RESOLVE_NO_ADDRESS = 2;     // result list without an address
constexpr int NET_RESOLVE_FORMAT_FAILED = 3;  // address not formatted (logged); `text` empty

// Asks the resolver for `host` (UTF-8) in one family (stream sockets, TCP) and
// formats the first result's address as text.
int NetResolveFirst(const char* host, int family, wchar_t* text, size_t textSize);

// The platform's part of NetResolveFirst: logs a resolver error; formats a
// result's address as the system writes it (an IPv6 zone included), logging
// a failure.
void LogResolverError(int rc);
bool FormatResolvedAddress(const SocketEndpoint& address, int family, wchar_t* text, size_t textSize);
