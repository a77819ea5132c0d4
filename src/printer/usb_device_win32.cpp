// The Windows headers depend on this order.
// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include "printer/usb_device_win32.h"

#include <cstddef>
#include <cwchar>
#include <memory>
#include <new>

#include "host/logger.h"
#include "host/registry.h"
#include "host/text_utils.h"

const GUID USB_PRINT_INTERFACE_CLASS = {0x28D78FAD, 0x5A12, 0x11D1, {0xAE, 0x5B, 0x00, 0x00, 0xF8, 0x03, 0xA8, 0xC2}};
const GUID PRINTER_SETUP_CLASS = {0x4D36E979, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};

namespace {

constexpr DWORD PRESENT_INTERFACES = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;  // 18
constexpr wchar_t ENUM_KEY_PREFIX[] = L"SYSTEM\\CurrentControlSet\\Enum\\";
constexpr DWORD HARDWARE_ID_BYTES = 4096;

const wchar_t* OrEmpty(const wchar_t* text) {
  return text ? text : L"";
}

// A set with the printer child opened in it, for reading its properties.
int OpenPrinterChild(const wchar_t* usbDevInstId, win::UniqueDevInfo* set, SP_DEVINFO_DATA* child) {
  wchar_t childId[USB_INSTANCE_ID_MAX];
  if (!USBdevInstID_to_USBPRINTdevInstID(usbDevInstId, childId)) return 0;
  set->Reset(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!*set) {
    Logger::Instance()->Write(L"SetupDiCreateDeviceInfoList call returned INVALID_HANDLE_VALUE");
    return 0;
  }
  child->cbSize = sizeof *child;
  return SetupDiOpenDeviceInfoW(set->Get(), childId, nullptr, 0, child) ? 1 : 0;
}

}  // namespace

UsbDeviceHandle OpenUSBDeviceSystem(const wchar_t* portName) {
  win::UniqueDevInfo m_hDevInfo;
  wchar_t devInstId[USB_INSTANCE_ID_MAX] = {};
  wchar_t devicePath[USB_DEVICE_PATH_MAX] = {};
  // A failed look-up leaves the path empty, and the open below reports it.
  GetDevInstIDViaPortname(&m_hDevInfo, portName, devInstId);
  GetDeviceName(devInstId, devicePath, USB_PRINT_INTERFACE_CLASS);
  HANDLE device = CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE) Logger::Instance()->WriteError(GetLastError(), L"OpenUSBDevice Failed");
  return device;
}

int GetDevInstIDViaPortname(win::UniqueDevInfo* m_hDevInfo, const wchar_t* portName, wchar_t* devInstId) {
  Logger* log = Logger::Instance();
  portName = OrEmpty(portName);
  log->Write(L"GetDevInstIDViaPortname(%ls)", portName);
  devInstId[0] = 0;
  DWORD index = 0;
  wchar_t candidate[USB_INSTANCE_ID_MAX];
  for (;;) {
    int installed = 0;
    if (!_GetUSBDevice(&index, m_hDevInfo, candidate, &installed)) return 0;
    wchar_t port[USB_PORT_NAME_MAX];
    if (GetPortnameViaDevInstID(candidate, port) && wcscmp(port, portName) == 0) break;
  }
  CopyText(devInstId, USB_INSTANCE_ID_MAX, candidate);
  log->Write(L"pPortname \"%ls\" = devinst \"%ls\"", portName, devInstId);
  m_hDevInfo->Reset();
  return 1;
}

