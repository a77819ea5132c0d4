// The logger's Windows pieces: the system's message text in error lines and
// the log file's place on drive C.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/logger.h"
#include "host/strings.h"
#include "host/text_utils.h"
#include "resources/resource.h"
#include "support/log_capture.h"
#include "support/test_env.h"

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

// Runs in a child with the system's debugger output visible on stderr.
TEST(LoggerDebugProbe, DISABLED_Child) {
  Logger* log = Logger::Instance();
  log->SetTag(L"TIDWY");
  log->Write(L"probe first\nsecond\nthird");
}

// Runs the probe under this test as its debugger and collects what it sends
// to the debugger output.
TEST(LoggerWin32, DebuggerOutputIsOneLinePerCall) {
  wchar_t self[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, self, MAX_PATH), 0u);
  std::wstring cmd = L"\"" + std::wstring(self) +
                     L"\" --gtest_filter=LoggerDebugProbe.DISABLED_Child --gtest_also_run_disabled_tests";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(self, &cmd[0], nullptr, nullptr, FALSE, DEBUG_ONLY_THIS_PROCESS, nullptr, nullptr, &si,
                             &pi))
      << GetLastError();
  std::vector<std::wstring> outputs;
  bool exited = false;
  while (!exited) {
    DEBUG_EVENT ev{};
    if (!WaitForDebugEvent(&ev, 60000)) break;
    DWORD status = DBG_CONTINUE;
    switch (ev.dwDebugEventCode) {
      case CREATE_PROCESS_DEBUG_EVENT:
        if (ev.u.CreateProcessInfo.hFile) CloseHandle(ev.u.CreateProcessInfo.hFile);
        break;
      case LOAD_DLL_DEBUG_EVENT:
        if (ev.u.LoadDll.hFile) CloseHandle(ev.u.LoadDll.hFile);
        break;
      case OUTPUT_DEBUG_STRING_EVENT: {
        const OUTPUT_DEBUG_STRING_INFO& info = ev.u.DebugString;
        size_t units = info.nDebugStringLength;
        std::wstring text;
        if (info.fUnicode) {
          std::vector<wchar_t> buffer(units + 1);
          ReadProcessMemory(pi.hProcess, info.lpDebugStringData, buffer.data(), units * sizeof(wchar_t), nullptr);
          text.assign(buffer.data());
        } else {
          std::vector<char> buffer(units + 1);
          ReadProcessMemory(pi.hProcess, info.lpDebugStringData, buffer.data(), units, nullptr);
          text = FromUtf8Static(buffer.data());
        }
        outputs.push_back(text);
        break;
      }
      case EXCEPTION_DEBUG_EVENT:
        if (ev.u.Exception.ExceptionRecord.ExceptionCode != EXCEPTION_BREAKPOINT) status = DBG_EXCEPTION_NOT_HANDLED;
        break;
      case EXIT_PROCESS_DEBUG_EVENT:
        exited = true;
        break;
      default:
        break;
    }
    ContinueDebugEvent(ev.dwProcessId, ev.dwThreadId, status);
  }
  if (!exited) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  bool found = false;
  for (const std::wstring& text : outputs) {
    if (text.find(L"): probe first second third\n") != std::wstring::npos) found = true;
  }
  EXPECT_TRUE(found) << outputs.size() << " outputs";
}

// On this English interface a box whose texts come from the Arabic library
// reads right to left all the same; with English texts again, left to right.
TEST(LoggerWin32, BoxReadsTheWayItsTextsRead) {
  const struct {
    const wchar_t* code;
    uint32_t flags;
  } cases[] = {{L"ar", MB_RIGHT | MB_RTLREADING}, {L"en", 0}};
  for (const auto& c : cases) {
    const std::wstring dll = fwtest::BinaryDir() + L"\\bin\\languages\\" + c.code + L"\\strings.dll";
    ASSERT_EQ(1, Strings::Instance()->LoadLibraryFile(dll.c_str()));
    BoxCapture boxes;
    Logger::Instance()->ShowStringError(IDS_APP_TITLE);
    ASSERT_EQ(1u, boxes.Boxes().size());
    EXPECT_EQ(c.flags, boxes.Boxes()[0].flags & (MB_RIGHT | MB_RTLREADING));
    EXPECT_EQ(LocalString(IDS_APP_TITLE), boxes.Boxes()[0].text);
  }
}

}  // namespace
