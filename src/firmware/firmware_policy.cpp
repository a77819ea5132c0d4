#include "firmware/firmware_policy.h"

#include "host/properties.h"

namespace {
// The list split as CProperties::GetPropertyList splits a value.
std::vector<std::wstring> SplitList(const std::wstring& text) {
  std::vector<std::wstring> entries;
  size_t start = 0;
  for (;;) {
    const size_t comma = text.find(L',', start);
    std::wstring piece = text.substr(start, comma == std::wstring::npos ? std::wstring::npos : comma - start);
    const size_t first = piece.find_first_not_of(L" \t\r\n");
    const size_t last = piece.find_last_not_of(L" \t\r\n");
    entries.push_back(first == std::wstring::npos ? L"" : piece.substr(first, last - first + 1));
    if (comma == std::wstring::npos) break;
    start = comma + 1;
  }
  return entries;
}
}  // namespace

FirmwareTrust DecideFirmwareTrust(const FirmwarePolicy& policy, const CProperties& properties) {
  FirmwareTrust trust;
  const bool required =
      policy.requireState == POLICY_VALUE_UNUSABLE || (policy.requireState == POLICY_VALUE_SET && policy.require != 0);
  SignerListResult list;
  if (policy.signersState != POLICY_VALUE_ABSENT) {
    trust.fromPolicy = true;
    trust.fileKeyIgnored = properties.Named(FIRMWARE_SIGNERS_KEY) != 0;
    trust.unusableValue = policy.signersState == POLICY_VALUE_UNUSABLE;
    list =
        trust.unusableValue ? SIGNERS_INVALID : ParseSignerList(SplitList(policy.signers), &trust.signers, &trust.bad);
  } else {
    list = ReadFirmwareSigners(properties, &trust.signers, &trust.bad);
  }
  if (list == SIGNERS_INVALID) {
    trust.signers.clear();
    trust.result = TRUST_BAD_LIST;
  } else if (list == SIGNERS_SET) {
    trust.result = TRUST_SIGNERS;
  } else {
    trust.result = required ? TRUST_REQUIRED_NO_LIST : TRUST_NOT_ASKED;
  }
  return trust;
}
