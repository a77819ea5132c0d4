#include "support/usb_stand_in_win32.h"

#include "host/text_utils.h"

namespace {

constexpr wchar_t HARDWARE_ID[] = L"USB\\VID_0A5F&PID_00D1";
constexpr wchar_t INTERFACE_GUID[] = L"{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";
constexpr wchar_t USB_CLASS_GUID[] = L"{36fc9e60-c465-11cf-8056-444553540000}";
constexpr wchar_t PRINTER_CLASS_GUID[] = L"{4d36e979-e325-11ce-bfc1-08002be10318}";
constexpr wchar_t ENUM[] = L"System\\CurrentControlSet\\Enum\\";
constexpr wchar_t USB_TREE[] = L"System\\CurrentControlSet\\Enum\\USB\\VID_0A5F&PID_00D1";
constexpr wchar_t PRINT_TREE[] = L"System\\CurrentControlSet\\Enum\\USBPRINT\\TidewaySim";
constexpr wchar_t CLASSES[] =
    L"System\\CurrentControlSet\\Control\\DeviceClasses\\{28d78fad-5a12-11d1-ae5b-0000f803a8c2}";

bool SetValue(const std::wstring& key, const wchar_t* name, DWORD type, const void* data, DWORD bytes) {
  HKEY h = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &h, nullptr) != 0) {
    return false;
  }
  bool ok = RegSetValueExW(h, name, 0, type, static_cast<const BYTE*>(data), bytes) == 0;
  RegCloseKey(h);
  return ok;
}

bool SetText(const std::wstring& key, const wchar_t* name, const std::wstring& text) {
  return SetValue(key, name, REG_SZ, text.c_str(), static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
}

std::wstring ParentIdPrefix(const std::wstring& serial) {
  return L"7&5eed&0&" + serial;
}

std::wstring InterfaceKeyName(const std::wstring& serial) {
  std::wstring name = L"##?#" + FakeUsbDeviceTree::LinkName(serial);
  return name;
}

}  // namespace

std::wstring FakeUsbDeviceTree::InstanceId(const std::wstring& serial) {
  return std::wstring(HARDWARE_ID) + L"\\" + serial;
}

std::wstring FakeUsbDeviceTree::LinkName(const std::wstring& serial) {
  return L"USB#VID_0A5F&PID_00D1#" + serial + L"#" + INTERFACE_GUID;
}

void FakeUsbDeviceTree::RemoveAll() {
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, USB_TREE);
  RegDeleteTreeW(HKEY_LOCAL_MACHINE, PRINT_TREE);
  HKEY classes = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, CLASSES, 0, KEY_ALL_ACCESS, &classes) != 0) return;
  // Only this tree's interfaces: the prefix may hold others.
  std::vector<std::wstring> ours;
  wchar_t name[512];
  for (DWORD i = 0;; ++i) {
    DWORD length = 512;
    if (RegEnumKeyExW(classes, i, name, &length, nullptr, nullptr, nullptr, nullptr) != 0) break;
    if (TextContains(name, L"#USB#VID_0A5F&PID_00D1#")) ours.push_back(name);
  }
  for (const auto& key : ours) RegDeleteTreeW(classes, key.c_str());
  RegCloseKey(classes);
}

FakeUsbDeviceTree::FakeUsbDeviceTree(const std::vector<FakeUsbPrinter>& printers) {
  RemoveAll();
  for (const auto& p : printers) {
    const std::wstring usbKey = std::wstring(ENUM) + InstanceId(p.serial);
    // REG_MULTI_SZ: the id and an empty string.
    std::wstring hardwareIds = std::wstring(HARDWARE_ID) + L'\0' + L'\0';
    m_ok = m_ok && SetText(usbKey, L"ClassGUID", USB_CLASS_GUID) &&
           SetValue(usbKey, L"HardwareID", REG_MULTI_SZ, hardwareIds.c_str(),
                    static_cast<DWORD>(hardwareIds.size() * sizeof(wchar_t))) &&
           SetText(usbKey, L"ParentIdPrefix", ParentIdPrefix(p.serial));

    const std::wstring childKey = std::wstring(PRINT_TREE) + L"\\" + ParentIdPrefix(p.serial) + L"&" + p.port;
    m_ok = m_ok && SetText(childKey, L"ClassGUID", PRINTER_CLASS_GUID) &&
           SetValue(childKey, L"ConfigFlags", REG_DWORD, &p.configFlags, sizeof p.configFlags) &&
           SetText(childKey + L"\\Device Parameters", L"PortName", p.port);

    const std::wstring ifKey = std::wstring(CLASSES) + L"\\" + InterfaceKeyName(p.serial);
    const DWORD linked = 1;
    m_ok = m_ok && SetText(ifKey, L"DeviceInstance", InstanceId(p.serial)) &&
           SetText(ifKey + L"\\#", L"SymbolicLink", L"\\\\?\\" + LinkName(p.serial)) &&
           SetValue(ifKey + L"\\#\\Control", L"Linked", REG_DWORD, &linked, sizeof linked);
  }
}

FakeUsbDeviceTree::~FakeUsbDeviceTree() {
  RemoveAll();
}

UsbRelay::~UsbRelay() {
  Stop();
}

void UsbRelay::Stop() {
  if (!m_process) return;
  TerminateProcess(m_process, 0);
  WaitForSingleObject(m_process, 5000);
  CloseHandle(m_process);
  m_process = nullptr;
}

bool UsbRelay::Start(const std::wstring& pipe, const std::vector<std::wstring>& links, const std::string& address,
                     int port) {
  // Under Wine the build folder is a Unix path, reached through drive Z:.
  std::wstring exe = FromUtf8Static(TIDEWAY_BINARY_DIR);
  if (!exe.empty() && exe[0] == L'/') exe = L"Z:" + exe;
  exe += L"/bin/usb-relay.exe";
  for (wchar_t& c : exe) {
    if (c == L'/') c = L'\\';
  }
  wchar_t temp[MAX_PATH];
  GetTempPathW(MAX_PATH, temp);
  const std::wstring ready = std::wstring(temp) + L"usb-relay-" + pipe + L".ready";
  DeleteFileW(ready.c_str());
  DeleteFileW((ready + L".error").c_str());

  std::wstring command = L"\"" + exe + L"\" --pipe " + pipe + L" --printer " + FromUtf8Static(address.c_str()) + L":" +
                         std::to_wstring(port) + L" --ready-file \"" + ready + L"\"";
  for (const auto& link : links) command += L" --link \"" + link + L"\"";
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(exe.c_str(), &command[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                      &pi)) {
    m_error = "cannot start usb-relay.exe: " + std::to_string(GetLastError());
    return false;
  }
  CloseHandle(pi.hThread);
  m_process = pi.hProcess;
  for (int i = 0; i < 200; ++i) {
    if (GetFileAttributesW(ready.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    if (GetFileAttributesW((ready + L".error").c_str()) != INVALID_FILE_ATTRIBUTES ||
        WaitForSingleObject(m_process, 50) == WAIT_OBJECT_0) {
      break;
    }
  }
  m_error = "usb-relay did not start (see " + std::string(ToUtf8Static((ready + L".error").c_str())) + ")";
  Stop();
  return false;
}
