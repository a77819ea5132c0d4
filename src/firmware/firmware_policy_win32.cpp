#include <windows.h>

#include "firmware/firmware_policy.h"
#include "host/logger.h"
#include "host/registry.h"

namespace {
// The file's list is read through a buffer of this many characters; the
// policy's may be as long.
constexpr size_t kSignersChars = 1024;

void SayUnusable(const wchar_t* name, const wchar_t* why) {
  Logger::Instance()->Write(L"ERROR: the policy value HKLM\\%ls\\%ls %ls.", FIRMWARE_POLICY_KEY, name, why);
}

PolicyValueState ReadSigners(std::wstring* out) {
  wchar_t text[kSignersChars + 1] = {0};
  uint32_t bytes = kSignersChars * sizeof(wchar_t);
  uint32_t type = REG_NONE;
  const long result = ReadValueFromHKey(FIRMWARE_POLICY_KEY, FIRMWARE_POLICY_SIGNERS, text, &bytes, &type);
  if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) return POLICY_VALUE_ABSENT;
  if (result != ERROR_SUCCESS || type != REG_SZ) {
    SayUnusable(FIRMWARE_POLICY_SIGNERS, result == ERROR_MORE_DATA ? L"is too long"
                                         : result != ERROR_SUCCESS ? L"cannot be read"
                                                                   : L"is not a text (REG_SZ)");
    return POLICY_VALUE_UNUSABLE;
  }
  // A stored text need not be terminated.
  text[bytes / sizeof(wchar_t)] = 0;
  *out = text;
  return POLICY_VALUE_SET;
}

PolicyValueState ReadRequire(uint32_t* out) {
  DWORD value = 0;
  uint32_t bytes = sizeof value;
  uint32_t type = REG_NONE;
  const long result = ReadValueFromHKey(FIRMWARE_POLICY_KEY, FIRMWARE_POLICY_REQUIRE, &value, &bytes, &type);
  if (result == ERROR_FILE_NOT_FOUND || result == ERROR_PATH_NOT_FOUND) return POLICY_VALUE_ABSENT;
  if (result != ERROR_SUCCESS || type != REG_DWORD || bytes != sizeof value) {
    SayUnusable(FIRMWARE_POLICY_REQUIRE, L"is not a DWORD: signed firmware is required");
    return POLICY_VALUE_UNUSABLE;
  }
  *out = value;
  return POLICY_VALUE_SET;
}
}  // namespace

FirmwarePolicy ReadFirmwarePolicy() {
  FirmwarePolicy policy;
  policy.signersState = ReadSigners(&policy.signers);
  policy.requireState = ReadRequire(&policy.require);
  return policy;
}
