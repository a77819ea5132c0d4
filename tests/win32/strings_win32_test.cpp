// The string table of the resources (program, test programs, strings.dll)
// against the portable library's copy, and the lookup with and without
// strings.dll beside the program.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "host/program_dir.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "resources/resource.h"
#include "support/language_tables.h"
#include "support/log_capture.h"
#include "support/test_env.h"

namespace {

constexpr unsigned kHighestId = 2000;

using fwtest::BinaryDir;

// `module` holds exactly `table`'s texts, in its resource language.
void ExpectSameTable(HMODULE module, const LanguageTable& table, const std::string& what) {
  unsigned found = 0;
  for (unsigned id = 0; id < kHighestId; ++id) {
    wchar_t text[STRINGS_TEXT_MAX];
    int n = LoadStringW(module, id, text, STRINGS_TEXT_MAX);
    const wchar_t* expected = table.Find(id);
    if (!expected) {
      EXPECT_EQ(0, n) << what << " has an extra string " << id;
      continue;
    }
    ASSERT_GT(n, 0) << what << " lacks string " << id;
    EXPECT_EQ(std::wstring(expected), std::wstring(text)) << what << " string " << id;
    ++found;
  }
  EXPECT_EQ(table.count, found) << what;
  WORD language = 0;
  EnumResourceLanguagesW(
      module, RT_STRING, MAKEINTRESOURCEW(IDS_APP_TITLE / 16 + 1),
      [](HMODULE, LPCWSTR, LPCWSTR, WORD lang, LONG_PTR out) -> BOOL {
        *reinterpret_cast<WORD*>(out) = lang;
        return FALSE;
      },
      reinterpret_cast<LONG_PTR>(&language));
  EXPECT_EQ(table.languageId, language) << what;
}

const LanguageTable& English() {
  return LanguageTables()[0];
}

TEST(StringResources, ProgramTableEqualsBuiltInTable) {
  ExpectSameTable(GetModuleHandleW(nullptr), English(), "test program");
}

TEST(StringResources, StringsDllEqualsBuiltInTable) {
  std::wstring dll = BinaryDir() + L"\\bin\\strings.dll";
  HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module) << "error " << GetLastError();
  ExpectSameTable(module, English(), "strings.dll");
  FreeLibrary(module);
}

// Every language's library holds every id the program uses, in its own words,
// and says which language it is (the dialogs' direction follows it).
TEST(StringResources, EachLanguageLibraryEqualsItsTable) {
  for (size_t t = 0; t < LanguageTableCount(); ++t) {
    const LanguageTable& table = LanguageTables()[t];
    std::wstring dll =
        BinaryDir() + L"\\bin\\languages\\" + std::wstring(table.code, table.code + 2) + L"\\strings.dll";
    HMODULE module = LoadLibraryExW(dll.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(nullptr, module) << table.code << " error " << GetLastError();
    ExpectSameTable(module, table, std::string("languages/") + table.code + "/strings.dll");
    FreeLibrary(module);
  }
}

TEST(StringResources, TidewayExeEqualsBuiltInTable) {
  std::wstring exe = BinaryDir() + L"\\bin\\tideway.exe";
  HMODULE module = LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module) << "error " << GetLastError();
  ExpectSameTable(module, English(), "tideway.exe");
  FreeLibrary(module);
}

// Runs in a copy of this program in a folder of its own (started by the tests
// below); writes what the lookup did to probe.txt beside itself.
TEST(StringsProbe, DISABLED_Child) {
  LogCapture log;
  wchar_t text[STRINGS_TEXT_MAX];
  int loaded = Strings::Instance()->GetString(237, text);
  int missing = Strings::Instance()->GetString(9999, text + 0) == 0 && wcscmp(text, L"String Not Found") == 0;
  wchar_t text237[STRINGS_TEXT_MAX];
  Strings::Instance()->GetString(237, text237);
  wchar_t dir[PROGRAM_PATH_MAX];
  GetProgramDirectory(dir);
  std::wstring out = std::wstring(dir) + L"probe.txt";
  FILE* f = _wfopen(out.c_str(), L"wb");
  ASSERT_NE(nullptr, f);
  fprintf(f, "loaded=%d\nmissing=%d\npathLogged=%d\ndllFailed=%d\ntext=%s\n", loaded, missing,
          log.Contains(L"Strings(): stringsDllPath: " + std::wstring(dir) + L"strings.dll") ? 1 : 0,
          log.ContainsPart(L"LoadLibraryEx strings dll  m_sHmod == NULL") ? 1 : 0, ToUtf8Static(text237));
  fclose(f);
}

class StringsBesideProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_GT(GetTempPathW(MAX_PATH, temp), 0u);
    wchar_t name[64];
    FormatText(name, 64, L"tideway-strings-%lu-%lu", GetCurrentProcessId(), GetTickCount());
    dir_ = std::wstring(temp) + name + L"\\";
    ASSERT_TRUE(CreateDirectoryW(dir_.c_str(), nullptr));
    wchar_t self[MAX_PATH];
    ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
    ASSERT_TRUE(CopyFileW(self, (dir_ + L"probe.exe").c_str(), FALSE));
  }
  void TearDown() override {
    DeleteFileW((dir_ + L"probe.exe").c_str());
    DeleteFileW((dir_ + L"strings.dll").c_str());
    DeleteFileW((dir_ + L"probe.txt").c_str());
    RemoveDirectoryW(dir_.c_str());
  }
  std::string RunProbe() {
    std::wstring exe = dir_ + L"probe.exe";
    std::wstring cmd = L"\"" + exe + L"\" --gtest_filter=StringsProbe.DISABLED_Child --gtest_also_run_disabled_tests";
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, dir_.c_str(), &si, &pi)) {
      ADD_FAILURE() << "CreateProcess error " << GetLastError();
      return "";
    }
    DWORD wait = WaitForSingleObject(pi.hProcess, 60000);
    if (wait != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    DWORD code = 1;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    EXPECT_EQ(0u, code);
    FILE* f = _wfopen((dir_ + L"probe.txt").c_str(), L"rb");
    if (!f) return "";
    char buffer[4096];
    size_t n = fread(buffer, 1, sizeof buffer - 1, f);
    fclose(f);
    return std::string(buffer, n);
  }
  std::wstring dir_;
};

const char kText237[] =
    "text=Error: The firmware cannot be updated because the RFU option is currently set to \"Off and Locked\". This "
    "setting must be changed to \"On\" at the product control panel before attempting to update the product "
    "firmware.\n";

TEST_F(StringsBesideProgram, LoadedFromStringsDll) {
  std::wstring dll = BinaryDir() + L"\\bin\\strings.dll";
  ASSERT_TRUE(CopyFileW(dll.c_str(), (dir_ + L"strings.dll").c_str(), FALSE));
  std::string probe = RunProbe();
  EXPECT_EQ(std::string("loaded=1\nmissing=1\npathLogged=1\ndllFailed=0\n") + kText237, probe);
}

TEST_F(StringsBesideProgram, WithoutStringsDllTheProgramsOwnTableServes) {
  std::string probe = RunProbe();
  EXPECT_EQ(std::string("loaded=1\nmissing=1\npathLogged=1\ndllFailed=1\n") + kText237, probe);
}

}  // namespace
