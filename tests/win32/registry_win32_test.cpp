// Registry helpers against Wine's registry, in a key of the test's own.
#include <windows.h>

#include <gtest/gtest.h>

#include <cwchar>
#include <string>
#include <vector>

#include "host/registry.h"
#include "host/text_utils.h"
#include "support/log_capture.h"

namespace {

class RegistryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t name[96];
    FormatText(name, 96, L"Software\\TidewayTests\\run-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    root_ = name;
  }
  void TearDown() override { RegDeleteTreeW(HKEY_LOCAL_MACHINE, root_.c_str()); }
  static bool KeyExists(const std::wstring& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
  }
  std::wstring root_;
};

TEST_F(RegistryTest, CreateKeyBuildsEveryMissingLevel) {
  std::wstring deep = root_ + L"\\one\\two\\three";
  ASSERT_FALSE(KeyExists(root_));
  HKEY key = CreateKey(deep.c_str());
  ASSERT_NE(nullptr, key);
  // The key comes back with full access: it can be written at once.
  DWORD value = 7;
  EXPECT_EQ(ERROR_SUCCESS, RegSetValueExW(key, L"v", 0, REG_DWORD, reinterpret_cast<BYTE*>(&value), sizeof value));
  CloseKey(key);
  EXPECT_TRUE(KeyExists(root_));
  EXPECT_TRUE(KeyExists(root_ + L"\\one"));
  EXPECT_TRUE(KeyExists(root_ + L"\\one\\two"));
  EXPECT_TRUE(KeyExists(deep));
  // Opening an existing key is creating it again.
  key = CreateKey(deep.c_str());
  EXPECT_NE(nullptr, key);
  CloseKey(key);
}

TEST_F(RegistryTest, ValuesRoundTrip) {
  LogCapture log;
  std::wstring key = root_ + L"\\Sequencer";
  std::vector<unsigned char> stack(1028);
  for (size_t i = 0; i < stack.size(); ++i) stack[i] = static_cast<unsigned char>(i * 7);
  EXPECT_EQ(0, SaveValueToHKey(key.c_str(), L"SeqStack", stack.data(), static_cast<uint32_t>(stack.size()),
                               REG_BINARY));
  std::vector<unsigned char> back(2048);
  uint32_t size = static_cast<uint32_t>(back.size());
  EXPECT_EQ(0, GetValueFromHKey(key.c_str(), L"SeqStack", back.data(), &size));
  ASSERT_EQ(1028u, size);
  back.resize(size);
  EXPECT_EQ(stack, back);

  // A buffer too small: the system's answer (more data) and the needed size.
  unsigned char small[16];
  size = sizeof small;
  EXPECT_EQ(ERROR_MORE_DATA, GetValueFromHKey(key.c_str(), L"SeqStack", small, &size));
  EXPECT_EQ(1028u, size);

  EXPECT_EQ(0, SaveDwordToHKLM(key.c_str()));
  DWORD crashed = 0;
  size = sizeof crashed;
  EXPECT_EQ(0, GetValueFromHKey(key.c_str(), L"InstallCrashed", &crashed, &size));
  EXPECT_EQ(1u, crashed);
  DWORD type = 0;
  RegGetValueW(HKEY_LOCAL_MACHINE, key.c_str(), L"InstallCrashed", RRF_RT_ANY, &type, nullptr, nullptr);
  EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);

  EXPECT_EQ(0, DeleteValueFromHKey(key.c_str(), L"InstallCrashed"));
  size = sizeof crashed;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetValueFromHKey(key.c_str(), L"InstallCrashed", &crashed, &size));
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteValueFromHKey(key.c_str(), L"InstallCrashed"));

  EXPECT_EQ((std::vector<std::wstring>{
                L"SaveValueToHKey " + key + L" SeqStack",
                L"GetValueFromHKey " + key + L" SeqStack",
                L"GetValueFromHKey " + key + L" SeqStack",
                L"SaveDwordToHKLM " + key + L" InstallCrashed 1",
                L"SaveValueToHKey " + key + L" InstallCrashed",
                L"GetValueFromHKey " + key + L" InstallCrashed",
                L"DeleteValueFromHKey " + key + L" InstallCrashed",
                L"GetValueFromHKey " + key + L" InstallCrashed",
                L"DeleteValueFromHKey " + key + L" InstallCrashed",
            }),
            log.Lines());
}

