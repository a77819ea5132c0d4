#pragma once
// The firmware-date check that decides, before a network update starts,
// whether the printer's remote-update setting must be settled first.

#include <cstdint>

constexpr uint32_t SECURITY_FW_START_DATE = 20111210;

// Results of CheckSecurityFirmwareOfPort.
constexpr int SECURITY_FW_DIRECT = 0;       // update directly
constexpr int SECURITY_FW_GATE = 1;         // the RFU gate must be passed first
constexpr int SECURITY_FW_UNREACHABLE = 2;  // no address, or no answer to a ping

// Whether the host answers an ICMP echo (Ping in the program).
using PingFunction = int (*)(const wchar_t* host);

// SECURITY_FW_DIRECT (also when the version cannot be read), SECURITY_FW_GATE
// for firmware newer than SECURITY_FW_START_DATE, or SECURITY_FW_UNREACHABLE
// when the port has no address or the printer does not answer (logged; the
// caller reports it).
int CheckSecurityFirmwareOfPort(const wchar_t* portName, PingFunction ping);
