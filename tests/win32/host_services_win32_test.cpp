// Program directory, system version and user-interface language under Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "host/os_version.h"
#include "host/program_dir.h"
#include "host/ui_language.h"

namespace {

TEST(ProgramDirectoryWin32, IsTheFolderOfTheProgramFile) {
  wchar_t module[MAX_PATH];
  DWORD n = GetModuleFileNameW(nullptr, module, MAX_PATH);
  ASSERT_GT(n, 0u);
  std::wstring path(module, n);
  std::wstring expected = path.substr(0, path.rfind(L'\\') + 1);
  wchar_t dir[PROGRAM_PATH_MAX];
  ASSERT_EQ(1, GetProgramDirectory(dir));
  EXPECT_EQ(expected, dir);
  EXPECT_EQ(L'\\', expected.back());
  // The test program lies in the build tree's tests folder.
  EXPECT_NE(std::wstring::npos, expected.find(L"\\tests\\"));
}

TEST(OsVersionWin32, MatchesTheSystemsReport) {
  uint32_t major = 0;
  uint32_t minor = 0;
  ASSERT_EQ(1, GetOsVersion(&major, &minor));
  EXPECT_EQ(major == 6 && minor == 0 ? 1 : 0, IsWindowsVista());
  EXPECT_EQ(major == 6 && minor == 1 ? 1 : 0, IsWindows7());
  // Wine 8 reports 6.1 (Windows 7) by default.
  EXPECT_EQ(6u, major);
  EXPECT_EQ(1u, minor);
  EXPECT_EQ(1, IsWindows7());
  EXPECT_EQ(0, IsWindowsVista());
}

TEST(UILanguageWin32, FollowsTheRuleOverTheSystemsLanguages) {
  EXPECT_EQ(ChooseUILanguage(GetUserDefaultUILanguage(), GetSystemDefaultUILanguage(), GetUserDefaultLangID(),
                             GetSystemDefaultLangID()),
            GetUILanguage());
  EXPECT_NE(0, GetUILanguage());
}

}  // namespace
