// tideway.exe starts under Wine and opens its log in C:\ with the banner.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "host/text_utils.h"
#include "resources/version.h"
#include "support/log_capture.h"
#include "support/test_env.h"

namespace {

using fwtest::BinaryDir;

std::string ReadFrom(const wchar_t* path, uint64_t offset) {
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  LARGE_INTEGER size{};
  GetFileSizeEx(file, &size);
  // A rotated log starts again from its beginning.
  if (static_cast<uint64_t>(size.QuadPart) < offset) offset = 0;
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  SetFilePointerEx(file, at, nullptr, FILE_BEGIN);
  std::string content;
  char buffer[65536];
  DWORD n = 0;
  while (ReadFile(file, buffer, sizeof buffer, &n, nullptr) && n > 0) content.append(buffer, n);
  CloseHandle(file);
  return content;
}

uint64_t SizeOf(const wchar_t* path) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(path, GetFileExInfoStandard, &data)) return 0;
  return (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

// Disabled for discovery: registered by tests/e2e/log_banner.cmake, which holds
// the display and tideway.exe (the program shares its mutex and log per prefix).
TEST(TidewayExe, DISABLED_StartsAndWritesTheBannerToTheLogOnDriveC) {
  const wchar_t kLog[] = L"C:\\QVTideway.log";
  uint64_t before = SizeOf(kLog);
  std::wstring exe = BinaryDir() + L"\\bin\\tideway.exe";
  std::wstring cmd = L"\"" + exe + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  ASSERT_TRUE(CreateProcessW(exe.c_str(), &cmd[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
      << "error " << GetLastError();

  wchar_t prefix[64];
  FormatText(prefix, 64, L"TIDWY(%X): ", static_cast<unsigned>(pi.dwThreadId));
  const std::string tag = ToUtf8Static(prefix);
  const std::string banner = tag + "================= Firmware Update ========================\r\n";
  const std::string version = tag + "Version: " TIDEWAY_VERSION_TEXT "\r\n";

  // Later start-up steps may wait for the user; the banner comes first, so the
  // test stops its own child once the lines are there.
  std::string appended;
  for (int i = 0; i < 200; ++i) {
    appended = ReadFrom(kLog, before);
    if (appended.find(version) != std::string::npos) break;
    if (WaitForSingleObject(pi.hProcess, 100) == WAIT_OBJECT_0) {
      appended = ReadFrom(kLog, before);
      break;
    }
  }
  if (WaitForSingleObject(pi.hProcess, 0) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 0);
  WaitForSingleObject(pi.hProcess, 5000);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);

  size_t at = appended.find(banner);
  ASSERT_NE(std::string::npos, at) << appended;
  // Each line: "[mm-dd-yyyy hh:mm:ss:mmm]- " then the tag.
  ASSERT_GE(at, 27u);
  EXPECT_EQ("]- ", appended.substr(at - 3, 3));
  EXPECT_EQ('[', appended[at - 27]);
  size_t next = appended.find(version, at + banner.size());
  ASSERT_NE(std::string::npos, next) << appended;
  // The version line is the child's next line.
  std::string between = appended.substr(at + banner.size(), next - at - banner.size());
  EXPECT_EQ(std::string::npos, between.find(tag)) << between;
  EXPECT_EQ(27u, between.size() - (between.rfind("\r\n") == std::string::npos ? 0 : between.rfind("\r\n") + 2));
}

}  // namespace
