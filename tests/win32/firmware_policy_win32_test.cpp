// The policy key as Wine's registry holds it: each value present, absent or of
// another type, and the key itself absent. What the values mean is tested
// natively (DecideFirmwareTrust).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "firmware/firmware_policy.h"
#include "support/log_capture.h"

namespace {
struct Value {
  DWORD type;         // REG_NONE: the value is not written
  std::wstring text;  // REG_SZ, REG_MULTI_SZ
  DWORD number;       // REG_DWORD
};

Value Text(DWORD type, const std::wstring& text) {
  return Value{type, text, 0};
}
Value Number(DWORD number) {
  return Value{REG_DWORD, std::wstring(), number};
}

void Write(HKEY key, const wchar_t* name, const Value& value) {
  if (value.type == REG_NONE) return;
  if (value.type == REG_DWORD) {
    ASSERT_EQ(RegSetValueExW(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value.number), sizeof(DWORD)),
              ERROR_SUCCESS);
    return;
  }
  const DWORD bytes = static_cast<DWORD>((value.text.size() + 1) * sizeof(wchar_t));
  ASSERT_EQ(RegSetValueExW(key, name, 0, value.type, reinterpret_cast<const BYTE*>(value.text.c_str()), bytes),
            ERROR_SUCCESS);
}
}  // namespace

TEST(FirmwarePolicyWin32, ValuesAsTheRegistryHoldsThem) {
  const std::wstring list = std::wstring(64, L'A') + L", " + std::wstring(64, L'b');
  const Value none = Text(REG_NONE, L"");
  struct Case {
    const char* name;
    bool key;
    Value signers, require;
    PolicyValueState signersState;
    std::wstring text;
    PolicyValueState requireState;
    uint32_t required;
  } cases[] = {
      {"no key", false, none, none, POLICY_VALUE_ABSENT, L"", POLICY_VALUE_ABSENT, 0},
      {"the key without values", true, none, none, POLICY_VALUE_ABSENT, L"", POLICY_VALUE_ABSENT, 0},
      {"both set", true, Text(REG_SZ, list), Number(1), POLICY_VALUE_SET, list, POLICY_VALUE_SET, 1},
      {"required off", true, none, Number(0), POLICY_VALUE_ABSENT, L"", POLICY_VALUE_SET, 0},
      {"the list as a DWORD", true, Number(1), none, POLICY_VALUE_UNUSABLE, L"", POLICY_VALUE_ABSENT, 0},
      {"the list as REG_MULTI_SZ", true, Text(REG_MULTI_SZ, list + L'\0'), none, POLICY_VALUE_UNUSABLE, L"",
       POLICY_VALUE_ABSENT, 0},
      {"the list longer than any list", true, Text(REG_SZ, std::wstring(1100, L'a')), none, POLICY_VALUE_UNUSABLE, L"",
       POLICY_VALUE_ABSENT, 0},
      {"required as a text", true, none, Text(REG_SZ, L"1"), POLICY_VALUE_ABSENT, L"", POLICY_VALUE_UNUSABLE, 0},
  };
  const std::wstring path = FIRMWARE_POLICY_KEY;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
    if (c.key) {
      HKEY key = nullptr;
      ASSERT_EQ(
          RegCreateKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
          ERROR_SUCCESS);
      Write(key, FIRMWARE_POLICY_SIGNERS, c.signers);
      Write(key, FIRMWARE_POLICY_REQUIRE, c.require);
      RegCloseKey(key);
    }
    LogCapture log;
    const FirmwarePolicy policy = ReadFirmwarePolicy();
    EXPECT_EQ(policy.signersState, c.signersState);
    EXPECT_EQ(policy.signers, c.text);
    EXPECT_EQ(policy.requireState, c.requireState);
    EXPECT_EQ(policy.require, c.required);
    // Only an unusable value is worth a line: most computers have no policy.
    EXPECT_EQ(log.Lines().size(), static_cast<size_t>((c.signersState == POLICY_VALUE_UNUSABLE) +
                                                      (c.requireState == POLICY_VALUE_UNUSABLE)));
  }
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str());
}
