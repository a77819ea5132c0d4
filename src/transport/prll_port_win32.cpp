#include <windows.h>

#include <cstring>

#include "host/text_utils.h"
#include "host/win_handles.h"
#include "transport/prll_port.h"

namespace {

constexpr DWORD SEQUENTIAL_NORMAL = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;  // 0x08000080
constexpr char RUNDLL_NAME[] = "rundll32.exe";

DeviceHandle OpenPort(const wchar_t* device, DWORD access, DWORD share) {
  return CreateFileW(device, access, share, nullptr, OPEN_EXISTING, SEQUENTIAL_NORMAL, nullptr);
}

// "<system directory>\rundll32.exe" in the narrow system code page; never cut.
bool RundllPath(char* out, size_t outSize) {
  wchar_t systemDir[MAX_PATH];
  UINT length = GetSystemDirectoryW(systemDir, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return false;
  char narrow[PRLL_COMMAND_MAX];
  if (WideCharToMultiByte(CP_ACP, 0, systemDir, -1, narrow, sizeof narrow, nullptr, nullptr) == 0) return false;
  if (std::strlen(narrow) + 1 + sizeof RUNDLL_NAME > outSize) return false;
  CopyText(out, outSize, narrow);
  std::strcat(out, "\\");
  std::strcat(out, RUNDLL_NAME);
  return true;
}

class SystemLpt : public PrllPort {
 public:
  DeviceHandle OpenReadWrite(const wchar_t* device) override {
    return OpenPort(device, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
  }
  DeviceHandle OpenRead(const wchar_t* device) override { return OpenPort(device, GENERIC_READ, FILE_SHARE_READ); }
  void Close(DeviceHandle device) override { CloseDevice(device); }

  int RunRundll32(const char* argument) override {
    char program[PRLL_COMMAND_MAX];
    if (!RundllPath(program, sizeof program)) return 0;
    char commandLine[sizeof RUNDLL_NAME + PRLL_COMMAND_MAX];
    CopyText(commandLine, sizeof commandLine, RUNDLL_NAME);
    std::strcat(commandLine, " ");
    std::strncat(commandLine, argument ? argument : "", PRLL_COMMAND_MAX - 1);
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(program, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      return 0;
    }
    win::UniqueHandle thread(process.hThread);
    win::UniqueHandle running(process.hProcess);
    return 1;
  }
};

}  // namespace

PrllPort& SystemPrllPort() {
  static SystemLpt port;
  return port;
}
