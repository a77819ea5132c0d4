#pragma once
// Firmware trust set by Group Policy: values under
// HKEY_LOCAL_MACHINE\SOFTWARE\Policies\QV\Tideway, where only administrators
// write. A FirmwareSigners value there is the trust list (FIRMWARE_SIGNERS of
// properties.ini is then ignored); RequireSignedFirmware makes a run without a
// usable list anywhere a configuration error, so that neither a deleted nor a
// misspelled key in the file turns signatures off.

#include <cstdint>
#include <string>

#include "firmware/firmware_signers.h"

class CProperties;

constexpr const wchar_t* FIRMWARE_POLICY_KEY = L"SOFTWARE\\Policies\\QV\\Tideway";
constexpr const wchar_t* FIRMWARE_POLICY_SIGNERS = L"FirmwareSigners";        // REG_SZ
constexpr const wchar_t* FIRMWARE_POLICY_REQUIRE = L"RequireSignedFirmware";  // REG_DWORD

enum PolicyValueState {
  POLICY_VALUE_ABSENT,
  POLICY_VALUE_SET,
  POLICY_VALUE_UNUSABLE,  // of another type, or too long to read whole
};

// What the policy key holds.
struct FirmwarePolicy {
  PolicyValueState signersState = POLICY_VALUE_ABSENT;
  std::wstring signers;  // the thumbprint list, as FIRMWARE_SIGNERS takes it
  PolicyValueState requireState = POLICY_VALUE_ABSENT;
  uint32_t require = 0;
};

// The policy of this computer (firmware_policy_win32.cpp); logs an unusable value.
FirmwarePolicy ReadFirmwarePolicy();

enum FirmwareTrustResult {
  TRUST_NOT_ASKED,  // no list, and the policy does not require one
  TRUST_SIGNERS,
  TRUST_BAD_LIST,          // the list in force is not one of thumbprints (`bad`)
  TRUST_REQUIRED_NO_LIST,  // RequireSignedFirmware, and no list anywhere
};

struct FirmwareTrust {
  FirmwareTrustResult result = TRUST_NOT_ASKED;
  SignerList signers;
  std::wstring bad;             // the offending entry; empty for "no thumbprint"
  bool fromPolicy = false;      // the list in force is the policy's
  bool fileKeyIgnored = false;  // properties.ini names FIRMWARE_SIGNERS, the policy's list rules
  bool unusableValue = false;   // the policy's FirmwareSigners is not a readable text
};

// The trust of the run from the policy and properties.ini. Any
// RequireSignedFirmware other than the DWORD 0 requires signatures: a value
// that cannot be read must not relax the rule.
FirmwareTrust DecideFirmwareTrust(const FirmwarePolicy& policy, const CProperties& properties);
