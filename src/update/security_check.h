#pragma once
// Whether a network printer's firmware is new enough to be guarded by its RFU
// setting (firmware dated after SECURITY_FW_START_DATE).

#include <cstdint>

constexpr uint32_t SECURITY_FW_START_DATE = 20111210;

// Results of CheckSecurityFirmware.
constexpr int SECURITY_FW_DIRECT = 0;       // update directly
constexpr int SECURITY_FW_GATE = 1;         // the RFU gate must be passed first
constexpr int SECURITY_FW_UNREACHABLE = 2;  // the printer does not answer a ping

// Pings the printer behind `portName` and asks it for its firmware version
// (3 attempts, 1000 ms apart). `version` (may be null) gets what the printer
// reported, 0 when it did not. A version that cannot be read means "direct":
// the update itself then finds out.
int CheckSecurityFirmware(const wchar_t* portName, uint32_t* version);
