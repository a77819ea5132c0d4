#include "update/security_firmware.h"

#include <string>

#include "firmware/firmware_file.h"
#include "host/clock.h"
#include "host/logger.h"
#include "printer/port_address.h"
#include "transport/ntwk_download.h"

namespace {
constexpr int kVersionAttempts = 3;
constexpr uint32_t kVersionRetryMs = 1000;
}  // namespace

int CheckSecurityFirmwareOfPort(const wchar_t* portName, PingFunction ping) {
  Logger* log = Logger::Instance();
  wchar_t address[PORT_ADDRESS_MAX] = {0};
  // Without an address the ping would reach this computer and skip the gate.
  if (!ResolvePortAddress(portName, address) || !ping(address)) {
    log->Write(L"--- This IP address is not valid ---");
    return SECURITY_FW_UNREACHABLE;
  }

  uint32_t version = 0;
  CFWDownloadNtwk network(GetPortTcpNumber(portName));
  for (int attempt = 0; attempt < kVersionAttempts; ++attempt) {
    FirmwareFileInfo info;
    std::string components;
    version = network.GetFWVersion(&info, address, &components);
    log->Write(L"GetFWVersion = %d", static_cast<int>(version));
    if (version != 0) break;
    SleepMs(kVersionRetryMs);
  }
  log->Write(L"securilty firmware version start date= %d, firmware version=%d",
             static_cast<int>(SECURITY_FW_START_DATE), static_cast<int>(version));
  if (version == 0) {
    log->Write(L"Failed to get the Firmware Version");
    return SECURITY_FW_DIRECT;
  }
  return version > SECURITY_FW_START_DATE ? SECURITY_FW_GATE : SECURITY_FW_DIRECT;
}
