// The Windows headers depend on this order.
// clang-format off
#include <windows.h>
#include <winspool.h>
// clang-format on

#include <memory>
#include <new>

#include "host/registry.h"
#include "host/text_utils.h"
#include "host/win_handles.h"
#include "printer/port_address.h"
#include "printer/port_source.h"
#include "printer/tcp_port_data.h"

namespace {
const wchar_t* OrEmpty(const wchar_t* text) {
  return text ? text : L"";
}

// Opens the port's transceiver and sends one data request; PORT_XCV_OK or
// the failing step, with the system error (or the monitor's status) in *error.
int XcvRequest(const wchar_t* xcvName, const wchar_t* dataName, const void* in, DWORD inBytes, void* out,
               uint32_t outBytes, bool statusCounts, uint32_t* error) {
  wchar_t name[PORT_NAME_MAX + 16];
  CopyText(name, sizeof name / sizeof name[0], xcvName);
  PRINTER_DEFAULTSW defaults{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  win::UniquePrinter xcv;
  if (!OpenPrinterW(name, xcv.Receive(), &defaults)) {
    *error = GetLastError();
    return PORT_XCV_OPEN_FAILED;
  }
  DWORD needed = 0;
  DWORD status = 0;
  if (!XcvDataW(xcv.Get(), dataName, static_cast<BYTE*>(const_cast<void*>(in)), inBytes, static_cast<BYTE*>(out),
                outBytes, &needed, &status)) {
    *error = GetLastError();
    return PORT_XCV_DATA_FAILED;
  }
  if (statusCounts && status != ERROR_SUCCESS) {
    *error = status;
    return PORT_XCV_DATA_FAILED;
  }
  return PORT_XCV_OK;
}

class SpoolerPortSource : public PortSource {
 public:
  // An error status leaves the answer empty, which the lookup refuses.
  int XcvIPAddress(const wchar_t* xcvName, void* out, uint32_t outBytes, uint32_t* error) override {
    return XcvRequest(xcvName, L"IPAddress", nullptr, 0, out, outBytes, false, error);
  }

  int XcvConfigInfo(const wchar_t* xcvName, void* out, uint32_t outBytes, uint32_t* error) override {
    TcpConfigInfoData1 in{};
    in.version = TCP_CONFIG_INFO_VERSION;
    return XcvRequest(xcvName, L"GetConfigInfo", &in, sizeof in, out, outBytes, true, error);
  }

  int ListPorts(std::vector<PortEntry>* ports, uint32_t* error) override {
    ports->clear();
    DWORD needed = 0;
    DWORD count = 0;
    if (::EnumPortsW(nullptr, 2, nullptr, 0, &needed, &count)) return 1;  // nothing to list
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) {
      *error = GetLastError();
      return 0;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
    if (!buffer) {
      *error = ERROR_NOT_ENOUGH_MEMORY;
      return 0;
    }
    if (!::EnumPortsW(nullptr, 2, buffer.get(), needed, &needed, &count)) {
      *error = GetLastError();
      return 0;
    }
    const auto* info = reinterpret_cast<const PORT_INFO_2W*>(buffer.get());
    for (DWORD i = 0; i < count; ++i) {
      ports->push_back({OrEmpty(info[i].pPortName), OrEmpty(info[i].pMonitorName), OrEmpty(info[i].pDescription)});
    }
    return 1;
  }

  long ReadMachineValue(const wchar_t* keyPath, const wchar_t* valueName, void* buffer, uint32_t* bytes) override {
    return GetValueFromHKey(keyPath, valueName, buffer, bytes);
  }
};
}  // namespace

PortSource& SystemPortSource() {
  static SpoolerPortSource source;
  return source;
}
