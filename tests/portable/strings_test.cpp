#include "host/strings.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <string>

#include "host/os_version.h"
#include "host/program_dir.h"
#include "host/ui_language.h"
#include "support/log_capture.h"

namespace {

// First in this file on purpose: the library is looked for once per process.
// Without a strings.dll beside the test program (natively there never is one)
// the lookup logs the path and the failure and the program's own table serves.
TEST(Strings, FirstLookupTriesTheLibraryThenTheOwnTable) {
  LogCapture log;
  wchar_t text[STRINGS_TEXT_MAX];
  EXPECT_EQ(1, Strings::Instance()->GetString(102, text));
  EXPECT_EQ(std::wstring(L"Firmware Update Utility"), text);
  wchar_t dir[PROGRAM_PATH_MAX];
  ASSERT_EQ(1, GetProgramDirectory(dir));
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(L"Strings(): stringsDllPath: " + std::wstring(dir) + L"strings.dll", lines[0]);
  EXPECT_EQ(0u, lines[1].find(L"===>>> ERROR (gle=2, 0x2):  Msg: ")) << lines[1];
  EXPECT_TRUE(log.ContainsPart(L"  Context: LoadLibraryEx strings dll  m_sHmod == NULL"));

  // The library is not looked for again.
  log.Clear();
  EXPECT_EQ(1, Strings::Instance()->GetString(105, text));
  EXPECT_EQ(std::wstring(L"Missing a configuration file."), text);
  EXPECT_TRUE(log.Lines().empty());
}

TEST(Strings, ExactTexts) {
  struct Case {
    unsigned id;
    const wchar_t* text;
  } cases[] = {
      {101, L"&About quillo..."},
      {213, L"!!Failed to update firmware!!\r\n     Power cycle the printer and try again.\r\n"},
      {218, L" is not connected to a USB port.  Please connect and try again.\r\n"},
      {222, L"Cannot find a %s printer installed on this system.\r\n"},
      {223, L"Insufficient permissions.  You must have administrator rights to update the firmware for this product."},
      {233, L"       1. Click OK to proceed with the firmware update"},
      {234, L"       2. Click Cancel to select a different product"},
      {237, L"Error: The firmware cannot be updated because the RFU option is currently set to \"Off and Locked\". "
            L"This setting must be changed to \"On\" at the product control panel before attempting to update the "
            L"product firmware."},
      {239, L"Get Community Name"},
      {246, L"Enable"},
  };
  for (const Case& c : cases) {
    wchar_t text[STRINGS_TEXT_MAX];
    EXPECT_EQ(1, Strings::Instance()->GetString(c.id, text)) << c.id;
    EXPECT_EQ(std::wstring(c.text), text) << c.id;
  }
  // Every text the program's own table holds is served, none is empty.
  unsigned served = 0;
  for (unsigned id = 0; id < 1000; ++id) {
    const wchar_t* builtIn = BuiltInString(id);
    if (!builtIn) continue;
    wchar_t text[STRINGS_TEXT_MAX];
    EXPECT_EQ(1, Strings::Instance()->GetString(id, text));
    EXPECT_EQ(std::wstring(builtIn), text);
    EXPECT_NE(0u, wcslen(text));
    ++served;
  }
  EXPECT_EQ(54u, served);
  // The notice string names no web address.
  EXPECT_EQ(nullptr, wcsstr(BuiltInString(232), L"www"));
  EXPECT_EQ(nullptr, wcsstr(BuiltInString(232), L"http"));
}

TEST(Strings, MissingIdYieldsStringNotFoundAndALogLine) {
  wchar_t text[STRINGS_TEXT_MAX];
  Strings::Instance()->GetString(102, text);  // past the first lookup
  LogCapture log;
  EXPECT_EQ(0, Strings::Instance()->GetString(9999, text));
  EXPECT_EQ(std::wstring(L"String Not Found"), text);
  EXPECT_TRUE(log.ContainsPart(L"  Context: LoadString failed")) << log.Raw();
  EXPECT_EQ(0, Strings::Instance()->GetString(102, nullptr));
}

TEST(UILanguage, UserLanguageOnlyWhenAllDefaultsAgree) {
  struct Case {
    uint16_t userUi, systemUi, userDefault, systemDefault, expected;
  } cases[] = {
      {0x040D, 0x0409, 0x040D, 0x040D, 0x040D},  // Hebrew everywhere
      {0x040D, 0x0409, 0x0409, 0x040D, 0x0409},  // user default differs
      {0x040D, 0x0409, 0x040D, 0x0409, 0x0409},  // system default differs
      {0x0401, 0x0C01, 0x0401, 0x0401, 0x0401},
      {0x0407, 0x0407, 0x0409, 0x0409, 0x0407},
      {0x0409, 0x0409, 0x0409, 0x0409, 0x0409},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(c.expected, ChooseUILanguage(c.userUi, c.systemUi, c.userDefault, c.systemDefault));
  }
}

TEST(OsVersion, ExactMajorAndMinor) {
  EXPECT_EQ(1, IsOsVersion(6, 0, 6, 0));
  EXPECT_EQ(0, IsOsVersion(6, 1, 6, 0));
  EXPECT_EQ(1, IsOsVersion(6, 1, 6, 1));
  EXPECT_EQ(0, IsOsVersion(10, 0, 6, 0));
  EXPECT_EQ(0, IsOsVersion(5, 1, 6, 1));
  EXPECT_EQ(0, IsOsVersion(6, 2, 6, 1));
  EXPECT_LE(IsWindowsVista() + IsWindows7(), 1);
}

TEST(ProgramDirectory, EndsWithASeparator) {
  wchar_t dir[PROGRAM_PATH_MAX];
  ASSERT_EQ(1, GetProgramDirectory(dir));
  size_t len = wcslen(dir);
  ASSERT_GT(len, 1u);
#ifdef _WIN32
  EXPECT_EQ(L'\\', dir[len - 1]);
#else
  EXPECT_EQ(L'/', dir[len - 1]);
#endif
}

}  // namespace
