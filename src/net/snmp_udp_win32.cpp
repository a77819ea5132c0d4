#include <windows.h>

#include "net/snmp_udp.h"

bool SnmpPlatformSupported() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof info;
#ifdef _MSC_VER
#pragma warning(suppress : 4996)
#endif
  if (!GetVersionExW(&info)) return false;
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion > 4;
}