int _GetUSBDevice(DWORD* index, win::UniqueDevInfo* m_hDevInfo, wchar_t* devInstId, int* installed) {
  Logger* log = Logger::Instance();
  devInstId[0] = 0;
  log->Write(L"_GetUSBDevice(index=%d, vidpid=%ls)", static_cast<int>(*index), L"NULL");
  if (*index == 0) {
    m_hDevInfo->Reset();
    log->Write(L"_GetUSBDevice first time so GetClassDevs");
    m_hDevInfo->Reset(SetupDiGetClassDevsW(&USB_PRINT_INTERFACE_CLASS, nullptr, nullptr, PRESENT_INTERFACES));
    if (!*m_hDevInfo) return 0;
  } else if (!*m_hDevInfo) {
    log->Write(L" m_hDevInfo == INVALID_HANDLE_VALUE.  Make sure index = 0 on first call to this function.");
    return 0;
  }
  for (;;) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(m_hDevInfo->Get(), *index, &device)) {
      m_hDevInfo->Reset();
      return 0;
    }
    ++*index;
    BYTE hardwareId[HARDWARE_ID_BYTES];
    wchar_t instanceId[USB_INSTANCE_ID_MAX];
    if (!SetupDiGetDeviceRegistryPropertyW(m_hDevInfo->Get(), &device, SPDRP_HARDWAREID, nullptr, hardwareId,
                                           sizeof hardwareId, nullptr) ||
        !SetupDiGetDeviceInstanceIdW(m_hDevInfo->Get(), &device, instanceId, USB_INSTANCE_ID_MAX, nullptr)) {
      continue;
    }
    CopyText(devInstId, USB_INSTANCE_ID_COPY_MAX + 1, instanceId);
    log->Write(L"Device: %ls", devInstId);
    *installed = IsDeviceInstalled(devInstId);
    log->Write(*installed ? L" Found a device connected that IS installed: %ls"
                          : L" Found a device connected that is NOT installed: %ls",
               devInstId);
    return 1;
  }
}

int IsDeviceInstalled(const wchar_t* usbDevInstId) {
  Logger::Instance()->Write(L"IsDeviceInstalled(%ls)", OrEmpty(usbDevInstId));
  wchar_t childId[USB_INSTANCE_ID_MAX];
  if (!USBdevInstID_to_USBPRINTdevInstID(usbDevInstId, childId)) return 0;
  win::UniqueDevInfo set(SetupDiCreateDeviceInfoList(nullptr, nullptr));
  if (!set) {
    Logger::Instance()->Write(L"SetupDiCreateDeviceInfoList call returned INVALID_HANDLE_VALUE");
    return 0;
  }
  // A child that cannot be opened or read counts as not installed.
  DWORD configFlags = 1;
  SP_DEVINFO_DATA child{};
  child.cbSize = sizeof child;
  DWORD value = 0;
  if (SetupDiOpenDeviceInfoW(set.Get(), childId, nullptr, 0, &child) &&
      SetupDiGetDeviceRegistryPropertyW(set.Get(), &child, SPDRP_CONFIGFLAGS, nullptr, reinterpret_cast<BYTE*>(&value),
                                        sizeof value, nullptr)) {
    configFlags = value;
  }
  Logger::Instance()->Write(L"configFlags = %d", static_cast<int>(configFlags));
  return configFlags == 0 ? 1 : 0;
}

int USBdevInstID_to_USBPRINTdevInstID(const wchar_t* usbDevInstId, wchar_t* printDevInstId) {
  Logger* log = Logger::Instance();
  log->Write(L"USBdevInstID_to_USBPRINTdevInstID()");
  printDevInstId[0] = 0;
  usbDevInstId = OrEmpty(usbDevInstId);
  // A key path cut short would name another key (the device's parent).
  const size_t prefixLength = sizeof ENUM_KEY_PREFIX / sizeof ENUM_KEY_PREFIX[0] - 1;
  if (!*usbDevInstId || prefixLength + wcslen(usbDevInstId) >= REGISTRY_KEY_PATH_MAX) return 0;
  wchar_t keyPath[REGISTRY_KEY_PATH_MAX];
  FormatText(keyPath, REGISTRY_KEY_PATH_MAX, L"%ls%ls", ENUM_KEY_PREFIX, usbDevInstId);
  wchar_t parentIdPrefix[USB_PORT_NAME_MAX];  // 256 bytes
  if (GetStringFromHKLM(keyPath, L"ParentIdPrefix", parentIdPrefix, USB_PORT_NAME_MAX) != 0) return 0;

  win::UniqueDevInfo set(SetupDiGetClassDevsW(&PRINTER_SETUP_CLASS, nullptr, nullptr, 0));
  if (!set) return 0;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &device); ++i) {
    wchar_t instanceId[USB_INSTANCE_ID_MAX];
    if (!SetupDiGetDeviceInstanceIdW(set.Get(), &device, instanceId, USB_INSTANCE_ID_MAX, nullptr)) continue;
    if (TextContains(instanceId, parentIdPrefix)) {
      CopyText(printDevInstId, USB_INSTANCE_ID_MAX, instanceId);
      log->Write(L"    =USBdevInstID:  %ls", usbDevInstId);
      log->Write(L"    =USBPRINTdevInstID:  %ls", printDevInstId);
      return 1;
    }
  }
  return 0;
}

