#include <windows.h>

#include <cstring>

#include "host/text_utils.h"
#include "host/win_handles.h"
#include "transport/prll_device.h"

namespace {

constexpr DWORD SEQUENTIAL_NORMAL = FILE_FLAG_SEQUENTIAL_SCAN | FILE_ATTRIBUTE_NORMAL;  // 0x08000080
constexpr char RUNDLL_NAME[] = "rundll32.exe";

DeviceHandle OpenLpt(DWORD access, DWORD share, uint32_t* error) {
  HANDLE port = CreateFileW(PRLL_PORT_DEVICE_NAME, access, share, nullptr, OPEN_EXISTING, SEQUENTIAL_NORMAL, nullptr);
  if (port == INVALID_HANDLE_VALUE) *error = GetLastError();
  return port;
}

class SystemLpt : public PrllDevice {
 public:
  DeviceHandle OpenPort(uint32_t* error) override {
    return OpenLpt(GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, error);
  }
  DeviceHandle OpenPortForReading(uint32_t* error) override { return OpenLpt(GENERIC_READ, FILE_SHARE_READ, error); }
  void ClosePort(DeviceHandle port) override { CloseDevice(port); }

  int RundllPath(char* out, size_t outSize) override {
    if (!out || !outSize) return 0;
    out[0] = 0;
    wchar_t systemDir[MAX_PATH];
    UINT length = GetSystemDirectoryW(systemDir, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return 0;
    char narrow[PRLL_COMMAND_MAX];
    if (WideCharToMultiByte(CP_ACP, 0, systemDir, -1, narrow, sizeof narrow, nullptr, nullptr) == 0) return 0;
    if (std::strlen(narrow) + 1 + sizeof RUNDLL_NAME > outSize) return 0;  // never a cut path
    CopyText(out, outSize, narrow);
    std::strcat(out, "\\");
    std::strcat(out, RUNDLL_NAME);
    return 1;
  }

  int StartDefaultPrinter(const char* rundllPath, const wchar_t* modelName, uint32_t* error) override {
    // The whole model first, so the cut at a double quote or at the length
    // limit happens in one place.
    char model[4 * PRLL_COMMAND_MAX] = {};
    if (modelName && *modelName &&
        WideCharToMultiByte(CP_ACP, 0, modelName, -1, model, sizeof model, nullptr, nullptr) == 0) {
      model[sizeof model - 1] = 0;
    }
    char argument[PRLL_COMMAND_MAX];
    BuildDefaultPrinterArgument(model, argument, sizeof argument);
    char commandLine[sizeof RUNDLL_NAME + PRLL_COMMAND_MAX];
    CopyText(commandLine, sizeof commandLine, RUNDLL_NAME);
    std::strcat(commandLine, " ");
    std::strcat(commandLine, argument);

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessA(rundllPath, commandLine, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) {
      *error = GetLastError();
      return 0;
    }
    win::UniqueHandle thread(process.hThread);
    win::UniqueHandle running(process.hProcess);
    return 1;
  }
};

}  // namespace

PrllDevice& SystemPrllDevice() {
  static SystemLpt device;
  return device;
}
