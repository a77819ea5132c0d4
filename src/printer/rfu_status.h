#pragma once
// The RFU setting of the printer on a spooler port: the port's address is
// found first, then the SNMP operations of net/snmp_rfu.h run on it.

#include "net/snmp_rfu.h"

// Reads the RFU value of the printer on `portName` with the Get community:
// 1..3, or 0 / a negative RFU_SNMP_* result.
int QueryRfuStatus(const wchar_t* portName, const wchar_t* community);
// Switches the RFU setting with the Set community: 0 on success, else a
// negative result. `bounds`: see WriteRfuStatusAtAddress.
int WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value,
                   const RfuWriteBounds* bounds = nullptr);