int GetPortnameViaDevInstID(const wchar_t* usbDevInstId, wchar_t* portName) {
  Logger::Instance()->Write(L"GetPortnameViaDevInstID(%ls)", OrEmpty(usbDevInstId));
  portName[0] = 0;
  win::UniqueDevInfo set;
  SP_DEVINFO_DATA child{};
  if (!OpenPrinterChild(usbDevInstId, &set, &child)) return 0;
  HKEY opened = SetupDiOpenDevRegKey(set.Get(), &child, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (opened == INVALID_HANDLE_VALUE || opened == nullptr) return 0;
  win::UniqueRegKey key(opened);
  wchar_t value[USB_PORT_NAME_MAX];
  DWORD type = 0;
  DWORD bytes = sizeof value;
  if (RegQueryValueExW(key.Get(), L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(value), &bytes) !=
          ERROR_SUCCESS ||
      (type != REG_SZ && type != REG_EXPAND_SZ)) {
    return 0;
  }
  // A registry text need not be terminated within its size.
  value[bytes / sizeof(wchar_t) < USB_PORT_NAME_MAX ? bytes / sizeof(wchar_t) : USB_PORT_NAME_MAX - 1] = 0;
  CopyText(portName, USB_PORT_NAME_MAX, value);
  Logger::Instance()->Write(L"Found PortName = '%ls'", portName);
  return 1;
}

int GetDeviceName(const wchar_t* searchDevInstanceID, wchar_t* devicePath, const GUID& interfaceClass) {
  Logger* log = Logger::Instance();
  log->Write(L"GetDeviceName(%ls)", OrEmpty(searchDevInstanceID));
  if (!searchDevInstanceID || !*searchDevInstanceID) {
    log->Write(L"ERROR: The function parameter 'searchDevInstanceID' is empty.");
    return 0;
  }
  win::UniqueDevInfo set(SetupDiGetClassDevsW(&interfaceClass, nullptr, nullptr, PRESENT_INTERFACES));
  if (!set) {
    log->Write(L"Failed SetupDiGetClassDevs() invalid handle");
    return 0;
  }
  for (DWORD i = 0;; ++i) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (!SetupDiEnumDeviceInfo(set.Get(), i, &device)) {
      // The end of the set (259) lands here too.
      log->WriteError(GetLastError(), L"Failed SetupDiEnumDeviceInfo()");
      return 0;
    }
    SP_DEVICE_INTERFACE_DATA iface{};
    iface.cbSize = sizeof iface;
    SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &interfaceClass, i, &iface);
    DWORD needed = 0;
    SetupDiGetDeviceInterfaceDetailW(set.Get(), &iface, nullptr, 0, &needed, nullptr);
    if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
      log->Write(L"Failed first call to SetupDiGetInterfaceDeviceDetail()");
      return 0;
    }
    std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[needed]);
    if (!buffer) {
      log->Write(L"Failed to alloc buffer for device detail");
      return 0;
    }
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.get());
    detail->cbSize = sizeof *detail;
    SP_DEVINFO_DATA owner{};
    owner.cbSize = sizeof owner;
    if (!SetupDiGetDeviceInterfaceDetailW(set.Get(), &iface, detail, needed, nullptr, &owner)) {
      log->Write(L"Failed second call to SetupDiGetInterfaceDeviceDetail()");
      return 0;
    }
    // A path cut short would name another object: a longer one never matches.
    const size_t pathChars = (needed - offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_W, DevicePath)) / sizeof(wchar_t);
    const size_t pathLength = wcsnlen(detail->DevicePath, pathChars);
    wchar_t path[USB_INSTANCE_ID_MAX] = {};
    if (pathLength < USB_INSTANCE_ID_MAX) wmemcpy(path, detail->DevicePath, pathLength);
    wchar_t instanceId[USB_INSTANCE_ID_MAX] = {};
    SetupDiGetDeviceInstanceIdW(set.Get(), &owner, instanceId, USB_INSTANCE_ID_MAX, nullptr);
    log->Write(L"DevInstanceID: %ls ?= %ls", instanceId, searchDevInstanceID);
    if (path[0] && TextContains(instanceId, searchDevInstanceID)) {
      log->Write(L"Found Device %ls", path);
      log->Write(L" Found device name %ls", path);
      CopyText(devicePath, USB_DEVICE_PATH_MAX, path);
      return 1;
    }
  }
}
