#include "update/unattended_rfu.h"

#include "host/logger.h"

int UnattendedRfuPlatform::QueryRfuStatus(const wchar_t* portName, const wchar_t* community) {
  return m_system.QueryRfuStatus(portName, community);
}

int UnattendedRfuPlatform::WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value,
                                          const RfuWriteBounds* bounds) {
  return m_system.WriteRfuStatus(portName, community, value, bounds);
}

int UnattendedRfuPlatform::AskCommunity(const wchar_t*, std::wstring&) {
  Logger::Instance()->Write(L"The printer refused the SNMP community; an unattended run does not ask for another");
  return 0;
}

int UnattendedRfuPlatform::AskRemoteUpgrade() {
  m_askedConsent = true;
  Logger::Instance()->Write(L"RFU switch-on %ls by the command line",
                            m_consent != RfuConsent::None ? L"allowed" : L"not allowed");
  return m_consent != RfuConsent::None ? 1 : 0;
}

void UnattendedRfuPlatform::ShowUnableToCommunicate() {
  Logger::Instance()->Write(L"Unable to Communicate.");
  m_unreachable = true;
}

long UnattendedRfuPlatform::SaveValue(const wchar_t* keyPath, const wchar_t* valueName, const void* data,
                                      uint32_t size, uint32_t type) {
  return m_system.SaveValue(keyPath, valueName, data, size, type);
}

long UnattendedRfuPlatform::SaveInstallCrashed(const wchar_t* keyPath) {
  return m_system.SaveInstallCrashed(keyPath);
}

long UnattendedRfuPlatform::DeleteValue(const wchar_t* keyPath, const wchar_t* valueName) {
  return m_system.DeleteValue(keyPath, valueName);
}
