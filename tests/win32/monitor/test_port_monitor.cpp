// A port monitor for tests only. Its ports are the subkeys of
//   HKLM\SYSTEM\CurrentControlSet\Control\Print\Monitors\Tideway Test Monitor\Ports
// It answers the transceiver request "IPAddress" with the port key's "XcvAnswer"
// value and "GetConfigInfo" with a PORT_DATA_1 holding the DWORDs "XcvProtocol"
// and "XcvPortNumber" (laid out here by the SDK's byte offsets, not by the
// product's header), and lists its ports under the monitor name "Tideway Test
// Monitor)" (the trailing bracket is what the lookup must cut before it builds
// the key).

// The Windows headers depend on this order.
// clang-format off
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>
// clang-format on

#include <cstring>
#include <cwchar>
#include <new>

namespace {
const wchar_t kPortsKey[] = L"SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\Tideway Test Monitor\\Ports";
const wchar_t kListedMonitorName[] = L"Tideway Test Monitor)";
const wchar_t kDescription[] = L"Tideway test port";
constexpr DWORD kNameMax = 260;

struct XcvPort {
  wchar_t name[kNameMax];
};

BOOL WINAPI EnumTestPorts(HANDLE, LPWSTR name, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                          LPDWORD returned) {
  *needed = 0;
  *returned = 0;
  if (name && name[0]) {
    SetLastError(ERROR_INVALID_NAME);
    return FALSE;
  }
  if (level != 1 && level != 2) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  HKEY ports = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kPortsKey, 0, KEY_READ, &ports) != ERROR_SUCCESS) return TRUE;

  const DWORD entry = level == 1 ? sizeof(PORT_INFO_1W) : sizeof(PORT_INFO_2W);
  DWORD count = 0;
  DWORD textBytes = 0;
  wchar_t port[kNameMax];
  for (DWORD i = 0;; ++i) {
    DWORD len = kNameMax;
    if (RegEnumKeyExW(ports, i, port, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    ++count;
    textBytes += (len + 1) * sizeof(wchar_t);
    if (level == 2) textBytes += sizeof kListedMonitorName + sizeof kDescription;
  }
  *needed = count * entry + textBytes;
  if (!buffer || size < *needed) {
    RegCloseKey(ports);
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }

  wchar_t* text = reinterpret_cast<wchar_t*>(buffer + count * entry);
  auto put = [&text](const wchar_t* s) {
    wchar_t* start = text;
    size_t n = wcslen(s) + 1;
    wmemcpy(text, s, n);
    text += n;
    return start;
  };
  DWORD written = 0;
  for (DWORD i = 0; i < count; ++i) {
    DWORD len = kNameMax;
    if (RegEnumKeyExW(ports, i, port, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    if (level == 1) {
      reinterpret_cast<PORT_INFO_1W*>(buffer)[i].pName = put(port);
    } else {
      PORT_INFO_2W* info = reinterpret_cast<PORT_INFO_2W*>(buffer) + i;
      info->pPortName = put(port);
      info->pMonitorName = put(kListedMonitorName);
      info->pDescription = put(kDescription);
      info->fPortType = PORT_TYPE_WRITE;
      info->Reserved = 0;
    }
    ++written;
  }
  RegCloseKey(ports);
  *returned = written;
  return TRUE;
}

BOOL WINAPI XcvOpenTestPort(HANDLE, LPCWSTR object, ACCESS_MASK, PHANDLE xcv) {
  XcvPort* port = new (std::nothrow) XcvPort;
  if (!port || !object || wcslen(object) >= kNameMax) {
    delete port;
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  wcscpy(port->name, object);
  *xcv = port;
  return TRUE;
}

// PORT_DATA_1: 964 bytes, dwProtocol at 132, dwPortNumber at 952. The input
// CONFIG_INFO_DATA_1: 132 bytes, dwVersion 1 at 128.
constexpr DWORD kPortData1Size = 964;
constexpr DWORD kProtocolOffset = 132;
constexpr DWORD kPortNumberOffset = 952;
constexpr DWORD kConfigInfoSize = 132;
constexpr DWORD kConfigVersionOffset = 128;

DWORD ConfigInfo(const wchar_t* key, const BYTE* in, DWORD inBytes, BYTE* out, DWORD outBytes, DWORD* needed) {
  DWORD version = 0;
  if (!in || inBytes != kConfigInfoSize) return ERROR_INVALID_PARAMETER;
  memcpy(&version, in + kConfigVersionOffset, sizeof version);
  if (version != 1) return ERROR_INVALID_PARAMETER;
  DWORD protocol = 0;
  DWORD number = 0;
  DWORD bytes = sizeof protocol;
  if (RegGetValueW(HKEY_LOCAL_MACHINE, key, L"XcvProtocol", RRF_RT_REG_DWORD, nullptr, &protocol, &bytes) !=
      ERROR_SUCCESS) {
    return ERROR_NOT_SUPPORTED;
  }
  bytes = sizeof number;
  RegGetValueW(HKEY_LOCAL_MACHINE, key, L"XcvPortNumber", RRF_RT_REG_DWORD, nullptr, &number, &bytes);
  *needed = kPortData1Size;
  if (!out || outBytes < kPortData1Size) return ERROR_INSUFFICIENT_BUFFER;
  memset(out, 0, kPortData1Size);
  memcpy(out + kProtocolOffset, &protocol, sizeof protocol);
  memcpy(out + kPortNumberOffset, &number, sizeof number);
  return ERROR_SUCCESS;
}

DWORD WINAPI XcvTestPortData(HANDLE xcv, LPCWSTR dataName, PBYTE in, DWORD inBytes, PBYTE out, DWORD outBytes,
                             PDWORD needed) {
  *needed = 0;
  const bool config = dataName && wcscmp(dataName, L"GetConfigInfo") == 0;
  if (!dataName || (!config && wcscmp(dataName, L"IPAddress") != 0)) return ERROR_INVALID_PARAMETER;
  const XcvPort* port = static_cast<const XcvPort*>(xcv);
  wchar_t key[2 * kNameMax];
  if (_snwprintf(key, 2 * kNameMax, L"%ls\\%ls", kPortsKey, port->name) < 0) return ERROR_INVALID_PARAMETER;
  key[2 * kNameMax - 1] = 0;
  if (config) return ConfigInfo(key, in, inBytes, out, outBytes, needed);
  DWORD type = 0;
  DWORD bytes = 0;
  LONG rc = RegGetValueW(HKEY_LOCAL_MACHINE, key, L"XcvAnswer", RRF_RT_REG_SZ, &type, nullptr, &bytes);
  if (rc != ERROR_SUCCESS) return static_cast<DWORD>(rc);
  *needed = bytes;
  if (!out || outBytes < bytes) return ERROR_INSUFFICIENT_BUFFER;
  return static_cast<DWORD>(RegGetValueW(HKEY_LOCAL_MACHINE, key, L"XcvAnswer", RRF_RT_REG_SZ, &type, out, &bytes));
}

BOOL WINAPI XcvCloseTestPort(HANDLE xcv) {
  delete static_cast<XcvPort*>(xcv);
  return TRUE;
}

VOID WINAPI ShutdownTestMonitor(HANDLE) {}

MONITOR2 g_monitor;
}  // namespace

extern "C" __declspec(dllexport) LPMONITOR2 WINAPI InitializePrintMonitor2(PMONITORINIT, PHANDLE monitor) {
  ZeroMemory(&g_monitor, sizeof g_monitor);
  g_monitor.cbSize = sizeof g_monitor;
  g_monitor.pfnEnumPorts = EnumTestPorts;
  g_monitor.pfnXcvOpenPort = XcvOpenTestPort;
  g_monitor.pfnXcvDataPort = XcvTestPortData;
  g_monitor.pfnXcvClosePort = XcvCloseTestPort;
  g_monitor.pfnShutdown = ShutdownTestMonitor;
  *monitor = &g_monitor;
  return &g_monitor;
}
