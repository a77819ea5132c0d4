#pragma once
// The RFU gate's person in a fleet run, answered from the run's options:
// consent as given, no community prompt (a refused community is a failure),
// no box. SNMP and the registry go to the system's platform.

#include <cstdint>
#include <string>

#include "update/fleet_options.h"
#include "update/rfu_sequencer.h"

class UnattendedRfuPlatform : public RfuPlatform {
 public:
  UnattendedRfuPlatform(RfuPlatform& system, RfuConsent consent) : m_system(system), m_consent(consent) {}

  int QueryRfuStatus(const wchar_t* portName, const wchar_t* community) override;
  int WriteRfuStatus(const wchar_t* portName, const wchar_t* community, int value,
                     const RfuWriteBounds* bounds) override;
  int AskCommunity(const wchar_t*, std::wstring&) override;
  int AskRemoteUpgrade() override;
  void ShowUnableToCommunicate() override;
  long SaveValue(const wchar_t* keyPath, const wchar_t* valueName, const void* data, uint32_t size,
                 uint32_t type) override;
  long SaveInstallCrashed(const wchar_t* keyPath) override;
  long DeleteValue(const wchar_t* keyPath, const wchar_t* valueName) override;

  bool AskedConsent() const { return m_askedConsent; }
  bool Unreachable() const { return m_unreachable; }

 private:
  RfuPlatform& m_system;
  RfuConsent m_consent;
  bool m_askedConsent = false;
  bool m_unreachable = false;
};