TEST_F(RegistryTest, MissingKeys) {
  LogCapture log;
  std::wstring missing = root_ + L"\\absent";
  // Deleting from a key that does not exist: 2, and no error line.
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, DeleteValueFromHKey(missing.c_str(), L"SeqStack"));
  EXPECT_EQ(std::vector<std::wstring>{L"DeleteValueFromHKey " + missing + L" SeqStack"}, log.Lines());

  log.Clear();
  DWORD value = 0;
  uint32_t size = sizeof value;
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetValueFromHKey(missing.c_str(), L"SeqStack", &value, &size));
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(L"GetValueFromHKey " + missing + L" SeqStack", lines[0]);
  EXPECT_EQ(0u, lines[1].find(L"===>>> ERROR (gle=2, 0x2):  Msg: ")) << lines[1];
  EXPECT_TRUE(log.ContainsPart(L"Context: GetValueFromHKLM->RegOpenKeyEx failed"));
  EXPECT_FALSE(KeyExists(missing));
}

TEST_F(RegistryTest, KeyThatCannotBeCreated) {
  // A path that starts with a backslash names no key below the hive.
  LogCapture log;
  std::wstring bad = L"\\" + root_;
  EXPECT_EQ(nullptr, CreateKey(bad.c_str()));
  DWORD one = 1;
  EXPECT_EQ(1011, SaveValueToHKey(bad.c_str(), L"SeqStack", &one, sizeof one, REG_DWORD));
  EXPECT_TRUE(log.ContainsPart(L"Context: CreateKey->RegCreateKeyEx failed"));
  EXPECT_TRUE(log.ContainsPart(L"===>>> ERROR (gle=1011, 0x3f3):  Msg: "));
  EXPECT_TRUE(log.ContainsPart(L"Context: SaveValueToHKLM->RegCreateKeyEx failed"));
}

TEST_F(RegistryTest, TextValues) {
  std::wstring key = root_ + L"\\Ports";
  const wchar_t address[] = L"127.0.0.2";
  ASSERT_EQ(0, SaveValueToHKey(key.c_str(), L"IPAddress", address, sizeof address, REG_SZ));
  LogCapture log;
  wchar_t out[64];
  EXPECT_EQ(0, GetStringFromHKLM(key.c_str(), L"IPAddress", out, 64));
  EXPECT_EQ(std::wstring(address), out);
  EXPECT_TRUE(log.Contains(L"GetStringFromHKLM " + key + L" IPAddress"));
  // A stored text without its terminator still comes back terminated.
  ASSERT_EQ(0, SaveValueToHKey(key.c_str(), L"Bare", L"abcdef", 6 * sizeof(wchar_t), REG_SZ));
  wmemset(out, L'#', 64);
  EXPECT_EQ(0, GetStringFromHKLM(key.c_str(), L"Bare", out, 64));
  EXPECT_EQ(std::wstring(L"abcdef"), out);
  // Too small a buffer: the system's answer and an empty text.
  wchar_t tiny[4];
  EXPECT_EQ(ERROR_MORE_DATA, GetStringFromHKLM(key.c_str(), L"IPAddress", tiny, 4));
  EXPECT_EQ(std::wstring(), tiny);
  EXPECT_EQ(ERROR_FILE_NOT_FOUND, GetStringFromHKLM(key.c_str(), L"Missing", out, 64));
  EXPECT_EQ(std::wstring(), out);
}

}  // namespace
