// The RFU operations by spooler port: the port's address is found first.
#include "printer/rfu_status.h"

#include "host/logger.h"
#include "net/ip_address.h"
#include "printer/port_address.h"

namespace {

// The printer's numeric address. 0, or RFU_SNMP_NO_ADDRESS (logged).
int FindPrinterAddress(const wchar_t* portName, wchar_t* address) {
  address[0] = L'\0';
  if (!ResolvePortAddress(portName, address)) {
    Logger::Instance()->Write(L"--- IP address get failed ---");
    return RFU_SNMP_NO_ADDRESS;
  }
  return 0;
}

}  // namespace

int QueryRfuStatus(const wchar_t* portName, const wchar_t* community) {
  Logger::Instance()->Write(L"QueryRfuStatus(%ls)", portName ? portName : L"");
  wchar_t address[RFU_ADDRESS_TEXT_MAX];
  int r = FindPrinterAddress(portName, address);
  if (r != 0) return r;
  r = QueryRfuStatusAtAddress(address, community);
  Logger::Instance()->Write(L"QueryRfuStatus(%ls) = %d", portName ? portName : L"", r);
  return r;
}

int WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value, const RfuWriteBounds* bounds) {
  Logger::Instance()->Write(L"WriteRfuStatus(%ls, %d)", portName ? portName : L"", value);
  wchar_t address[RFU_ADDRESS_TEXT_MAX];
  int r = FindPrinterAddress(portName, address);
  if (r != 0) return r;
  r = WriteRfuStatusAtAddress(address, community, value, bounds);
  Logger::Instance()->Write(L"WriteRfuStatus(%ls, %d) = %d", portName ? portName : L"", value, r);
  return r;
}
