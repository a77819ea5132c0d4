// The logger's Windows pieces: the system's message text in error lines and
// the log file's place on drive C.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/logger.h"
#include "support/log_capture.h"

namespace {

TEST(LoggerWin32, ErrorLineCarriesTheSystemTextAndItsLineBreak) {
  LogCapture log;
  Logger::Instance()->WriteError(ERROR_ACCESS_DENIED, L"CreateFile %ls", L"\\\\.\\NONSPOOLED_LPT1");
  // The system text ends with CR LF; in text mode that is CR CR LF on disk, so
  // the context follows on the next line.
  std::vector<std::wstring> lines = log.Lines();
  ASSERT_EQ(2u, lines.size()) << log.Raw();
  EXPECT_EQ(L"===>>> ERROR (gle=5, 0x5):  Msg: Access denied.\r", lines[0]);
  EXPECT_EQ(L"  Context: CreateFile \\\\.\\NONSPOOLED_LPT1", lines[1]);
  // The debugger line keeps the system's CR and turns its LF into a blank.
  ASSERT_EQ(1u, log.DebugLines().size());
  EXPECT_NE(std::wstring::npos,
            log.DebugLines()[0].find(L"Msg: Access denied.\r   Context: CreateFile \\\\.\\NONSPOOLED_LPT1\n"));
}

TEST(LoggerWin32, SetupInterfaceCodeWithoutSystemText) {
  LogCapture log;
  Logger::Instance()->WriteError(0xE0000203u, L"SetupDiGetClassDevs");
  // Wine has no text for 0x800F0203: the field stays empty.
  EXPECT_EQ(std::vector<std::wstring>{L"===>>> ERROR (gle=-2146500093, 0xe0000203):  Msg:   Context: SetupDiGetClassDevs"},
            log.Lines());
}

TEST(LoggerWin32, ConfiguredLogFileIsOnDriveC) {
  Logger* log = Logger::Instance();
  std::wstring previous = log->LogFilePath();
  log->InitLogFile();
  EXPECT_EQ(std::wstring(L"C:\\QVTideway.log"), log->LogFilePath());
  wchar_t windows[MAX_PATH];
  GetWindowsDirectoryW(windows, MAX_PATH);
  log->InitLogFileNamed(L"ICLlogging");
  EXPECT_EQ(std::wstring(windows) + L"\\Temp\\ICLlogging.log", log->LogFilePath());
  log->SetLogFilePathForTesting(previous.c_str());
}

}  // namespace
